// The two one-block look-ahead gain riders: the declipper's soft clip and the maximizer.
#include "ZMaximizer.h"
#include "ZSoftClip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace vesk;

namespace
{
constexpr int block = 512;

std::unique_ptr<ZMaximizer> makeMaximizer (float ceilingDb, float thresholdDb, bool enabled)
{
    auto maximizer = std::make_unique<ZMaximizer> (block);
    maximizer->initialize();
    maximizer->setCeilingDb (ceilingDb);
    maximizer->setThresholdDb (thresholdDb);
    maximizer->enabled = enabled;
    return maximizer;
}

/** Blocks of noise whose level jumps from block to block, up to 12 dB above full scale. */
std::vector<float> loudProgramme (int blocks, uint32_t seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> sample (-1.0f, 1.0f), levelDb (-50.0f, 12.0f);
    std::vector<float> x ((size_t) (blocks * block));

    for (int b = 0; b < blocks; ++b)
    {
        const auto level = std::pow (10.0f, levelDb (random) / 20.0f);

        for (int i = 0; i < block; ++i)
            x[(size_t) (b * block + i)] = level * sample (random);
    }

    return x;
}

template <typename Rider>
std::vector<float> runThrough (Rider& rider, const std::vector<float>& x)
{
    ZBuffer buffer (block, "io");
    std::vector<float> y;

    for (size_t start = 0; start < x.size(); start += block)
    {
        std::copy_n (x.begin() + (long) start, block, buffer.getData());
        rider.process (&buffer, &buffer);
        y.insert (y.end(), buffer.getData(), buffer.getData() + block);
    }

    return y;
}
} // namespace

TEST (GainRiderTest, DelayByExactlyOneBlock)
{
    struct Case
    {
        const char* name;
        bool enabled;
        float expectedGain;
    };

    // Below the threshold an enabled maximizer applies the make-up gain; both apply the margin.
    const Case cases[] = { { "maximizer disabled", false, ZMaximizer::margin },
                           { "maximizer enabled", true, std::pow (10.0f, 5.7f / 20.0f) * ZMaximizer::margin } };

    // Two blocks in, once the gain has settled.
    const size_t at = 2 * block + 200;
    std::vector<float> impulse (5 * block, 0.0f);
    impulse[at] = 0.001f;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto maximizer = makeMaximizer (-0.3f, -6.0f, c.enabled);
        ASSERT_EQ (maximizer->getLatency(), block);
        const auto y = runThrough (*maximizer, impulse);

        for (size_t i = 0; i < y.size(); ++i)
            if (i == at + block)
                EXPECT_NEAR (y[i], 0.001f * c.expectedGain, 1.0e-9f);
            else
                ASSERT_EQ (y[i], 0.0f) << i;
    }

    auto softClip = ZSoftClip::create (block);
    softClip->setThresholdDb (-0.1f);
    ASSERT_EQ (softClip->getLatency(), block);
    const auto y = runThrough (*softClip, impulse);

    for (size_t i = 0; i < y.size(); ++i)
        ASSERT_EQ (y[i], i == at + block ? 0.001f : 0.0f) << i;
}

TEST (GainRiderTest, NeverExceedCeilingOnLoudInput)
{
    for (uint32_t seed : { 1u, 2u, 3u })
    {
        SCOPED_TRACE (seed);
        const auto x = loudProgramme (200, seed);

        // Maximizer: ceiling -0.3 dB, 20 dB of make-up below a -20 dB threshold.
        auto maximizer = makeMaximizer (-0.3f, -20.0f, true);
        const auto ceiling = std::pow (10.0f, -0.3f / 20.0f);
        const auto boost = maximizer->getMakeupGain() * ZMaximizer::margin;
        auto y = runThrough (*maximizer, x);

        for (size_t i = block; i < y.size(); ++i)
        {
            ASSERT_LE (std::abs (y[i]), ceiling) << i;
            ASSERT_LE (std::abs (y[i]), boost * std::abs (x[i - block]) * (1.0f + 1.0e-6f)) << i;
        }

        // Soft clip at -0.1 dB: nothing above the threshold, nothing raised.
        auto softClip = ZSoftClip::create (block);
        softClip->setThresholdDb (-0.1f);
        y = runThrough (*softClip, x);

        for (size_t i = block; i < y.size(); ++i)
        {
            ASSERT_LE (std::abs (y[i]), softClip->getThreshold()) << i;
            ASSERT_LE (std::abs (y[i]), std::abs (x[i - block]) * (1.0f + 1.0e-6f)) << i;
        }
    }
}

TEST (GainRiderTest, RequiredGainsMatchTheirFigures)
{
    struct Case
    {
        const char* name;
        float peak;
        float expectedGain;
    };

    // Ceiling -0.3 dB, threshold -20 dB: make-up 9.6605 times the margin below the threshold, the
    // ceiling over the peak above it.
    const Case maximizerCases[] = { { "quiet", 0.05f, 9.6594f }, { "loud", 0.5f, 1.9319f } };

    for (const auto& c : maximizerCases)
    {
        SCOPED_TRACE (c.name);
        auto maximizer = makeMaximizer (-0.3f, -20.0f, true);
        EXPECT_NEAR (maximizer->getMakeupGain(), 9.6605f, 1.0e-3f);

        // A steady block pattern settles at the required gain throughout.
        std::vector<float> x (8 * block);

        for (size_t i = 0; i < x.size(); ++i)
            x[i] = c.peak * (i % 2 == 0 ? 1.0f : -0.5f);

        const auto y = runThrough (*maximizer, x);
        EXPECT_NEAR (maximizer->getNextGain(), c.expectedGain, 1.0e-3f);
        EXPECT_NEAR (y.back() / x.back(), c.expectedGain, 1.0e-3f);
    }

    // A block peaking at 2 needs 0.98855 * 0.9999 / 2; the block before it ramps down to that gain.
    auto softClip = ZSoftClip::create (block);
    softClip->setThresholdDb (-0.1f);
    EXPECT_NEAR (softClip->getThreshold(), 0.98855f, 1.0e-5f);

    ZBuffer quiet (block, "quiet"), loud (block, "loud");
    std::fill_n (quiet.getData(), block, 0.5f);
    std::fill_n (loud.getData(), block, 2.0f);
    softClip->process (&quiet, &quiet);
    softClip->process (&loud, &loud);

    const auto expected = softClip->getThreshold() * 0.9999f / 2.0f;
    EXPECT_FLOAT_EQ (softClip->getNextGain(), expected);
    EXPECT_FLOAT_EQ (loud.getData()[0], 0.5f);
    EXPECT_FLOAT_EQ (loud.getData()[block - 1], 0.5f * expected);

    // The loud block itself leaves at the required gain, under the threshold.
    softClip->process (&quiet, &quiet);
    EXPECT_LE (quiet.getPeak(), softClip->getThreshold());
    EXPECT_FLOAT_EQ (quiet.getData()[0], 2.0f * expected);
}

TEST (GainRiderTest, ResetSilencesButKeepsWhatItShould)
{
    ZBuffer loud (block, "loud");
    std::fill_n (loud.getData(), block, 2.0f);

    // The maximizer forgets its gains: the first block after reset is silence, ramped from 1.
    auto maximizer = makeMaximizer (-0.3f, -20.0f, true);
    maximizer->process (&loud, &loud);
    maximizer->reset();
    EXPECT_EQ (maximizer->getCurrentGain(), 1.0f);
    EXPECT_EQ (maximizer->getNextGain(), 1.0f);
    std::fill_n (loud.getData(), block, 2.0f);
    maximizer->process (&loud, &loud);
    EXPECT_EQ (loud.getPeak(), 0.0f);

    // The soft clip keeps its gains through reset and a new block size.
    auto softClip = ZSoftClip::create (block);
    std::fill_n (loud.getData(), block, 2.0f);
    softClip->process (&loud, &loud);
    const auto gain = softClip->getNextGain();
    ASSERT_LT (gain, 1.0f);
    softClip->reset();
    EXPECT_EQ (softClip->getNextGain(), gain);
    EXPECT_TRUE (softClip->setBlockSize (256));
    EXPECT_EQ (softClip->getNextGain(), gain);
    EXPECT_EQ (softClip->getLatency(), 256);

    // Buffers shorter than a block are refused rather than overrun.
    ZBuffer small (100, "small");
    std::fill_n (small.getData(), 100, 0.25f);
    softClip->process (&small, &small);
    maximizer->process (&small, &small);
    EXPECT_EQ (small.getData()[99], 0.25f);
}
