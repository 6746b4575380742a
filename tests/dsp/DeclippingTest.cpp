#include "ZDeclipping.h"

#include "ProgrammeSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace vesk;

namespace
{
constexpr long block = 512;

std::unique_ptr<ZDeclipping> makeDeclipper (float sampleRate, bool enabled)
{
    // Prepared the way the processor does it.
    auto declipper = std::make_unique<ZDeclipping> (block, 44100.0f);
    declipper->setDefaults();
    declipper->reset();
    declipper->setSampleRate (sampleRate);
    declipper->setBlockSize (block);
    declipper->enabled = enabled;
    return declipper;
}

struct Run
{
    std::vector<float> output;
    int blocksRebuilt = 0;
};

/** Feeds the signal and then enough silence to flush the latency, block by block. */
Run runThrough (ZDeclipping& declipper, const std::vector<float>& input)
{
    const auto total = input.size() + (size_t) declipper.getLatency();
    ZBuffer in ((int) block, "in"), out ((int) block, "out");
    Run run;

    for (size_t start = 0; start < total; start += block)
    {
        in.clear();

        for (size_t i = start; i < std::min (start + block, input.size()); ++i)
            in.getData()[i - start] = input[i];

        run.blocksRebuilt += declipper.process (&in, &out, block) ? 1 : 0;
        run.output.insert (run.output.end(), out.getData(), out.getData() + block);
    }

    return run;
}

std::vector<float> sine (size_t n, double frequency, double amplitude, double sampleRate = 44100.0)
{
    std::vector<float> x (n);

    for (size_t i = 0; i < n; ++i)
        x[i] = (float) (amplitude * std::sin (2.0 * M_PI * frequency * (double) i / sampleRate + 0.3));

    return x;
}

std::vector<float> clipped (std::vector<float> x, float level)
{
    for (auto& v : x)
        v = std::clamp (v, -level, level);

    return x;
}

/** Rounded to a grid of 2^(1 - bits), as integer samples of that many bits are. */
std::vector<float> quantised (std::vector<float> x, int bits)
{
    const auto step = std::ldexp (1.0, 1 - bits);

    for (auto& v : x)
        v = (float) (std::round ((double) v / step) * step);

    return x;
}

double rmsError (const std::vector<float>& a, const std::vector<float>& b, size_t from, size_t to, double gainB)
{
    double error = 0, energy = 0;

    for (auto i = from; i < to; ++i)
    {
        error += std::pow ((double) a[i] - gainB * b[i], 2.0);
        energy += std::pow (gainB * b[i], 2.0);
    }

    return std::sqrt (error / energy);
}

/** (W + lambda D'D) z = W y by dense elimination in double, as a reference for the banded solve. */
std::vector<double> denseSmooth (const std::vector<float>& w, const std::vector<float>& y, double lambda)
{
    const auto n = w.size();
    std::vector<std::vector<double>> a (n, std::vector<double> (n, 0.0));
    std::vector<double> r (n), z (n);
    const double c[] = { 1.0, -2.0, 1.0 };

    for (size_t k = 0; k + 2 < n; ++k)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                a[k + i][k + j] += lambda * c[i] * c[j];

    for (size_t i = 0; i < n; ++i)
    {
        a[i][i] += w[i];
        r[i] = (double) w[i] * y[i];
    }

    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
        {
            if (a[j][i] == 0.0)
                continue;

            const auto f = a[j][i] / a[i][i];

            for (size_t k = i; k < n; ++k)
                a[j][k] -= f * a[i][k];

            r[j] -= f * r[i];
        }

    for (size_t i = n; i-- > 0;)
    {
        auto s = r[i];

        for (size_t k = i + 1; k < n; ++k)
            s -= a[i][k] * z[k];

        z[i] = s / a[i][i];
    }

    return z;
}
} // namespace

TEST (DeclippingTest, DelaysByItsLatencyAtEveryRate)
{
    struct Case
    {
        float sampleRate;
        long latency;
    };

    // Latency = truncate (0.025 rate) + 2 truncate (0.001 rate) + block size.
    const Case cases[] = { { 22050.0f, 551 + 44 + 512 },    { 44100.0f, 1702 },
                           { 48000.0f, 1200 + 96 + 512 },   { 96000.0f, 2400 + 192 + 512 },
                           { 192000.0f, 4800 + 384 + 512 }, { 384000.0f, 9600 + 768 + 512 } };

    for (const auto& c : cases)
        for (bool enabled : { false, true })
        {
            SCOPED_TRACE (testing::Message() << c.sampleRate << " Hz, enabled " << enabled);
            auto declipper = makeDeclipper (c.sampleRate, enabled);
            ASSERT_EQ (declipper->getLatency(), c.latency);

            std::vector<float> input (3000, 0.0f);
            input[123] = 0.5f;
            auto run = runThrough (*declipper, input);

            for (size_t i = 0; i < run.output.size(); ++i)
                ASSERT_EQ (run.output[i], i == 123 + (size_t) c.latency ? 0.5f : 0.0f) << i;

            EXPECT_EQ (run.blocksRebuilt, 0);
            EXPECT_EQ (declipper->getNegativeClipLevel(), -1.0f);
            EXPECT_EQ (declipper->getPositiveClipLevel(), 1.0f);
        }
}

TEST (DeclippingTest, SmoothingFitMatchesADenseSolveForEveryRunLength)
{
    // The clipped samples carry almost no weight, so long runs make the system badly conditioned.
    for (float rate : { 44100.0f, 192000.0f })
    {
        ZDeclipping declipper (block, rate);
        const auto m = declipper.getMargin();

        for (long runLength : { 1L, 10L, 100L, 500L, declipper.getMaxRun() })
        {
            SCOPED_TRACE (testing::Message() << rate << " Hz, run " << runLength);
            const auto n = (size_t) (runLength + 2 * m);
            std::vector<float> w (n, 1.0f), y (n), z (n);
            const auto step = (2.0 * M_PI / 3.0) / (double) runLength;

            for (size_t i = 0; i < n; ++i)
            {
                const auto inRun = (long) i >= m && (long) i < m + runLength;
                w[i] = inRun ? 1.0e-7f : 1.0f;
                y[i] = (float) std::clamp (2.0 * std::sin (M_PI / 6.0 + ((double) i - (double) m) * step), -1.0, 1.0);
            }

            const auto reference = denseSmooth (w, y, 1.0);
            ASSERT_TRUE (declipper.smoothRegion (w.data(), y.data(), z.data(), (long) n, 1.0f));

            for (size_t i = 0; i < n; ++i)
                ASSERT_NEAR (z[i], reference[i], 1.0e-5) << i;

            // In place gives the same result.
            ASSERT_TRUE (declipper.smoothRegion (w.data(), y.data(), y.data(), (long) n, 1.0f));
            EXPECT_EQ (y, z);
        }

        // A region longer than the scratch is refused and copied through.
        const auto tooLong = (size_t) declipper.getDelay() + 1;
        std::vector<float> w (tooLong, 1.0f), y (tooLong, 0.25f), z (tooLong, 0.0f);
        EXPECT_FALSE (declipper.smoothRegion (w.data(), y.data(), z.data(), (long) tooLong, 1.0f));
        EXPECT_EQ (y, z);
    }
}

TEST (DeclippingTest, RebuildsClippedSines)
{
    struct Case
    {
        float clipLevel, overdrive;
    };

    const Case cases[] = { { 1.0f, 1.25f }, { 1.0f, 2.0f }, { 0.5f, 1.25f }, { 0.5f, 2.0f } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "clipped at " << c.clipLevel << ", overdrive " << c.overdrive);
        const auto original = sine (22050, 350.0, c.clipLevel * c.overdrive);
        const auto input = clipped (original, c.clipLevel);
        auto declipper = makeDeclipper (44100.0f, true);
        const auto run = runThrough (*declipper, input);

        // The stored level lies within one and a half bins inside the plateau.
        EXPECT_LE (declipper->getPositiveClipLevel(), c.clipLevel);
        EXPECT_GE (declipper->getPositiveClipLevel(), c.clipLevel - 0.03f);
        EXPECT_GE (declipper->getNegativeClipLevel(), -c.clipLevel);
        EXPECT_LE (declipper->getNegativeClipLevel(), -c.clipLevel + 0.03f);
        EXPECT_GT (run.blocksRebuilt, 0);

        const auto latency = (size_t) declipper->getLatency();
        std::vector<float> aligned (run.output.begin() + (long) latency, run.output.end());
        const auto threshold = declipper->getSoftClip()->getThreshold();

        for (auto v : run.output)
            ASSERT_LE (std::abs (v), threshold);

        // Compared after the first detection chunks, with the soft clip's gain fitted out.
        const size_t from = 2048, to = original.size() - 2048;
        double cross = 0, energy = 0;

        for (auto i = from; i < to; ++i)
        {
            cross += (double) aligned[i] * original[i];
            energy += (double) original[i] * original[i];
        }

        const auto gain = cross / energy;
        const auto rebuiltError = rmsError (aligned, original, from, to, gain);
        const auto clippedError = rmsError (input, original, from, to, 1.0);
        EXPECT_LT (rebuiltError, 0.1 * clippedError) << rebuiltError << " vs " << clippedError;
    }
}

TEST (DeclippingTest, LoudUnclippedSinesAndLonePeaksPassUnchanged)
{
    struct Case
    {
        const char* name;
        std::vector<float> signal;
    };

    std::vector<Case> cases;

    for (double amplitude : { 0.5, 0.95 })
        for (double frequency : { 50.0, 440.0, 1000.0, 3000.0, 5000.0, 9000.0 })
            cases.push_back ({ "sine", sine (8192, frequency, amplitude) });

    // Lone extreme samples over a programme that never comes near zero: the comparison bins and the
    // centre bin are empty.
    for (float sign : { 1.0f, -1.0f })
        for (int width : { 1, 2 })
        {
            std::mt19937 random (7);
            std::uniform_real_distribution<float> programme (0.1f, 0.5f);
            std::vector<float> x (8192);

            for (auto& v : x)
                v = sign * programme (random);

            for (int k = 0; k < width; ++k)
                x[(size_t) (2000 + k)] = sign * 0.9f;

            cases.push_back ({ "lone peak", x });

            // Full-scale samples are not clipped without a plateau.
            for (int k = 0; k < width; ++k)
                x[(size_t) (2000 + k)] = sign * 1.0f;

            cases.push_back ({ "full-scale peak", x });
        }

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.name << " " << &c - cases.data());
        auto declipper = makeDeclipper (44100.0f, true);
        const auto run = runThrough (*declipper, c.signal);
        const auto latency = (size_t) declipper->getLatency();

        EXPECT_EQ (declipper->getNegativeClipLevel(), -1.0f);
        EXPECT_EQ (declipper->getPositiveClipLevel(), 1.0f);
        EXPECT_EQ (run.blocksRebuilt, 0);

        EXPECT_FALSE (declipper->hasNegativeClipLevel());
        EXPECT_FALSE (declipper->hasPositiveClipLevel());

        // A full-scale sample is only turned down by the soft clip, as with the declipper off.
        auto off = makeDeclipper (44100.0f, false);
        const auto reference = runThrough (*off, c.signal);
        size_t changed = 0;

        for (size_t i = 0; i < c.signal.size(); ++i)
            changed += run.output[i + latency] != reference.output[i + latency] ? 1 : 0;

        EXPECT_EQ (changed, 0u);

        // Below the soft clip's threshold, the output is the input itself.
        for (size_t i = 0; i < c.signal.size() && std::string (c.name) != "full-scale peak"; ++i)
            ASSERT_EQ (run.output[i + latency], c.signal[i]) << i;
    }
}

TEST (DeclippingTest, FindsTheLevelAtTheFirstClippedRunAmidPauses)
{
    // Speech-like bursts between pauses of digital silence, which fill the histogram's zero bin; the
    // third burst alone is clipped, at 0.4, in runs of a few samples. The level is found exactly in the
    // chunk that holds the first run, that run is rebuilt beyond the level, and nothing else changes.
    std::vector<float> x;

    for (int burst = 0; burst < 4; ++burst)
    {
        x.resize (x.size() + 8000, 0.0f);
        const auto peak = burst == 2 ? 0.45 : 0.3;
        const auto tone = sine (1500, 300.0, peak);
        x.insert (x.end(), tone.begin(), tone.end());
    }

    const auto input = clipped (x, 0.4f);
    auto declipper = makeDeclipper (44100.0f, true);
    const auto run = runThrough (*declipper, input);
    const auto latency = (size_t) declipper->getLatency();

    EXPECT_TRUE (declipper->hasPositiveClipLevel());
    EXPECT_TRUE (declipper->hasNegativeClipLevel());
    EXPECT_EQ (declipper->getPositiveClipLevel(), 0.4f);
    EXPECT_EQ (declipper->getNegativeClipLevel(), -0.4f);

    const auto firstRun = (size_t) std::distance (
        input.begin(), std::find_if (input.begin(), input.end(), [] (float v) { return std::abs (v) >= 0.4f; }));
    float rebuiltPeak = 0.0f;

    for (size_t i = 0; i < input.size(); ++i)
    {
        const auto y = run.output[i + latency];

        if (std::abs (input[i]) < 0.4f)
        {
            ASSERT_EQ (y, input[i]) << "unclipped sample " << i << " was touched";
        }

        if (i >= firstRun && i < firstRun + 20)
            rebuiltPeak = std::max (rebuiltPeak, std::abs (y));
    }

    EXPECT_GT (rebuiltPeak, 0.41f);
}

TEST (DeclippingTest, QuantisedTonesAndProgrammePassUntouched)
{
    // Rounding to a coarse grid leaves plateaus of equal samples at the peaks of slow tones, and the peaks
    // of faster ones meet on the same top steps again and again; neither is clipping. Tones and programme
    // at 8, 12 and 16 bits pass exactly as with the declipper off, and no level is found.
    struct Case
    {
        std::string name;
        std::vector<float> signal;
    };

    std::vector<Case> cases;

    for (int bits : { 8, 12, 16 })
    {
        for (double frequency : { 40.0, 100.0, 440.0, 3000.0 })
            for (double amplitude : { 0.3, 0.6, 0.95 })
                cases.push_back ({ std::to_string (bits) + "-bit sine " + std::to_string ((int) frequency) + " Hz at "
                                       + std::to_string (amplitude),
                                   quantised (sine (44100, frequency, amplitude), bits) });

        using namespace tavlin::test::programme;

        for (float peak : { 0.3f, 0.9f })
        {
            auto voice = voiced (4.0, 44100.0, 1);
            auto band = music (4.0, 44100.0, 4);
            normalise (voice, peak);
            normalise (band, peak);
            cases.push_back (
                { std::to_string (bits) + "-bit voice at " + std::to_string (peak), quantised (voice, bits) });
            cases.push_back (
                { std::to_string (bits) + "-bit music at " + std::to_string (peak), quantised (band, bits) });
        }
    }

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto on = makeDeclipper (44100.0f, true);
        auto off = makeDeclipper (44100.0f, false);
        const auto repaired = runThrough (*on, c.signal);
        const auto reference = runThrough (*off, c.signal);
        size_t changed = 0;

        for (size_t i = 0; i < repaired.output.size(); ++i)
            changed += repaired.output[i] != reference.output[i] ? 1 : 0;

        EXPECT_EQ (changed, 0u);
        EXPECT_EQ (repaired.blocksRebuilt, 0);
        EXPECT_FALSE (on->hasPositiveClipLevel());
        EXPECT_FALSE (on->hasNegativeClipLevel());
    }
}

TEST (DeclippingTest, SamplesBeyondAnEarlierLevelPassUntouched)
{
    // A tone clipped at 0.4 gives the level; louder programme after it, never clipped, passes as with the
    // declipper off, both where it goes beyond 0.4 and where it meets it on the way.
    const auto tone = clipped (sine (11025, 300.0, 0.6), 0.4f);
    auto first = makeDeclipper (44100.0f, true);
    runThrough (*first, tone);
    ASSERT_TRUE (first->hasPositiveClipLevel());
    ASSERT_EQ (first->getPositiveClipLevel(), 0.4f);

    for (int seed : { 4, 5 })
    {
        SCOPED_TRACE (testing::Message() << "music seed " << seed);
        using namespace tavlin::test::programme;
        auto later = music (3.0, 44100.0, (uint32_t) seed);
        normalise (later, 0.8f);
        auto input = tone;
        input.resize (input.size() + 2205, 0.0f);
        const auto laterStart = input.size();
        input.insert (input.end(), later.begin(), later.end());

        auto on = makeDeclipper (44100.0f, true);
        auto off = makeDeclipper (44100.0f, false);
        const auto repaired = runThrough (*on, input);
        const auto reference = runThrough (*off, input);
        const auto latency = (size_t) on->getLatency();
        size_t changed = 0;

        for (auto i = laterStart; i < input.size(); ++i)
            changed += repaired.output[i + latency] != reference.output[i + latency] ? 1 : 0;

        EXPECT_EQ (changed, 0u);
    }
}

TEST (DeclippingTest, DisabledDelaysAndSoftClipsOnly)
{
    const auto input = clipped (sine (6000, 200.0, 2.0), 1.0f);
    auto declipper = makeDeclipper (44100.0f, false);
    const auto run = runThrough (*declipper, input);
    EXPECT_EQ (run.blocksRebuilt, 0);

    // Reference: the input delayed by D, through a soft clip of its own.
    auto reference = ZSoftClip::create ((int) block);
    reference->setThresholdDb (-0.1f);
    ZBuffer buffer ((int) block, "ref");
    const auto d = (size_t) declipper->getDelay();

    for (size_t start = 0; start < run.output.size(); start += block)
    {
        for (size_t i = 0; i < (size_t) block; ++i)
        {
            const auto k = start + i;
            buffer.getData()[i] = k >= d && k - d < input.size() ? input[k - d] : 0.0f;
        }

        reference->process (&buffer, &buffer);

        for (size_t i = 0; i < (size_t) block; ++i)
            ASSERT_EQ (run.output[start + i], buffer.getData()[i]) << start + i;
    }
}

TEST (DeclippingTest, RunsLongerThanTheScratchAtHighRatesStayBounded)
{
    // At 384 kHz a 20 Hz sine overdriven three times clips for about 7500 samples per half period, more
    // than the run length plus margins at 192 kHz; at 44.1 kHz a 10 Hz one clips for longer than the
    // longest run and is repaired section by section.
    for (float rate : { 44100.0f, 384000.0f })
    {
        SCOPED_TRACE (rate);
        const auto frequency = rate > 100000.0f ? 20.0 : 10.0;
        const auto input = clipped (sine ((size_t) (rate / frequency * 2.5), frequency, 3.0, rate), 1.0f);
        auto declipper = makeDeclipper (rate, true);
        const auto run = runThrough (*declipper, input);
        const auto threshold = declipper->getSoftClip()->getThreshold();

        EXPECT_GT (run.blocksRebuilt, 0);

        for (auto v : run.output)
            ASSERT_TRUE (std::isfinite (v) && std::abs (v) <= threshold) << v;
    }
}

TEST (DeclippingTest, DetectionWorksChunkByChunk)
{
    // At 22050 Hz a block is two chunks of 256 samples; a block whose second half alone is clipped
    // still gives a level, and the level persists through the clean blocks that follow.
    auto declipper = makeDeclipper (22050.0f, true);
    ASSERT_EQ (declipper->getChunk(), 256);

    auto x = sine (block, 300.0, 0.4, 22050.0);
    const auto loud = clipped (sine (block, 300.0, 1.6, 22050.0), 0.8f);
    std::copy (loud.begin() + 256, loud.end(), x.begin() + 256);

    declipper->detectClipLevels (x.data(), 256);
    EXPECT_EQ (declipper->getPositiveClipLevel(), 1.0f);
    declipper->detectClipLevels (x.data(), block);
    EXPECT_NEAR (declipper->getPositiveClipLevel(), 0.8f, 0.03f);
    EXPECT_NEAR (declipper->getNegativeClipLevel(), -0.8f, 0.03f);

    const auto quiet = sine (block, 300.0, 0.4, 22050.0);
    declipper->detectClipLevels (quiet.data(), block);
    EXPECT_NEAR (declipper->getPositiveClipLevel(), 0.8f, 0.03f);

    declipper->reset();
    EXPECT_EQ (declipper->getPositiveClipLevel(), 1.0f);
    EXPECT_EQ (declipper->getNegativeClipLevel(), -1.0f);
}

TEST (DeclippingTest, RefusesMoreSamplesThanABlock)
{
    auto declipper = makeDeclipper (44100.0f, true);
    ZBuffer in (2 * (int) block, "in"), out (2 * (int) block, "out");
    std::fill_n (in.getData(), 2 * block, 0.25f);

    // Only a block's worth is taken; nothing beyond the analysis buffer is touched.
    EXPECT_FALSE (declipper->process (&in, &out, 2 * block));
    EXPECT_FALSE (declipper->process (&in, &out, 0));
    EXPECT_FALSE (declipper->process (&in, &out, -5));
}

TEST (DeclippingTest, LevelFindingMatchesTheSampleBySampleSteps)
{
    // The vector scan that passes over plain samples must leave every decision as the per-sample steps
    // make them: levels, withdrawals, extremes, counts, grid and runs, after every call, on programme,
    // clipped, quantised and repeating material with digital silence, full scale and non-finite samples,
    // in calls of random lengths (many chunks, one chunk, parts of one).
    using namespace tavlin::test::programme;
    struct Case
    {
        std::string name;
        std::vector<float> signal;
    };

    std::vector<Case> cases;
    auto voice = voiced (3.0, 44100.0, 2);
    auto band = music (3.0, 44100.0, 3);
    normalise (voice, 0.7f);
    normalise (band, 0.9f);

    cases.push_back ({ "voice", voice });
    cases.push_back ({ "music", band });
    cases.push_back ({ "music clipped at 0.5", clipped (band, 0.5f) });
    cases.push_back ({ "voice clipped at 0.3, 16 bits", quantised (clipped (voice, 0.3f), 16) });

    for (int bits : { 8, 12, 16 })
        cases.push_back ({ "music, " + std::to_string (bits) + " bits", quantised (band, bits) });

    // Peaks that meet one value again and again from different samples, then a louder stretch that
    // withdraws the level they gave, then the same tone coarsely quantised.
    {
        auto x = clipped (sine (30000, 441.0, 0.8), 0.6f);
        const auto louder = sine (20000, 300.0, 0.75);
        x.insert (x.end(), louder.begin(), louder.end());
        const auto coarse = quantised (sine (20000, 97.0, 0.9), 6);
        x.insert (x.end(), coarse.begin(), coarse.end());
        cases.push_back ({ "recurring peaks", x });
    }

    // A loud peak, then a tone clipped below it, whose level a tone between the two withdraws.
    {
        auto x = sine (2000, 300.0, 0.9);
        const auto clippedTone = clipped (sine (20000, 300.0, 0.8), 0.6f);
        const auto between = sine (20000, 200.0, 0.75);
        x.insert (x.end(), clippedTone.begin(), clippedTone.end());
        x.insert (x.end(), between.begin(), between.end());
        cases.push_back ({ "clipped below a louder peak", x });
    }

    // Lone 16-bit peaks at exactly 0.5 from ever other samples, which give a level (some reached by one
    // step from a sample after a NaN, which leaves the level to the sample after the peak), then peaks a
    // step or two short of it, which withdraw it, the lone peaks again, and one full-scale sample beyond.
    {
        std::mt19937 random (5);
        std::uniform_real_distribution<float> programme (-0.3f, 0.3f);
        std::vector<float> x (60000);

        for (size_t i = 0; i < x.size(); ++i)
        {
            const auto near = i >= 20000 && i < 30000;
            x[i] = i % 97 == 0 ? 0.5f - (near ? (float) (1 + i % 3) / 32768.0f : 0.0f) : programme (random);
        }

        x = quantised (x, 16);

        for (size_t i = 97 * 20; i < x.size(); i += 97 * 7)
        {
            x[i - 2] = std::numeric_limits<float>::quiet_NaN();
            x[i - 1] = x[i] - 1.0f / 32768.0f;
        }

        x[59000] = 1.0f;
        cases.push_back ({ "lone peaks, 16 bits", x });
    }

    // Silence, full-scale runs, tiny and subnormal samples, infinities and NaNs amid programme.
    {
        auto x = band;
        std::fill (x.begin() + 10000, x.begin() + 14000, 0.0f);
        std::fill (x.begin() + 20000, x.begin() + 20007, 1.0f);
        std::fill (x.begin() + 30000, x.begin() + 30005, -1.0f);

        for (size_t i = 40000; i < 40100; ++i)
            x[i] = std::ldexp ((float) (i % 7) - 3.0f, -140);

        x[50000] = std::numeric_limits<float>::quiet_NaN();
        x[50001] = std::numeric_limits<float>::quiet_NaN();
        x[60000] = std::numeric_limits<float>::infinity();
        x[70000] = -std::numeric_limits<float>::infinity();
        x[80000] = 3.0f;
        cases.push_back ({ "special samples", x });
    }

    for (const auto& c : cases)
        for (float rate : { 22050.0f, 44100.0f, 48000.0f })
            for (bool oneByOne : { false, true })
            {
                SCOPED_TRACE (testing::Message()
                              << c.name << " at " << rate << " Hz" << (oneByOne ? ", one by one" : ""));
                auto fast = makeDeclipper (rate, true);
                auto reference = makeDeclipper (rate, true);
                std::mt19937 random (11);
                // Mostly short calls, or calls of one sample, so that a state that lasts only a sample or
                // two is compared too.
                std::uniform_int_distribution<size_t> shortLength (1, 8), longLength (1, 1500), kind (0, 3);
                size_t calls = 0, levelsFound = 0;

                for (size_t start = 0; start < c.signal.size();)
                {
                    auto n = oneByOne ? 1 : (kind (random) == 0 ? longLength (random) : shortLength (random));
                    n = std::min (n, c.signal.size() - start);
                    fast->detectClipLevels (c.signal.data() + start, (long) n);
                    reference->detectClipLevelsSampleBySample (c.signal.data() + start, (long) n);
                    ASSERT_TRUE (fast->detectsAlike (*reference)) << "after the call from sample " << start << " on";
                    start += n;
                    ++calls;
                    levelsFound += fast->hasPositiveClipLevel() || fast->hasNegativeClipLevel() ? 1 : 0;
                }

                EXPECT_GT (calls, 50u);

                // The material does take the level finding through its levels.
                if (c.name.find ("clipped") != std::string::npos)
                {
                    EXPECT_GT (levelsFound, 0u);
                }
            }
}
