#include "ZClickProcessor.h"
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

/** Feeds x block by block (zero-padded to whole blocks) and returns the output, as long as x. */
std::vector<float> runThrough (ZClickProcessor& click, const std::vector<float>& x)
{
    ZBuffer in (blockSize, "in"), out (blockSize, "out");
    std::vector<float> y (x.size());

    for (size_t start = 0; start < x.size(); start += blockSize)
    {
        in.clear();
        const auto n = std::min ((size_t) blockSize, x.size() - start);
        std::copy_n (x.begin() + (long) start, n, in.getData());
        click.process (in, out, blockSize);
        std::copy_n (out.getData(), n, y.begin() + (long) start);
    }

    return y;
}

/** The repair applied to the whole signal at once: every run of flagged samples is replaced by the
    waveform mirrored in time about c - 65.5 (c the last clean sample), faded over 132 samples.
*/
std::vector<float> referenceRepair (std::vector<float> h, std::vector<float> f)
{
    for (int c = 1000; c + 700 < (int) h.size();)
    {
        if (!(f[(size_t) c] == 0.0f && f[(size_t) c + 1] == 1.0f))
        {
            ++c;
            continue;
        }

        int e = c + 512;
        for (int j = c + 1; j <= c + 512; ++j)
            if (f[(size_t) j] == 1.0f && f[(size_t) j + 1] == 0.0f)
            {
                e = j;
                break;
            }
        if (e == c + 512)
            f[(size_t) e] = 0.0f;

        for (int l = 0; l < 132; ++l)
        {
            const auto x = (size_t) (c - 131 + l);
            const auto w = (float) l / 132.0f;
            h[x] = (1.0f - w) * h[x] + w * h[(size_t) (c - l)];
        }
        for (int x = c + 1; x <= e; ++x)
            h[(size_t) x] = h[(size_t) (2 * c - 131 - x)];
        for (int p = 0; p < 132; ++p)
        {
            const auto x = e + 1 + p;
            const auto w = (float) (132 - p) / 132.0f;
            h[(size_t) x] = (1.0f - w) * h[(size_t) x] + w * h[(size_t) (2 * c - 131 - x)];
        }
        c = e;
    }

    return h;
}

float maxDelayedError (const std::vector<float>& out, const std::vector<float>& expected, int delay, int from, int to)
{
    float worst = 0.0f;
    for (int t = from; t < to; ++t)
        worst = std::max (worst, std::abs (out[(size_t) (t + delay)] - expected[(size_t) t]));
    return worst;
}

} // namespace

TEST (ZClickProcessor, ClicksAreReplacedByTheMirroredFadedWaveform)
{
    // A quiet two-tone programme (peak below 0.09) with one run of flagged samples per case.
    struct Case
    {
        int start, length;
        float value;
    };

    const Case cases[] = {
        { 5001, 2, 2.0f }, // two samples after the clean sample 5000
        { 7003, 1, -1.5f }, // a single sample
        { 9000, 512, 1.2f }, // the longest single click
        { 9000, 700, 1.5f }, // longer: two consecutive clicks, the second from the 512th sample on
        { 12000, 1100, -1.1f } // three pieces
    };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "click at " << tc.start << ", " << tc.length << " samples");
        const int length = 40 * blockSize;
        auto x = sine (length, 441.0, 0.05);
        const auto other = sine (length, 1234.5, 0.035, 0.3);
        std::vector<float> f ((size_t) length, 0.0f);

        for (int t = 0; t < length; ++t)
            x[(size_t) t] += other[(size_t) t];
        for (int t = tc.start; t < tc.start + tc.length; ++t)
        {
            x[(size_t) t] = tc.value;
            f[(size_t) t] = 1.0f;
        }

        ZClickProcessor click (blockSize, rate);
        click.setThresholdDb (12.0f);
        auto padded = x;
        padded.resize ((size_t) (length + click.getLatency()), 0.0f);
        const auto out = runThrough (click, padded);
        const auto expected = referenceRepair (x, f);

        EXPECT_LE (maxDelayedError (out, expected, click.getLatency(), 0, length - 1000), 1.0e-6f);

        // The click itself is gone: nothing is left above the programme's peak.
        float peak = 0.0f;
        for (auto v : out)
            peak = std::max (peak, std::abs (v));
        EXPECT_LT (peak, 0.09f);
    }
}

TEST (ZClickProcessor, ThresholdIsRelativeToTheMedianBlockPeak)
{
    // A 1 kHz sine of peak 0.1 gives every block the same peak; one spike replaces one sample.
    struct Case
    {
        float thresholdDb, spikeOverThreshold;
        bool removed;
    };

    const Case cases[] = { { 30.0f, 1.05f, true },  { 30.0f, 0.95f, false }, { 12.0f, 1.05f, true },
                           { 12.0f, 0.95f, false }, { 3.0f, 1.05f, true },   { 3.0f, 0.95f, false } };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << tc.thresholdDb << " dB, spike x" << tc.spikeOverThreshold);
        const float amplitude = 0.1f;
        const int length = 30 * blockSize, spikeAt = 8000;
        auto x = sine (length, 1000.0, amplitude);
        const auto clean = x;
        const auto ratio = std::pow (10.0f, tc.thresholdDb / 20.0f);
        x[spikeAt] = tc.spikeOverThreshold * ratio * amplitude;

        ZClickProcessor click (blockSize, rate);
        click.setThresholdDb (tc.thresholdDb);
        EXPECT_NEAR (click.getThresholdRatio(), ratio, ratio * 1.0e-6f);

        const auto out = runThrough (click, x);
        const auto latency = click.getLatency();
        const auto errorAgainstClean = maxDelayedError (out, clean, latency, spikeAt - 2, spikeAt + 2);
        const auto errorAgainstInput = maxDelayedError (out, x, latency, 0, length - latency);

        if (tc.removed)
        {
            EXPECT_LE (errorAgainstClean, 2.0f * amplitude);
        }
        else
        {
            EXPECT_EQ (errorAgainstInput, 0.0f);
        }
    }
}

TEST (ZClickProcessor, DigitalSilenceDoesNotTurnAQuietSoundIntoClicks)
{
    // With digital silence around, the median of the block peaks is 0: only the absolute floor keeps
    // the threshold above a quiet sound. A loud click in the silence is still removed.
    std::mt19937 random (7);
    std::uniform_real_distribution<float> noise (-0.008f, 0.008f);

    struct Case
    {
        const char* name;
        int start, length;
        bool isTone;
        float level;
        bool removed;
    };

    const Case cases[] = { { "quiet tone", 50000, 1024, true, 0.006f, false },
                           { "quiet noise", 50000, 2048, false, 0.0f, false },
                           { "loud click", 50000, 3, true, 0.5f, true } };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (tc.name);
        std::vector<float> x (80000, 0.0f);
        const auto tone = sine (tc.length, 700.0, tc.level, 0.5);

        for (int t = 0; t < tc.length; ++t)
            x[(size_t) (tc.start + t)] = tc.isTone ? tone[(size_t) t] : noise (random);

        for (float thresholdDb : { 30.0f, 3.0f })
        {
            ZClickProcessor click (blockSize, rate);
            click.setThresholdDb (thresholdDb);
            const auto out = runThrough (click, x);
            const auto latency = click.getLatency();

            if (tc.removed)
            {
                float peak = 0.0f;
                for (auto v : out)
                    peak = std::max (peak, std::abs (v));
                EXPECT_LT (peak, 0.01f) << thresholdDb << " dB";
            }
            else
            {
                EXPECT_EQ (maxDelayedError (out, x, latency, 0, (int) x.size() - latency), 0.0f)
                    << thresholdDb << " dB";
            }
        }
    }
}

TEST (ZClickProcessor, MedianWindowFollowsTheRateWithinItsBounds)
{
    struct Case
    {
        float rate;
        int halfWidth;
    };

    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const auto infinity = std::numeric_limits<float>::infinity();
    const Case cases[] = { { 8000.0f, 1 },   { 22050.0f, 1 }, { 44100.0f, 3 },  { 48000.0f, 3 },
                           { 88200.0f, 6 },  { 96000.0f, 6 }, { 192000.0f, 6 }, { 0.0f, 1 },
                           { -44100.0f, 1 }, { nan, 1 },      { infinity, 6 },  { 1.0e30f, 6 } };

    std::mt19937 random (11);
    std::uniform_real_distribution<float> loud (-1.0f, 1.0f);
    std::vector<float> x (20 * blockSize);
    for (auto& v : x)
        v = loud (random);

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "rate " << tc.rate);
        EXPECT_EQ (ZClickProcessor::medianHalfWidth (tc.rate), tc.halfWidth);

        // Every rate keeps the median window inside the peak store.
        ZClickProcessor click (blockSize, tc.rate);
        click.setThresholdDb (3.0f);
        for (auto v : runThrough (click, x))
            ASSERT_TRUE (std::isfinite (v));
    }
}

TEST (ZClickProcessor, ConstructionAndCountsStayInBounds)
{
    for (int size : { 0, -512, ZClickProcessor::maxBlockSize + 1 })
        EXPECT_THROW (ZClickProcessor (size, rate), vesk_juce::vj_dsp_exception) << size;

    auto small = ZClickProcessor::create (1, rate);
    EXPECT_EQ (small->getLatency(), 782);
    EXPECT_EQ (small->getName(), nullptr);

    // A count beyond the block size or the buffers processes one block, as the exact count does.
    std::mt19937 random (3);
    std::uniform_real_distribution<float> loud (-1.0f, 1.0f);
    ZClickProcessor exact (blockSize, rate), tooLong (blockSize, rate);
    ZBuffer in (blockSize, "in"), outExact (blockSize, "a"), outLong (blockSize, "b");

    for (int b = 0; b < 12; ++b)
    {
        for (int i = 0; i < blockSize; ++i)
            in.getData()[i] = loud (random) * (b % 5 == 0 ? 1.0f : 0.05f);

        exact.process (in, outExact, blockSize);
        tooLong.process (in, outLong, 100000);

        for (int i = 0; i < blockSize; ++i)
            ASSERT_EQ (outExact.getData()[i], outLong.getData()[i]);
    }
}
