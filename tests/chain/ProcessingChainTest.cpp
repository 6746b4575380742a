// The processing chain on its own, linked without any GUI module or framework processor: what it tells the
// processor presenting it, what it announces when it stands alone, and the channels it processes.

#include "ProcessingChain.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace
{
/** What a presenting processor hears of the chain, in order. */
struct RecordingHost : ProcessingChain::Host
{
    struct Config
    {
        int inputs, outputs;
        double rate;
        int block;
    };

    void playConfigChanged (int inputs, int outputs, double rate, int block) override
    {
        configs.push_back ({ inputs, outputs, rate, block });
    }

    void latencyChanged (int samples) override { latencies.push_back (samples); }
    void restateParameter (int index, float value) override { restated.emplace_back (index, value); }

    std::vector<Config> configs;
    std::vector<int> latencies;
    std::vector<std::pair<int, float>> restated;
};

struct ChangeCounter : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

/** White noise at about -20 dBFS, the same for every seed. */
juce::AudioBuffer<float> noise (int channels, int length, unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> sample (-0.17f, 0.17f);
    juce::AudioBuffer<float> buffer (channels, length);

    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
            buffer.setSample (c, i, sample (random));

    return buffer;
}

class ProcessingChainTest : public ::testing::Test
{
protected:
    juce::ScopedJuceInitialiser_GUI messages;
};
} // namespace

TEST_F (ProcessingChainTest, TellsItsHostTheConfigurationTheLatencyAndTheValuesANewModeBrings)
{
    juce::ChangeBroadcaster announcer;
    RecordingHost host;
    ProcessingChain chain (announcer, &host);

    // The host reads the construction's configuration itself.
    EXPECT_TRUE (host.configs.empty());
    EXPECT_TRUE (host.latencies.empty());
    EXPECT_EQ (chain.getLatencySamples(), chain.getLatencyFor (44100.0, 4096)) << "chain sum plus 4096";
    EXPECT_EQ (chain.getNumInputChannels(), 2);
    EXPECT_EQ (chain.getBlockSize(), 4096);

    chain.prepare (48000.0, 256);
    ASSERT_EQ (host.latencies.size(), 1u);
    EXPECT_EQ (host.latencies[0], chain.getLatencySamples());
    EXPECT_EQ (chain.getLatencySamples(), chain.getLatencyFor (48000.0, 256));

    chain.setPlayConfig (1, 2, 48000.0, 256);
    ASSERT_EQ (host.configs.size(), 1u);
    EXPECT_EQ (host.configs[0].inputs, 1);
    EXPECT_EQ (host.configs[0].outputs, 2);
    EXPECT_EQ (host.configs[0].rate, 48000.0);
    EXPECT_EQ (host.configs[0].block, 256);
    EXPECT_EQ (chain.getNumInputChannels(), 1);
    EXPECT_EQ (chain.getSampleRate(), 48000.0);

    chain.setParameter (ProcessingChain::noiseReductionMode, 0.5f);
    chain.actionListenerCallback ("Mode");
    const std::vector<std::pair<int, float>> expected {
        { ProcessingChain::tunerBroadbandNR, chain.getParameter (ProcessingChain::tunerBroadbandNR) },
        { ProcessingChain::amountBroadbandNR, chain.getParameter (ProcessingChain::amountBroadbandNR) },
        { ProcessingChain::noiseReductionMode, chain.getParameter (ProcessingChain::noiseReductionMode) },
    };
    EXPECT_EQ (host.restated, expected) << "written back through the host, not by the chain";
}

TEST_F (ProcessingChainTest, AloneItAnnouncesEveryAnnouncingParameterOnItsOwnBroadcaster)
{
    ProcessingChain chain;
    ChangeCounter counter;
    chain.getAnnouncer().addChangeListener (&counter);
    chain.getAnnouncer().dispatchPendingMessages();
    counter.count = 0;

    for (int index = 0; index < ProcessingChain::numParameters; ++index)
    {
        SCOPED_TRACE (ProcessorParameter::table[index].name);
        chain.setParameter (index, chain.getParameterDefaultValue (index));
        chain.getAnnouncer().dispatchPendingMessages();
        EXPECT_EQ (counter.count, ProcessorParameter::table[index].announces ? 1 : 0);
        counter.count = 0;
    }

    // A new mode's values are written back by the chain itself: they stay what they were.
    const auto tuner = chain.getParameter (ProcessingChain::tunerBroadbandNR);
    chain.actionListenerCallback ("Mode");
    chain.getAnnouncer().dispatchPendingMessages();
    EXPECT_GE (counter.count, 1);
    EXPECT_EQ (chain.getParameter (ProcessingChain::tunerBroadbandNR), tuner);

    chain.getAnnouncer().removeChangeListener (&counter);
}

TEST_F (ProcessingChainTest, ProcessesThePlayConfigurationsChannelsAndClearsTheOthers)
{
    struct Case
    {
        int inputs, outputs;
    };

    constexpr int block = 512, blocks = 40;

    for (const auto c : { Case { 1, 2 }, Case { 2, 2 }, Case { 2, 1 }, Case { 1, 1 }, Case { 0, 2 } })
    {
        SCOPED_TRACE (juce::String (c.inputs) + " in, " + juce::String (c.outputs) + " out");
        ProcessingChain configured, explicitCounts;

        for (auto* chain : { &configured, &explicitCounts })
        {
            chain->setParameter (ProcessingChain::enhance, 0.5f);
            chain->setParameter (ProcessingChain::declipper, 1.0f);
            chain->prepare (44100.0, block);
        }

        configured.setPlayConfig (c.inputs, c.outputs, 44100.0, block);
        std::vector<float> peaks (2, 0.0f);

        for (int k = 0; k < blocks; ++k)
        {
            auto a = noise (2, block, (unsigned) k);
            auto b = a;
            configured.process (a, block);
            explicitCounts.process (b, block, c.inputs, c.outputs);

            for (int ch = 0; ch < 2; ++ch)
            {
                for (int i = 0; i < block; ++i)
                    ASSERT_EQ (a.getSample (ch, i), b.getSample (ch, i)) << "block " << k << " channel " << ch;

                peaks[(size_t) ch] = std::max (peaks[(size_t) ch], a.getMagnitude (ch, 0, block));
            }
        }

        // Past the latency the processed channels carry sound; the cleared ones are silent throughout, and
        // channels beyond both counts keep their input.
        ASSERT_LT (configured.getLatencySamples(), block * blocks);

        for (int ch = 0; ch < 2; ++ch)
        {
            if (ch < c.inputs)
                EXPECT_GT (peaks[(size_t) ch], 0.01f) << "channel " << ch << " processed";
            else if (ch < c.outputs)
                EXPECT_EQ (peaks[(size_t) ch], 0.0f) << "channel " << ch << " cleared";
            else
                EXPECT_GT (peaks[(size_t) ch], 0.1f) << "channel " << ch << " left as it came";
        }
    }
}
