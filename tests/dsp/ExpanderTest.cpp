#include "ZExpander.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace vesk;

namespace
{
constexpr int block = 512;

/** The processor's set-up: release 30 ms, max gain 0 dB, then the rate and a reset. */
std::unique_ptr<ZExpander> makeExpander (float maxGainDb = 0.0f)
{
    auto expander = std::make_unique<ZExpander>();
    expander->setMaxGainDb (maxGainDb);
    expander->setReleaseMs (30.0f);
    expander->setSampleRate (44100.0f);
    expander->reset();
    expander->enabled = true;
    return expander;
}

/** Runs a constant input for a number of blocks; returns the last output sample's gain in dB. */
double settledGainDb (ZExpander& expander, float level, int blocks = 40)
{
    ZBuffer in (block, "in"), out (block, "out");
    std::fill_n (in.getData(), block, level);

    for (int b = 0; b < blocks; ++b)
        expander.process (&in, &out);

    return 20.0 * std::log10 ((double) out.getData()[block - 1] / level);
}
} // namespace

TEST (ExpanderTest, SteadyStateGainFollowsTheKnee)
{
    struct Case
    {
        const char* name;
        bool thresholdInDb;
        float threshold, maxGainDb, input, ratioBelow;
        double expectedDb;
    };

    // The knee is the dB threshold on the power envelope; the linear threshold only chooses the ratio.
    const Case cases[] = {
        { "0.1 below 0.15", false, 0.15f, 0.0f, 0.1f, 4.0f, 3.0 * (-20.0 + 16.478) },
        { "same knee in dB", true, -16.478f, 0.0f, 0.1f, 4.0f, 3.0 * (-20.0 + 16.478) },
        { "ratio 2", false, 0.15f, 0.0f, 0.1f, 2.0f, -20.0 + 16.478 },
        { "envelope above the linear threshold", false, 0.15f, 0.0f, 0.5f, 4.0f, 0.0 },
        { "between the thresholds, limited", false, 0.15f, 3.0f, 0.2f, 4.0f, 3.0 },
        { "ratio 1 is neutral", false, 0.15f, 0.0f, 0.01f, 1.0f, 0.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto expander = makeExpander (c.maxGainDb);

        if (c.thresholdInDb)
            expander->setThresholdDb (c.threshold);
        else
            expander->setThreshold (c.threshold);

        expander->setRatioBelow (c.ratioBelow);
        expander->setRatioAbove (1.0f);
        EXPECT_NEAR (settledGainDb (*expander, c.input), c.expectedDb, 0.01);
    }
}

TEST (ExpanderTest, EnvelopeCoversSixtyThreePercentInItsTime)
{
    struct Case
    {
        float ms, expectedCoefficient;
    };

    const Case cases[] = { { 5.0f, 0.0045f }, { 30.0f, 0.00075f }, { 50.0f, 0.00045f } };

    for (const auto& c : cases)
        EXPECT_NEAR (ZExpander::coefficient (c.ms, 44100.0f), c.expectedCoefficient, 0.02f * c.expectedCoefficient);

    // Below the knee the cut is 3 dB per dB of envelope, so the output reveals the envelope. A step
    // from silence reaches 63 % of its power after the attack time.
    auto expander = makeExpander();
    expander->setThresholdDb (0.0f);
    expander->setThreshold (1.0f);
    expander->setRatioBelow (4.0f);
    expander->setAttackMs (5.0f);

    const auto attackSamples = (int) std::lround (0.005 * 44100.0);
    ZBuffer in (attackSamples, "in"), out (attackSamples, "out");
    std::fill_n (in.getData(), attackSamples, 0.5f);
    expander->process (&in, &out);

    const auto gainDb = 20.0 * std::log10 ((double) out.getData()[attackSamples - 1] / 0.5);
    const auto envelope = std::pow (10.0, gainDb / 3.0 / 10.0);
    EXPECT_NEAR (envelope / 0.25, 0.63, 0.01);
}

TEST (ExpanderTest, NeverProducesNaN)
{
    struct Case
    {
        const char* name;
        bool resetFirst;
        float threshold;
        int silentBlocks;
    };

    // Before reset the envelope is 0; a threshold of 0 (or just below, from 1 - x) has no logarithm;
    // a long silence lets the envelope decay to 0.
    const Case cases[] = {
        { "before reset", false, 0.15f, 0 },
        { "threshold 0", true, 0.0f, 0 },
        { "threshold just below 0", true, -1.0e-7f, 0 },
        { "after ten seconds of silence", true, 0.15f, 900 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ZExpander expander;
        expander.setMaxGainDb (3.0f);
        expander.setSampleRate (44100.0f);

        if (c.resetFirst)
            expander.reset();

        expander.setThreshold (c.threshold);
        expander.setRatioBelow (4.0f);
        expander.enabled = true;

        ZBuffer in (block, "in"), out (block, "out");

        // As on an audio thread that flushes denormals, so that the decaying envelope reaches 0.
        juce::ScopedNoDenormals noDenormals;

        for (int b = 0; b < c.silentBlocks; ++b)
        {
            expander.process (&in, &out);
            ASSERT_EQ (out.getPeak(), 0.0f);
        }

        for (int b = 0; b < 4; ++b)
        {
            for (int i = 0; i < block; ++i)
                in.getData()[i] = (i + b) % 7 == 0 ? 0.0f : 0.3f * std::sin (0.05f * (float) (i + b * block));

            expander.process (&in, &out);

            for (int i = 0; i < block; ++i)
                ASSERT_TRUE (std::isfinite (out.getData()[i])) << b << ":" << i;
        }

        // A threshold at its lower end neither cuts nor boosts.
        if (c.threshold <= 0.0f)
        {
            EXPECT_NEAR (out.getData()[block - 1], in.getData()[block - 1], 1.0e-5f);
        }
    }

    // Threshold setters keep a finite knee; a NaN or huge sample does not poison the envelope.
    ZExpander expander;
    expander.setThresholdDb (-std::numeric_limits<float>::infinity());
    EXPECT_TRUE (std::isfinite (expander.getThresholdDb()));
    expander.setThreshold (0.0f);
    EXPECT_TRUE (std::isfinite (expander.getThresholdDb()));

    auto loud = makeExpander();
    loud->setThreshold (0.15f);
    loud->setRatioBelow (4.0f);
    ZBuffer in (4, "in"), out (4, "out");
    const float samples[] = { std::numeric_limits<float>::quiet_NaN(), 1.0e30f, 0.1f, 0.1f };
    std::copy (samples, samples + 4, in.getData());
    loud->process (&in, &out);
    EXPECT_TRUE (std::isfinite (out.getData()[2]) && std::isfinite (out.getData()[3]));
}

TEST (ExpanderTest, DisabledCopiesItsInput)
{
    ZExpander expander;
    expander.setThreshold (0.9f);
    expander.setRatioBelow (4.0f);
    expander.reset();
    ASSERT_FALSE (expander.enabled);

    ZBuffer in (block, "in"), out (block, "out");

    for (int i = 0; i < block; ++i)
        in.getData()[i] = 0.01f * (float) (i % 13) - 0.06f;

    expander.process (&in, &out);

    for (int i = 0; i < block; ++i)
        ASSERT_EQ (out.getData()[i], in.getData()[i]);

    EXPECT_EQ (expander.getLatency(), 0);
    EXPECT_STREQ (expander.getName(), "ZExpander");
}
