#include "ZCrackleProcessor.h"
#include "ZBuffer.h"
#include "vj_exception.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace vesk;

namespace
{

constexpr int blockSize = 512;
constexpr float rate = 44100.0f;

using tavlin::test::sine;

/** Feeds x block by block, processing in place, and returns the output, as long as x. */
std::vector<float> runThrough (ZCrackleProcessor& crackle, const std::vector<float>& x)
{
    ZBuffer block (blockSize, "block");
    std::vector<float> y (x.size());

    for (size_t start = 0; start < x.size(); start += blockSize)
    {
        block.clear();
        const auto n = std::min ((size_t) blockSize, x.size() - start);
        std::copy_n (x.begin() + (long) start, n, block.getData());
        crackle.process (block, block, blockSize);
        std::copy_n (block.getData(), n, y.begin() + (long) start);
    }

    return y;
}

float maxDelayedError (const std::vector<float>& out, const std::vector<float>& expected, int delay, int from, int to)
{
    float worst = 0.0f;
    for (int t = from; t < to; ++t)
        worst = std::max (worst, std::abs (out[(size_t) (t + delay)] - expected[(size_t) t]));
    return worst;
}

/** (W + lambda D'D) z = W y solved densely with partial pivoting, in double. */
std::vector<double> denseSmooth (const std::vector<float>& w, const std::vector<float>& y, double lambda)
{
    const auto m = (int) y.size();
    std::vector<std::vector<double>> a ((size_t) m, std::vector<double> ((size_t) m + 1, 0.0));

    for (int r = 0; r + 2 < m; ++r)
    {
        const int cols[3] = { r, r + 1, r + 2 };
        const double coefficients[3] = { 1.0, -2.0, 1.0 };
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                a[(size_t) cols[i]][(size_t) cols[j]] += lambda * coefficients[i] * coefficients[j];
    }

    for (int i = 0; i < m; ++i)
    {
        a[(size_t) i][(size_t) i] += w[(size_t) i];
        a[(size_t) i][(size_t) m] = (double) w[(size_t) i] * y[(size_t) i];
    }

    for (int col = 0; col < m; ++col)
    {
        int best = col;
        for (int r = col + 1; r < m; ++r)
            if (std::abs (a[(size_t) r][(size_t) col]) > std::abs (a[(size_t) best][(size_t) col]))
                best = r;
        std::swap (a[(size_t) col], a[(size_t) best]);

        for (int r = col + 1; r < m; ++r)
        {
            const auto factor = a[(size_t) r][(size_t) col] / a[(size_t) col][(size_t) col];
            for (int j = col; j <= m; ++j)
                a[(size_t) r][(size_t) j] -= factor * a[(size_t) col][(size_t) j];
        }
    }

    std::vector<double> z ((size_t) m);
    for (int r = m - 1; r >= 0; --r)
    {
        auto sum = a[(size_t) r][(size_t) m];
        for (int j = r + 1; j < m; ++j)
            sum -= a[(size_t) r][(size_t) j] * z[(size_t) j];
        z[(size_t) r] = sum / a[(size_t) r][(size_t) r];
    }

    return z;
}

} // namespace

TEST (ZCrackleProcessor, SmootherSolvesTheWeightedSecondDifferenceSystem)
{
    std::mt19937 random (1234);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f), signal (-1.0f, 1.0f);

    for (int m : { 5, 6, 7, 31, 130, 286 })
    {
        for (float lambda : { 1.0f, 0.25f, 8.0f })
        {
            for (bool burstPattern : { false, true })
            {
                SCOPED_TRACE (testing::Message() << "m " << m << ", lambda " << lambda << ", burst " << burstPattern);
                std::vector<float> w ((size_t) m), y ((size_t) m), z ((size_t) m);

                for (int i = 0; i < m; ++i)
                {
                    y[(size_t) i] = signal (random);
                    // The burst pattern keeps weight only near both ends, as the repair does.
                    w[(size_t) i] = burstPattern ? (i < 2 || i >= m - 2 ? unit (random) + 0.1f : 0.0f) : unit (random);
                }

                const auto reference = denseSmooth (w, y, lambda);
                double scale = 0.0;
                for (auto v : reference)
                    scale = std::max (scale, std::abs (v));

                ZCrackleProcessor::smoothRegion (w.data(), y.data(), z.data(), m, lambda);
                for (int i = 0; i < m; ++i)
                    EXPECT_NEAR (z[(size_t) i], reference[(size_t) i], 1.0e-5 * std::max (scale, 1.0)) << i;

                // In place gives the same.
                auto inPlace = y;
                ZCrackleProcessor::smoothRegion (w.data(), inPlace.data(), inPlace.data(), m, lambda);
                EXPECT_EQ (inPlace, z);
            }
        }
    }

    // Outside the supported lengths the region is copied unchanged.
    std::vector<float> w (300, 0.5f), y (300, 0.25f), z (300, 9.0f);
    y[2] = -1.0f;
    for (int m : { 4, 287 })
    {
        ZCrackleProcessor::smoothRegion (w.data(), y.data(), z.data(), m, 1.0f);
        EXPECT_TRUE (std::equal (y.begin(), y.begin() + m, z.begin())) << m;
    }
}

TEST (ZCrackleProcessor, SpikesOnAToneAreRedrawnFromTheirNeighbours)
{
    // A settled predictor on a 200 Hz tone of peak 0.3; spikes of 0.2 (-3.5 dB) every 0.1 s.
    const int length = 3 * 44100;
    const auto clean = sine (length, 200.0, 0.3);
    auto x = clean;
    std::vector<int> spikes;
    for (int t = 44100; t < length - 2000; t += 4410)
    {
        x[(size_t) t] += (spikes.size() % 2 == 0 ? 0.2f : -0.2f);
        spikes.push_back (t);
    }

    for (float thresholdDb : { 10.0f, 20.0f, 30.0f })
    {
        SCOPED_TRACE (testing::Message() << thresholdDb << " dB");
        ZCrackleProcessor crackle (blockSize, rate);
        crackle.setThresholdDb (thresholdDb);
        const auto out = runThrough (crackle, x);
        const auto latency = crackle.getLatency();

        // Each spike is at least 40 dB down, and the tone around it is kept.
        for (int t : spikes)
            EXPECT_LE (maxDelayedError (out, clean, latency, t - 300, t + 300), 0.002f) << "spike at " << t;

        EXPECT_LE (maxDelayedError (out, clean, latency, 30000, length - latency), 0.002f);
    }
}

TEST (ZCrackleProcessor, DigitalSilenceDoesNotTurnAQuietSoundIntoBursts)
{
    // After digital silence the error envelope is 0: only the absolute floor keeps the threshold
    // above the prediction errors of a quiet sound. Optionally a loud passage comes first, so that
    // the predictor has adapted to something else.
    struct Case
    {
        const char* name;
        bool loudBefore;
        bool isTone;
    };

    const Case cases[] = { { "tone from reset", false, true },
                           { "noise from reset", false, false },
                           { "tone after loud noise and silence", true, true },
                           { "noise after loud noise and silence", true, false } };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (tc.name);
        std::mt19937 random (99);
        std::uniform_real_distribution<float> loud (-0.5f, 0.5f), quiet (-0.0003f, 0.0003f);
        const int loudEnd = 22050, soundStart = 66150, length = 110250;
        std::vector<float> x ((size_t) length, 0.0f);
        const auto tone = sine (length, 330.0, 0.0006, 0.4);

        for (int t = 0; t < length; ++t)
        {
            if (tc.loudBefore && t < loudEnd)
                x[(size_t) t] = loud (random);
            else if (t >= soundStart)
                x[(size_t) t] = tc.isTone ? tone[(size_t) t] : quiet (random);
        }

        for (float thresholdDb : { 30.0f, 10.0f })
        {
            ZCrackleProcessor crackle (blockSize, rate);
            crackle.setThresholdDb (thresholdDb);
            const auto out = runThrough (crackle, x);
            const auto latency = crackle.getLatency();
            EXPECT_EQ (maxDelayedError (out, x, latency, loudEnd + 1000, length - latency), 0.0f) << thresholdDb;
        }
    }
}

TEST (ZCrackleProcessor, ResetKeepsTheEnvelopeAndANaNDoesNotDisableDetection)
{
    const int length = 4 * 44100;
    const auto clean = sine (length, 200.0, 0.3);
    auto x = clean;
    const int nanAt = 30000, spikeAt = 120000;
    x[(size_t) nanAt] = std::numeric_limits<float>::quiet_NaN();
    x[(size_t) spikeAt] += 0.2f;

    ZCrackleProcessor crackle (blockSize, rate);
    crackle.setThresholdDb (20.0f);
    const auto out = runThrough (crackle, x);
    const auto latency = crackle.getLatency();

    for (int t = nanAt + 1; t < length - latency; ++t)
        ASSERT_TRUE (std::isfinite (out[(size_t) (t + latency)])) << t;

    EXPECT_LE (maxDelayedError (out, clean, latency, spikeAt - 300, spikeAt + 300), 0.002f);

    const auto envelope = crackle.getErrorEnvelope();
    EXPECT_GT (envelope, 0.0f);
    crackle.reset();
    EXPECT_EQ (crackle.getErrorEnvelope(), envelope);

    // Reset empties the history: silence in gives silence out, with nothing of the tone left.
    ZBuffer block (blockSize, "block");
    crackle.process (block, block, blockSize);
    for (int i = 0; i < blockSize; ++i)
        EXPECT_EQ (block.getData()[i], 0.0f) << i;
}

TEST (ZCrackleProcessor, StepSizeAndRatesStayInBounds)
{
    struct Case
    {
        float rate, step;
    };

    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const auto infinity = std::numeric_limits<float>::infinity();
    const Case cases[] = { { 22050.0f, 0.005f },      { 44100.0f, 0.005f }, { 48000.0f, 0.00332736f },
                           { 96000.0f, 2.21426e-5f }, { nan, 0.005f },      { -1.0f, 0.005f },
                           { infinity, 0.0f } };

    std::mt19937 random (5);
    std::uniform_real_distribution<float> loud (-1.0f, 1.0f);
    std::vector<float> x (20 * blockSize);
    for (auto& v : x)
        v = loud (random);

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "rate " << tc.rate);
        EXPECT_NEAR (ZCrackleProcessor::stepSize (tc.rate), tc.step, tc.step * 1.0e-4f);

        ZCrackleProcessor crackle (blockSize, tc.rate);
        crackle.setThresholdDb (10.0f);
        for (auto v : runThrough (crackle, x))
            ASSERT_TRUE (std::isfinite (v));
    }

    for (int size : { 0, -1, ZCrackleProcessor::maxBlockSize + 1 })
        EXPECT_THROW (ZCrackleProcessor (size, rate), vesk_juce::vj_dsp_exception) << size;

    EXPECT_EQ (ZCrackleProcessor::create (blockSize, rate)->getName(), nullptr);
}
