#include "ProcessorTestSupport.h"
#include "ProgrammeSignals.h"

#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZEnhancementBay.h"
#include "ZExpander.h"
#include "ZMaximizer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace
{
using namespace processor_test;

class EngineTest : public ::testing::Test
{
protected:
    juce::ScopedJuceInitialiser_GUI juce;
};

/** Every stage a pure delay: the defaults, and the click and crackle bay on its dry path (at amount 0 it
    still repairs what it takes for clicks, an impulse first of all).
*/
void makeNeutral (TavAudioProcessor& p)
{
    p.getClickAndCrackleBay().getEnabledValue() = 0;
}

int chainSumOf (TavAudioProcessor& p)
{
    return (int) p.getDeclipper().getLatency() + p.getNoiseReductionBay().getLatency()
           + p.getEnhancementBay().getLatency() + p.getClickAndCrackleBay().getLatency() + p.getMaximizer().getLatency()
           + p.getExpander().getLatency();
}

TEST_F (EngineTest, ReportsTheChainLatencyPlusTheOutputPrefill)
{
    TavAudioProcessor p;
    EXPECT_EQ (chainSumOf (p), 8401);
    EXPECT_EQ (p.getLatencySamples(), 8401 + 4096);

    struct Case
    {
        double rate;
        int block;
    };

    for (auto c : { Case { 44100.0, 256 }, Case { 44100.0, 512 }, Case { 44100.0, 4096 }, Case { 48000.0, 1000 },
                    Case { 96000.0, 100 }, Case { 22050.0, 2048 } })
    {
        const auto predicted = p.getLatencyFor (c.rate, c.block);
        prepare (p, c.rate, c.block);
        EXPECT_EQ (p.getLatencySamples(), chainSumOf (p) + std::max (c.block, 512)) << c.rate << " " << c.block;
        EXPECT_EQ (p.getLatencySamples(), predicted) << c.rate << " " << c.block;
    }

    prepare (p, 44100.0, 256);
    EXPECT_EQ (p.getLatencySamples(), 8913);
}

// Every stage neutral: the chain is a pure delay of exactly the reported latency.
TEST_F (EngineTest, ImpulseLeavesExactlyAtTheReportedLatency)
{
    for (double rate : { 44100.0, 48000.0 })
        for (int block : { 100, 256, 512, 1000, 4096 })
        {
            TavAudioProcessor p;
            makeNeutral (p);
            prepare (p, rate, block);
            const auto latency = p.getLatencySamples();
            const int at[2] = { 3001, 3377 };
            const auto length = at[1] + latency + 2 * block + 1024;

            Signal in (2, std::vector<float> ((size_t) length));
            in[0][(size_t) at[0]] = 0.5f;
            in[1][(size_t) at[1]] = -0.25f;

            auto out = run (p, in, block);

            for (int c = 0; c < 2; ++c)
            {
                const auto& y = out[(size_t) c];
                const auto peakAt =
                    std::max_element (y.begin(), y.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); })
                    - y.begin();
                const auto expected = in[(size_t) c][(size_t) at[c]] * vesk::ZMaximizer::margin;

                EXPECT_EQ (peakAt, at[c] + latency) << "rate " << rate << " block " << block << " channel " << c;
                EXPECT_NEAR (y[(size_t) peakAt], expected, 1e-4f) << "rate " << rate << " block " << block;

                float residual = 0.0f;
                for (size_t i = 0; i < y.size(); ++i)
                    if ((long) i != peakAt)
                        residual = std::max (residual, std::abs (y[i]));

                EXPECT_LT (juce::Decibels::gainToDecibels (residual / std::abs (expected)), -80.0f)
                    << "rate " << rate << " block " << block << " channel " << c;
            }
        }
}

TEST_F (EngineTest, OutputDoesNotDependOnTheHostBlockSizes)
{
    auto configure = [] (TavAudioProcessor& p)
    {
        prepare (p, 44100.0, 512);
        p.setParameter (TavAudioProcessor::clickCrackleDetection, 0.6f);
        p.setParameter (TavAudioProcessor::enhance, 0.5f);
        p.setParameter (TavAudioProcessor::noiseReductionMode, 0.5f);
        p.setParameter (TavAudioProcessor::humRemoval, 0.5f);
        p.setParameter (TavAudioProcessor::declipper, 1.0f);
        p.setParameter (TavAudioProcessor::boostVolume, 0.3f);
        p.setParameter (TavAudioProcessor::dexpAmount, 0.5f);
    };

    const auto in = programme (2, 44100, 44100.0, 11);

    TavAudioProcessor fixed;
    configure (fixed);
    const auto reference = run (fixed, in, 512);

    TavAudioProcessor varied;
    configure (varied);
    std::mt19937 rng (5);
    // Sizes well past the queues' prefill too: such calls are taken in chunks.
    std::uniform_int_distribution<int> size (1, 3000);
    const auto out = run (varied, in, [&] { return size (rng); });

    ASSERT_GT (juce::FloatVectorOperations::findMaximum (reference[0].data(), (int) reference[0].size()), 0.01f);
    EXPECT_EQ (out, reference);
}

TEST_F (EngineTest, FirstCallIsSilentAndCallsOfAnySizeReturnTheirLength)
{
    TavAudioProcessor p;
    prepare (p, 44100.0, 100);
    juce::MidiBuffer midi;

    for (int call = 1; call <= 12; ++call)
    {
        juce::AudioBuffer<float> buffer (2, 100);
        for (int c = 0; c < 2; ++c)
            juce::FloatVectorOperations::fill (buffer.getWritePointer (c), 0.4f, 100);

        p.processBlock (buffer, midi);

        // 512 samples of silence lead the output, so the first five calls are silent.
        if (call <= 5)
        {
            EXPECT_EQ (buffer.getMagnitude (0, 100), 0.0f) << call;
        }
    }

    // A call longer than the buffer's content: the size override, then the buffer's own length again.
    juce::AudioBuffer<float> buffer (2, 512);
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (c), 0.7f, 512);

    p.processBlockWithSize (buffer, midi, 300);
    for (int c = 0; c < 2; ++c)
        for (int i = 300; i < 512; ++i)
            ASSERT_EQ (buffer.getSample (c, i), 0.7f) << "sample " << i << " was touched";

    p.reset();
    buffer.clear();
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (c), 0.7f, 512);
    p.processBlock (buffer, midi);
    EXPECT_EQ (buffer.getMagnitude (0, 512), 0.0f) << "a reset primes the output with silence again";
}

TEST_F (EngineTest, BypassGivesTheInputDelayedByTheLatencyAndSwitchesInStep)
{
    TavAudioProcessor p;
    makeNeutral (p);
    prepare (p, 44100.0, 256);
    const auto latency = p.getLatencySamples();
    const auto length = 100 * 256;

    Signal in (2, std::vector<float> ((size_t) length));
    std::mt19937 rng (3);
    std::uniform_real_distribution<float> value (-0.5f, 0.5f);
    for (auto& channel : in)
        for (auto& x : channel)
            x = value (rng);

    // Bypass from the 40th call to the 70th. It takes effect on the chain blocks run meanwhile, whose
    // output leaves one prefill later: output samples 40 * 256 + 1024 to 70 * 256 are certainly dry.
    const int dryFrom = 40 * 256 + 1024, dryTo = 70 * 256;

    // Beyond full scale only where the output is dry, which is exact: they must leave clamped.
    in[0][(size_t) (dryFrom + 500 - latency)] = 1.5f;
    in[1][(size_t) (dryFrom + 600 - latency)] = -2.0f;

    int call = 0;
    const auto out =
        run (p, in,
             [&]
             {
                 p.setParameter (TavAudioProcessor::bypassParameter, call >= 40 && call < 70 ? 1.0f : 0.0f);
                 ++call;
                 return 256;
             });

    int firstDry[2] = { length, length }, lastDry[2] = { -1, -1 }, dryCount[2] = { 0, 0 };

    // Whatever the switches, every output sample is the input from exactly the latency before, processed
    // (neutral chain: scaled by the maximizer's margin) or dry (exact), clamped to [-1, 1].
    for (int c = 0; c < 2; ++c)
        for (int i = latency; i < length; ++i)
        {
            const auto dry = std::clamp (in[(size_t) c][(size_t) (i - latency)], -1.0f, 1.0f);
            const auto y = out[(size_t) c][(size_t) i];
            const bool isDry = y == dry;
            ASSERT_TRUE (isDry || std::abs (y - dry * vesk::ZMaximizer::margin) < 1e-4f)
                << "channel " << c << " sample " << i << ": " << y << " for " << dry;
            if (isDry)
            {
                firstDry[c] = std::min (firstDry[c], i);
                lastDry[c] = std::max (lastDry[c], i);
                ++dryCount[c];
            }
        }

    // One stretch of dry output, in whole chain blocks, where the switches put it.
    for (int c = 0; c < 2; ++c)
    {
        EXPECT_EQ (dryCount[c], lastDry[c] - firstDry[c] + 1) << "channel " << c;
        EXPECT_EQ (dryCount[c] % 512, 0) << "channel " << c;
        EXPECT_LE (firstDry[c], dryFrom);
        EXPECT_GE (firstDry[c], 40 * 256);
        EXPECT_GE (lastDry[c], dryTo - 1);
        EXPECT_LT (lastDry[c], 70 * 256 + 1024);
    }

    EXPECT_EQ (out[0][(size_t) (dryFrom + 500)], 1.0f);
    EXPECT_EQ (out[1][(size_t) (dryFrom + 600)], -1.0f);
}

TEST_F (EngineTest, PreparingAgainLeavesNothingOfThePreviousRendering)
{
    for (bool bypassed : { false, true })
    {
        TavAudioProcessor p;
        prepare (p, 44100.0, 512);
        p.setParameter (TavAudioProcessor::bypassParameter, bypassed ? 1.0f : 0.0f);
        run (p, programme (2, 20000, 44100.0, 4, 0.8f), 512);

        prepare (p, 44100.0, 512);
        const auto out = run (p, Signal (2, std::vector<float> ((size_t) p.getLatencySamples() + 4096)), 512);

        for (const auto& channel : out)
            EXPECT_EQ (juce::FloatVectorOperations::findMaximum (channel.data(), (int) channel.size()), 0.0f)
                << (bypassed ? "bypassed" : "processed");
    }
}

TEST_F (EngineTest, OutputIsAlwaysFiniteAndWithinFullScale)
{
    TavAudioProcessor p;
    prepare (p, 44100.0, 512);
    // Every stage with state that a bad sample could spoil: filters, gates, envelopes, gain riders.
    for (auto index : { TavAudioProcessor::noiseReductionMode, TavAudioProcessor::humRemoval })
        p.setParameter (index, 0.5f);
    for (auto index : { TavAudioProcessor::preserveVoice, TavAudioProcessor::removeRumble, TavAudioProcessor::declipper,
                        TavAudioProcessor::boostVolume, TavAudioProcessor::enhance, TavAudioProcessor::dexpAmount,
                        TavAudioProcessor::clickCrackleDetection })
        p.setParameter (index, 1.0f);

    auto in = programme (2, 30000, 44100.0, 9, 0.9f);
    const float bad[] = { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 40.0f, -1e30f };
    for (int i = 0; i < 500; ++i)
        in[(size_t) (i % 2)][(size_t) (5000 + 7 * i)] = bad[i % 5];

    const auto out = run (p, in, 512);

    for (const auto& channel : out)
        for (auto y : channel)
            ASSERT_TRUE (std::isfinite (y) && y >= -1.0f && y <= 1.0f) << y;

    // The chain recovers: what follows the bad stretch is sound again.
    const auto& tail = out[0];
    EXPECT_GT (juce::FloatVectorOperations::findMaximum (tail.data() + 25000, 5000), 0.05f);
}

TEST_F (EngineTest, OneBadSampleLeavesTheRestOfTheProgrammeAsItWouldBe)
{
    // Every stage on, noise reduction with a learned profile, on drums and plucked chords: one NaN or
    // infinite sample may spoil the blocks that hold it, but nothing after them.
    auto makeProcessor = []
    {
        auto p = std::make_unique<TavAudioProcessor>();
        learnProfiles (*p, 21, 44100);
        prepare (*p, 44100.0, 512);
        p->setParameter (TavAudioProcessor::noiseReductionMode, 0.5f);
        p->setParameter (TavAudioProcessor::humRemoval, 0.0f);
        p->setParameter (TavAudioProcessor::boostVolume, 0.25f);
        p->setParameter (TavAudioProcessor::enhance, 0.5f);
        p->setParameter (TavAudioProcessor::clickCrackleDetection, 0.5f);
        for (auto index : { TavAudioProcessor::preserveVoice, TavAudioProcessor::removeRumble,
                            TavAudioProcessor::declipper, TavAudioProcessor::dexpAmount })
            p->setParameter (index, 1.0f);
        return p;
    };

    constexpr int badIndex = 50000;
    using tavlin::test::programme::music;
    const Signal material = { music (4.0, 44100.0, 5), music (4.0, 44100.0, 6) };
    auto clean = makeProcessor();
    const auto reference = run (*clean, material, 512);
    const auto from = (size_t) (badIndex + clean->getLatencySamples() + 4096 + 44100 / 4);

    for (auto bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        auto input = material;
        input[1][badIndex] = bad;
        auto p = makeProcessor();
        const auto out = run (*p, input, 512);

        for (size_t c = 0; c < 2; ++c)
        {
            EXPECT_GT (juce::FloatVectorOperations::findMaximum (reference[c].data() + from, 44100), 0.1f);
            EXPECT_GT (tavlin::test::programme::snrDb (reference[c], out[c], 0, from, out[c].size()), 60.0)
                << bad << ", channel " << c;
        }
    }
}

TEST_F (EngineTest, ChannelsBeyondTheQueuesAndTheBufferAreLeftAloneOrCleared)
{
    TavAudioProcessor p;
    juce::MidiBuffer midi;

    // One input channel: the second output channel is cleared over the whole buffer.
    prepare (p, 44100.0, 512, 1);
    p.setPlayConfigDetails (1, 2, 44100.0, 512);
    juce::AudioBuffer<float> stereo (2, 512);
    stereo.clear();
    juce::FloatVectorOperations::fill (stereo.getWritePointer (1), 0.3f, 512);
    p.processBlock (stereo, midi);
    EXPECT_EQ (stereo.getMagnitude (1, 0, 512), 0.0f);

    // More channels configured than the buffer holds, or than the two queues: only what exists is used.
    prepare (p, 44100.0, 512, 2);
    juce::AudioBuffer<float> mono (1, 512);
    mono.clear();
    p.processBlock (mono, midi);

    p.setPlayConfigDetails (4, 4, 44100.0, 512);
    juce::AudioBuffer<float> wide (4, 512);
    wide.clear();
    juce::FloatVectorOperations::fill (wide.getWritePointer (3), 0.3f, 512);
    p.processBlock (wide, midi);
    EXPECT_EQ (wide.getMagnitude (3, 0, 512), 0.0f);
}

TEST_F (EngineTest, MeterHoldsTheLargestOutputSampleUntilTheMeterTakesIt)
{
    TavAudioProcessor p;
    prepare (p, 44100.0, 512);
    p.setParameter (TavAudioProcessor::bypassParameter, 1.0f);
    const auto latency = p.getLatencySamples();

    Signal in (2, std::vector<float> ((size_t) (latency + 4096)));
    in[0][100] = 0.6f;
    in[1][200] = -0.8f;
    in[0][300] = 0.2f;
    const auto out = run (p, in, 512);

    auto& meter = p.getOutputMeter();
    EXPECT_EQ (meter.channelCount, 2);
    EXPECT_FLOAT_EQ (meter.level[0].load(), 0.6f);
    EXPECT_FLOAT_EQ (meter.level[1].load(), 0.8f);

    meter.level[0] = 0.0f;
    run (p, Signal (2, std::vector<float> (1024)), 512);
    EXPECT_EQ (meter.level[0].load(), 0.0f);
}

class CountingColumnSink : public SpectrumColumnSink
{
public:
    void pushSpectrumColumn() override
    {
        ++columns;

        if (holdFirst.exchange (false))
        {
            entered = true;
            while (!released)
                std::this_thread::yield();
            finished = true;
        }
    }

    std::atomic<int> columns { 0 };
    std::atomic<bool> holdFirst { false }, entered { false }, released { false }, finished { false };
};

TEST_F (EngineTest, ColumnStepRunsOncePerChainBlock)
{
    TavAudioProcessor p;
    prepare (p, 44100.0, 100);
    CountingColumnSink sink;
    p.setWashWindow (&sink);

    juce::MidiBuffer midi;
    juce::AudioBuffer<float> buffer (2, 100);

    for (int call = 1; call <= 21; ++call)
    {
        buffer.clear();
        p.processBlock (buffer, midi);
        EXPECT_EQ (sink.columns.load(), 100 * call / 512) << call;
    }

    p.setWashWindow (nullptr);
    p.processBlock (buffer, midi);
    EXPECT_EQ (sink.columns.load(), 4);
}

TEST_F (EngineTest, ClearingTheWashWindowWaitsForARunningColumnStep)
{
    TavAudioProcessor p;
    prepare (p, 44100.0, 512);
    CountingColumnSink sink;
    sink.holdFirst = true;
    p.setWashWindow (&sink);

    std::thread audio (
        [&p]
        {
            juce::MidiBuffer midi;
            juce::AudioBuffer<float> buffer (2, 512);
            buffer.clear();
            p.processBlock (buffer, midi);
        });

    while (!sink.entered)
        std::this_thread::yield();

    std::atomic<bool> sawFinished { false };
    std::thread clearing (
        [&]
        {
            p.setWashWindow (nullptr);
            sawFinished = sink.finished.load();
        });

    // Give a broken handshake every chance to return early.
    std::this_thread::sleep_for (std::chrono::milliseconds (50));
    sink.released = true;
    clearing.join();
    audio.join();

    EXPECT_TRUE (sawFinished);
}

} // namespace
