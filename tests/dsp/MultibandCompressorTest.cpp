#include "ZLinPhMultibandCompressor.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
using vesk::ZBuffer;
using vesk::ZLinPhMultibandCompressor;
using Signals = std::vector<std::vector<float>>;

constexpr double pi = 3.14159265358979323846;

std::vector<float> noise (size_t length, unsigned seed, float amplitude)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<float> x (length);
    std::generate (x.begin(), x.end(), [&] { return dist (rng); });
    return x;
}

// A cosine at bin j of the 2N-point grid (j / 2N cycles per sample).
std::vector<float> binTone (size_t length, int bin, int blockSize, float amplitude, double phase = 0.3)
{
    std::vector<float> x (length);
    for (size_t t = 0; t < length; ++t)
        x[t] = amplitude * (float) std::cos (pi * bin * (double) t / blockSize + phase);
    return x;
}

// Runs whole signals through the compressor block by block.
Signals runBlocks (ZLinPhMultibandCompressor& comp, const Signals& input, bool inPlace = false)
{
    const auto n = comp.getBlockSize();
    const auto channels = input.size();
    std::vector<std::unique_ptr<ZBuffer>> in, out;
    ZBuffer* inPtr[2] = {};
    ZBuffer* outPtr[2] = {};

    for (size_t c = 0; c < channels; ++c)
    {
        in.push_back (std::make_unique<ZBuffer> (n, "in"));
        out.push_back (std::make_unique<ZBuffer> (n, "out"));
        inPtr[c] = in[c].get();
        outPtr[c] = inPlace ? in[c].get() : out[c].get();
    }

    Signals result (channels, std::vector<float> (input[0].size()));

    for (size_t start = 0; start + (size_t) n <= input[0].size(); start += (size_t) n)
    {
        for (size_t c = 0; c < channels; ++c)
            std::copy_n (input[c].begin() + (long) start, n, in[c]->getData());

        EXPECT_TRUE (comp.process (inPtr, outPtr, n));

        for (size_t c = 0; c < channels; ++c)
            std::copy_n (outPtr[c]->getData(), n, result[c].begin() + (long) start);
    }

    return result;
}

// Largest |out[t] - gain * in[t - delay]| from sample `from` on.
float delayedError (const std::vector<float>& out, const std::vector<float>& in, int delay, float gain, size_t from)
{
    float worst = 0.0f;
    for (size_t t = std::max (from, (size_t) delay); t < out.size(); ++t)
        worst = std::max (worst, std::abs (out[t] - gain * in[t - (size_t) delay]));
    return worst;
}

float toDb (float linear)
{
    return 20.0f * std::log10 (linear);
}

//==============================================================================
struct IdentityCase
{
    unsigned channels, bands;
    int blockSize;
    float sampleRate;
    bool bypassAll; // else every gain is 0 dB through a threshold out of reach
    bool inPlace;
};

class CompressorIdentity : public testing::TestWithParam<IdentityCase>
{
};

TEST_P (CompressorIdentity, UnityGainsDelayByExactlyOneBlock)
{
    const auto p = GetParam();
    ZLinPhMultibandCompressor comp (p.channels, p.bands, p.blockSize, p.sampleRate);
    ASSERT_EQ (comp.getLatency(), p.blockSize);

    for (unsigned b = 0; b < p.bands; ++b)
    {
        comp.bypass[b] = p.bypassAll;
        comp.threshold[b] = 200.0f;
    }

    Signals input;
    for (unsigned c = 0; c < p.channels; ++c)
        input.push_back (noise ((size_t) p.blockSize * 12, 11 + c, 0.5f));

    const auto output = runBlocks (comp, input, p.inPlace);

    for (unsigned c = 0; c < p.channels; ++c)
    {
        EXPECT_LT (delayedError (output[c], input[c], p.blockSize, 1.0f, 0), 2e-5f) << "channel " << c;

        for (int t = 0; t < p.blockSize; ++t)
            ASSERT_LT (std::abs (output[c][(size_t) t]), 2e-5f) << "before the latency, t = " << t;
    }
}

INSTANTIATE_TEST_SUITE_P (Layouts, CompressorIdentity,
                          testing::Values (IdentityCase { 2, 1, 512, 44100.0f, true, false },
                                           IdentityCase { 2, 3, 512, 44100.0f, true, false },
                                           IdentityCase { 2, 3, 512, 44100.0f, false, true },
                                           IdentityCase { 1, 8, 256, 48000.0f, true, false },
                                           // crossovers of 1000 and 11000 Hz lie above half this rate
                                           IdentityCase { 2, 3, 64, 8000.0f, false, false },
                                           IdentityCase { 2, 2, 1024, 96000.0f, false, true }));

//==============================================================================
TEST (CompressorLayout, ThreeBandsAt44100MatchTheBinMap)
{
    ZLinPhMultibandCompressor comp (2, 3, 512, 44100.0f);
    comp.crossovers[0] = 200.0f;
    comp.crossovers[1] = 6000.0f;
    comp.buildCrossoverWeights();

    const unsigned first[] = { 0, 72, 326 }, last[] = { 0, 72, 512 };
    for (unsigned b = 0; b < 3; ++b)
    {
        EXPECT_EQ (comp.getFirstBin (b), first[b]) << "band " << b;
        EXPECT_EQ (comp.getLastBin (b), last[b]) << "band " << b;
    }

    EXPECT_EQ (comp.getTransitionStart (0), 1u);
    EXPECT_EQ (comp.getTransitionLength (0), 71u);
    EXPECT_EQ (comp.getTransitionStart (1), 73u);
    EXPECT_EQ (comp.getTransitionLength (1), 253u);

    // The upper band's weight is about one half at each crossover frequency.
    const float hertzPerBin = 44100.0f / 1024.0f;
    for (unsigned i = 0; i < 2; ++i)
    {
        const auto bin = (unsigned) std::lround (comp.crossovers[i] / hertzPerBin);
        EXPECT_NEAR (comp.getTransitionWeight (i, bin - comp.getTransitionStart (i)), 0.5f, 0.1f) << "crossover " << i;
    }

    const auto& k = comp.getCrossfadeCurve();
    EXPECT_NEAR (k[0], 0.0f, 1e-4f);
    EXPECT_NEAR (k[256], 0.5f, 0.01f);
    EXPECT_FLOAT_EQ (k[511], 1.0f);
}

TEST (CompressorLayout, BinsStayWithinTheNyquistBinForEveryBandCountAndRate)
{
    const float rates[] = { 8000.0f, 22050.0f, 32000.0f, 44100.0f, 192000.0f };
    const int n = 256;

    for (const auto rate : rates)
    {
        for (unsigned bands = 1; bands <= 8; ++bands)
        {
            ZLinPhMultibandCompressor comp (2, bands, n, rate);
            SCOPED_TRACE (testing::Message() << rate << " Hz, " << bands << " bands");

            EXPECT_EQ (comp.getFirstBin (0), 0u);
            EXPECT_EQ (comp.getLastBin (bands - 1), (unsigned) n);

            for (unsigned b = 0; b < bands; ++b)
            {
                EXPECT_LE (comp.getFirstBin (b), comp.getLastBin (b));
                EXPECT_LE (comp.getLastBin (b), (unsigned) n);
            }

            for (unsigned i = 0; i + 1 < bands; ++i)
            {
                const auto start = comp.getTransitionStart (i), length = comp.getTransitionLength (i);
                EXPECT_EQ (start, comp.getLastBin (i) + 1);

                if (length > 0)
                {
                    EXPECT_EQ (start + length, comp.getFirstBin (i + 1));
                }

                float previous = 0.0f;
                for (unsigned k = 0; k < length; ++k)
                {
                    const auto w = comp.getTransitionWeight (i, k);
                    ASSERT_GE (w, previous) << "transition " << i << " bin " << k;
                    ASSERT_LE (w, 1.0f);
                    previous = w;
                }
            }
        }
    }
}

TEST (CompressorLayout, OneBandOwnsEveryBin)
{
    ZLinPhMultibandCompressor comp (1, 1, 128, 44100.0f);
    EXPECT_EQ (comp.getFirstBin (0), 0u);
    EXPECT_EQ (comp.getLastBin (0), 128u);
    EXPECT_EQ (comp.getNumCrossovers(), 0u);
}

//==============================================================================
// With thresholds out of reach every band's gain is its makeup, so the filter is fixed; at the bins of the
// 2N-point grid its response must be exactly the designed curve, delayed by N samples.
TEST (CompressorFilter, SteadyStateResponseFollowsTheBandCurve)
{
    const int n = 512;
    ZLinPhMultibandCompressor comp (1, 3, n, 44100.0f);
    comp.crossovers[0] = 200.0f;
    comp.crossovers[1] = 6000.0f;
    comp.buildCrossoverWeights();

    const float makeupDb[] = { -6.0f, 4.0f, -10.0f };
    float linear[3];
    for (unsigned b = 0; b < 3; ++b)
    {
        comp.threshold[b] = 200.0f;
        comp.makeup[b] = makeupDb[b];
        linear[b] = std::pow (10.0f, makeupDb[b] / 20.0f);
    }

    const auto expectedGain = [&] (unsigned bin)
    {
        for (unsigned b = 0; b < 3; ++b)
            if (bin >= comp.getFirstBin (b) && bin <= comp.getLastBin (b))
                return linear[b];

        for (unsigned i = 0; i < 2; ++i)
        {
            const auto k = bin - comp.getTransitionStart (i);
            if (bin >= comp.getTransitionStart (i) && k < comp.getTransitionLength (i))
            {
                const auto d = comp.getTransitionWeight (i, k);
                return d * linear[i + 1] + (1.0f - d) * linear[i];
            }
        }

        ADD_FAILURE() << "bin " << bin << " belongs nowhere";
        return 0.0f;
    };

    for (const unsigned bin : { 0u, 5u, 40u, 72u, 150u, 300u, 326u, 450u, 512u })
    {
        ZLinPhMultibandCompressor fresh (1, 3, n, 44100.0f);
        fresh.crossovers = comp.crossovers;
        fresh.threshold = comp.threshold;
        fresh.makeup = comp.makeup;
        fresh.buildCrossoverWeights();

        const auto in = binTone ((size_t) n * 8, (int) bin, n, 0.25f);
        const auto out = runBlocks (fresh, { in })[0];
        const auto gain = expectedGain (bin);

        // After three blocks only this block's filter and its two predecessors, all equal, contribute.
        EXPECT_LT (delayedError (out, in, n, gain, (size_t) n * 3), 1e-5f) << "bin " << bin;
    }
}

//==============================================================================
struct GainCase
{
    float levelAboveThreshold, ratio, knee, range, makeup;
    float expectedGainDb;
};

class CompressorGainRule : public testing::TestWithParam<GainCase>
{
};

// One band with instant level tracking and a steady tone: the band's level is known after one block, the
// threshold is placed relative to it, and both the reported gain and the output level must follow.
TEST_P (CompressorGainRule, GainFollowsTheKneeCurveAndTheOutputFollowsTheGain)
{
    const auto p = GetParam();
    const int n = 256;
    ZLinPhMultibandCompressor comp (2, 1, n, 44100.0f);
    comp.attackCoefficient[0] = comp.releaseCoefficient[0] = 0.0f;
    comp.threshold[0] = 200.0f;

    const auto loud = binTone ((size_t) n, 40, n, 0.5f);
    const auto quiet = binTone ((size_t) n, 40, n, 0.1f);
    runBlocks (comp, { quiet, loud });
    const auto level = comp.getBandLevel (0);
    EXPECT_NEAR (level, toDb (0.5f) - 3.0103f, 0.2f) << "a sine's level is its mean square";
    EXPECT_FLOAT_EQ (comp.getChannelLevel (1, 0), level) << "the loudest channel decides";

    comp.threshold[0] = level - p.levelAboveThreshold;
    comp.ratio[0] = p.ratio;
    comp.knee[0] = p.knee;
    comp.range[0] = p.range;
    comp.makeup[0] = p.makeup;

    const auto longLoud = binTone ((size_t) n * 6, 40, n, 0.5f);
    const auto longQuiet = binTone ((size_t) n * 6, 40, n, 0.1f);
    const auto out = runBlocks (comp, { longQuiet, longLoud });

    EXPECT_NEAR (comp.getBandGain (0), p.expectedGainDb, 1e-3f);

    const auto gain = std::pow (10.0f, p.expectedGainDb / 20.0f);
    EXPECT_LT (delayedError (out[0], longQuiet, n, gain, (size_t) n * 3), 1e-5f * std::max (1.0f, gain));
    EXPECT_LT (delayedError (out[1], longLoud, n, gain, (size_t) n * 3), 1e-5f * std::max (1.0f, gain));
}

INSTANTIATE_TEST_SUITE_P (Curve, CompressorGainRule,
                          testing::Values (GainCase { -10.0f, 3.0f, 2.0f, 18.0f, 0.0f, 0.0f }, // below the knee
                                           GainCase { -10.0f, 3.0f, 2.0f, 18.0f, 5.0f, 5.0f }, // makeup alone
                                           GainCase { 10.0f, 3.0f, 2.0f, 18.0f, 0.0f, -20.0f / 3.0f }, // slope 1/R - 1
                                           GainCase { 30.0f, 3.0f, 2.0f, 18.0f, 2.0f, -16.0f }, // range, then makeup
                                           GainCase { 0.0f, 3.0f, 2.0f, 18.0f, 0.0f, -1.0f / 3.0f }, // knee centre
                                           GainCase { 1.0f, 3.0f, 2.0f, 18.0f, 0.0f, -0.75f }, // inside the knee
                                           GainCase { 10.0f, 0.1f, 2.0f, 18.0f, 0.0f, 18.0f }, // upward, limited
                                           GainCase { 0.5f, 3.0f, 0.0f, 18.0f, 0.0f, -1.0f / 3.0f }, // hard knee above
                                           GainCase { -0.5f, 3.0f, 0.0f, 18.0f, 0.0f, 0.0f })); // hard knee below

// A tone inside a transition counts towards both bands by the squared weights of its bin.
TEST (CompressorGainRule, TransitionPowerIsSharedByTheSquaredWeights)
{
    const int n = 512;
    const auto measure = [n] (unsigned bands, int bin)
    {
        auto comp = std::make_unique<ZLinPhMultibandCompressor> (1, bands, n, 44100.0f);
        comp->crossovers[0] = 200.0f;
        comp->crossovers[1] = 6000.0f;
        comp->buildCrossoverWeights();
        comp->attackCoefficient.fill (0.0f);
        comp->releaseCoefficient.fill (0.0f);
        runBlocks (*comp, { binTone ((size_t) n, bin, n, 0.5f) });
        return comp;
    };

    for (const int bin : { 100, 139, 180 })
    {
        const auto whole = measure (1, bin)->getBandLevel (0);
        const auto split = measure (3, bin);
        const auto d = split->getTransitionWeight (1, (unsigned) bin - split->getTransitionStart (1));
        ASSERT_TRUE (d > 0.05f && d < 0.95f) << "bin " << bin << " should lie well inside the transition";

        EXPECT_NEAR (split->getBandLevel (1), whole + toDb (1.0f - d), 0.05f) << "bin " << bin;
        EXPECT_NEAR (split->getBandLevel (2), whole + toDb (d), 0.05f) << "bin " << bin;
    }
}

struct SoloCase
{
    std::array<bool, 3> solo, bypass;
    std::array<float, 3> expectedGainDb;
};

TEST (CompressorGainRule, SoloAndBypass)
{
    const SoloCase cases[] = {
        { { false, false, false }, { false, false, false }, { 1.0f, 2.0f, 3.0f } },
        { { false, true, false }, { false, false, false }, { -200.0f, 2.0f, -200.0f } },
        { { false, true, false }, { false, true, false }, { -200.0f, 0.0f, -200.0f } },
        { { false, false, false }, { true, false, true }, { 0.0f, 2.0f, 0.0f } },
        { { true, false, true }, { false, false, true }, { 1.0f, -200.0f, 0.0f } },
    };

    for (const auto& c : cases)
    {
        ZLinPhMultibandCompressor comp (2, 3, 128, 44100.0f);
        for (unsigned b = 0; b < 3; ++b)
        {
            comp.threshold[b] = 200.0f;
            comp.makeup[b] = (float) (b + 1);
            comp.solo[b] = c.solo[b];
            comp.bypass[b] = c.bypass[b];
        }

        runBlocks (comp, { noise (128, 3, 0.5f), noise (128, 4, 0.5f) });

        for (unsigned b = 0; b < 3; ++b)
            EXPECT_FLOAT_EQ (comp.getBandGain (b), c.expectedGainDb[b]) << "band " << b;
    }
}

//==============================================================================
TEST (CompressorSmoothing, TimeCoefficients)
{
    struct
    {
        float seconds, expected;
    } const cases[] = { { 0.05f, 0.7730f }, { 0.2f, 0.9377f }, { 5.0f, 0.99743f }, { 0.0f, 0.0f } };

    for (const auto& c : cases)
        EXPECT_NEAR (ZLinPhMultibandCompressor::timeCoefficient (512, c.seconds, 44100.0f), c.expected, 1e-4f)
            << c.seconds << " s";

    ZLinPhMultibandCompressor comp (2, 3, 512, 44100.0f);
    EXPECT_NEAR (comp.attackCoefficient[0], 0.7730f, 1e-4f);
    EXPECT_NEAR (comp.releaseCoefficient[2], 0.9377f, 1e-4f);
}

TEST (CompressorSmoothing, LevelsStartFromTheFirstBlocksThenRiseWithAttackAndFallWithRelease)
{
    const int n = 256;
    ZLinPhMultibandCompressor comp (1, 1, n, 44100.0f);
    EXPECT_EQ (comp.getChannelLevel (0, 0), 0.0f);

    // The instantaneous level of the tone, measured on a second compressor that follows at once.
    ZLinPhMultibandCompressor instant (1, 1, n, 44100.0f);
    instant.attackCoefficient[0] = instant.releaseCoefficient[0] = 0.0f;
    const auto tone = binTone ((size_t) n, 30, n, 0.3f);
    runBlocks (instant, { tone });
    const auto level = instant.getChannelLevel (0, 0);

    // Digital silence does not start the level; the first block with sound sets it.
    const std::vector<float> silence ((size_t) n, 0.0f);
    runBlocks (comp, { silence });
    EXPECT_EQ (comp.getChannelLevel (0, 0), 0.0f);
    runBlocks (comp, { tone });
    EXPECT_NEAR (comp.getChannelLevel (0, 0), level, 1e-4f);

    // Once the running mean weighs more than the coefficients, the smoother takes over.
    for (int block = 0; block < 40; ++block)
        runBlocks (comp, { tone });

    EXPECT_NEAR (comp.getChannelLevel (0, 0), level, 1e-3f);
    const auto settled = comp.getChannelLevel (0, 0);
    runBlocks (comp, { silence });
    const auto r = comp.releaseCoefficient[0];
    EXPECT_NEAR (comp.getChannelLevel (0, 0), -100.0f * (1.0f - r) + settled * r, 1e-3f);

    const auto fallen = comp.getChannelLevel (0, 0);
    runBlocks (comp, { tone });
    const auto a = comp.attackCoefficient[0];
    EXPECT_NEAR (comp.getChannelLevel (0, 0), level * (1.0f - a) + fallen * a, 1e-3f);
}

TEST (CompressorSmoothing, ResetReturnsToTheStateOfAFreshCompressor)
{
    const int n = 256;
    const Signals input = { noise ((size_t) n * 10, 21, 0.8f), noise ((size_t) n * 10, 22, 0.2f) };

    ZLinPhMultibandCompressor comp (2, 4, n, 44100.0f);
    const auto first = runBlocks (comp, input);
    comp.reset();

    for (unsigned b = 0; b < 4; ++b)
        EXPECT_EQ (comp.getChannelLevel (1, b), 0.0f);

    const auto second = runBlocks (comp, input);
    EXPECT_EQ (first, second);

    // Before any sound, a new compressor and a reset one hold the same levels and give the same gains.
    ZLinPhMultibandCompressor fresh (2, 4, n, 44100.0f);
    comp.reset();
    const Signals silence = { std::vector<float> ((size_t) n, 0.0f), std::vector<float> ((size_t) n, 0.0f) };
    runBlocks (fresh, silence);
    runBlocks (comp, silence);

    for (unsigned b = 0; b < 4; ++b)
    {
        EXPECT_EQ (fresh.getChannelLevel (0, b), comp.getChannelLevel (0, b)) << "band " << b;
        EXPECT_EQ (fresh.getBandLevel (b), comp.getBandLevel (b)) << "band " << b;
        EXPECT_EQ (fresh.getBandGain (b), comp.getBandGain (b)) << "band " << b;
    }
}

//==============================================================================
TEST (CompressorLifecycle, ReconfigureKeepsBandSettingsAndDelaysByTheNewBlock)
{
    ZLinPhMultibandCompressor comp (2, 3, 512, 44100.0f);
    comp.crossovers[0] = 300.0f;
    comp.ratio[1] = 5.0f;
    comp.attackCoefficient[2] = 0.5f;
    for (unsigned b = 0; b < 3; ++b)
        comp.bypass[b] = true;

    ASSERT_TRUE (comp.reconfigure (128, 48000.0f));
    EXPECT_EQ (comp.getLatency(), 128);
    EXPECT_EQ (comp.getSampleRate(), 48000.0f);
    EXPECT_EQ (comp.crossovers[0], 300.0f);
    EXPECT_EQ (comp.ratio[1], 5.0f);
    EXPECT_EQ (comp.attackCoefficient[2], 0.5f);
    EXPECT_EQ (comp.getLastBin (2), 128u);

    const Signals input = { noise (128 * 8, 5, 0.5f), noise (128 * 8, 6, 0.5f) };
    const auto out = runBlocks (comp, input);
    EXPECT_LT (delayedError (out[0], input[0], 128, 1.0f, 0), 2e-5f);
    EXPECT_LT (delayedError (out[1], input[1], 128, 1.0f, 0), 2e-5f);
}

TEST (CompressorLifecycle, RefusedSizesAndCountsLeaveEverythingAsItWas)
{
    EXPECT_THROW (ZLinPhMultibandCompressor (0, 3, 512, 44100.0f), vesk_juce::vj_dsp_exception);
    EXPECT_THROW (ZLinPhMultibandCompressor (2, 0, 512, 44100.0f), vesk_juce::vj_dsp_exception);
    EXPECT_THROW (ZLinPhMultibandCompressor (2, 3, 500, 44100.0f), vesk_juce::vj_dsp_exception);
    EXPECT_THROW (ZLinPhMultibandCompressor (2, 3, 0, 44100.0f), vesk_juce::vj_dsp_exception);
    EXPECT_THROW (ZLinPhMultibandCompressor (2, 3, 512, 0.0f), vesk_juce::vj_dsp_exception);
    EXPECT_THROW (ZLinPhMultibandCompressor::create (-1, 3, 512, 44100.0f), vesk_juce::vj_dsp_exception);

    const auto big = ZLinPhMultibandCompressor::create (5, 12, 64, 44100.0f);
    EXPECT_EQ (big->getNumChannels(), 2u);
    EXPECT_EQ (big->getNumBands(), 8u);
    EXPECT_EQ (big->getName(), nullptr);

    ZLinPhMultibandCompressor comp (2, 3, 256, 44100.0f);
    EXPECT_FALSE (comp.reconfigure (300, 44100.0f));
    EXPECT_FALSE (comp.reconfigure (256, -1.0f));
    EXPECT_FALSE (comp.reconfigure (256, std::nanf ("")));
    EXPECT_EQ (comp.getLatency(), 256);
    EXPECT_EQ (comp.getSampleRate(), 44100.0f);

    ZBuffer in0 (512, "in"), in1 (512, "in"), out0 (512, "out"), out1 (512, "out"), shortOut (100, "out");
    std::fill_n (out0.getData(), 512, 7.0f);
    ZBuffer* in[] = { &in0, &in1 };
    ZBuffer* out[] = { &out0, &out1 };
    ZBuffer* shortOuts[] = { &out0, &shortOut };

    EXPECT_TRUE (comp.process (in, out, 0));
    EXPECT_FALSE (comp.process (in, out, 257));
    EXPECT_FALSE (comp.process (in, out, -1));
    EXPECT_FALSE (comp.process (in, shortOuts, 200));
    EXPECT_TRUE (std::all_of (out0.getData(), out0.getData() + 512, [] (float v) { return v == 7.0f; }));
    EXPECT_TRUE (comp.process (in, shortOuts, 100));
}

} // namespace
