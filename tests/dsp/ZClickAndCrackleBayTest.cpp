#include "ZClickAndCrackleBay.h"
#include "ZBuffer.h"
#include "ZClickProcessor.h"
#include "ZCrackleProcessor.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace vesk;

namespace
{

const double twoPi = 2.0 * std::acos (-1.0);

using Signal = std::vector<float>;

Signal sine (int length, double frequency, double amplitude, float rate = 44100.0f)
{
    Signal x ((size_t) length);
    for (int t = 0; t < length; ++t)
        x[(size_t) t] = (float) (amplitude * std::sin (twoPi * frequency * t / rate));
    return x;
}

/** Runs whole blocks of every channel through the bay; the input is zero-padded to whole blocks. */
class BayRunner
{
public:
    explicit BayRunner (ZClickAndCrackleBay& bayToRun)
        : bay (bayToRun), channels (bay.getNumChannels()), blockSize (bay.getBlockSize())
    {
        for (int c = 0; c < channels; ++c)
        {
            inputs.push_back (std::make_unique<ZBuffer> (blockSize, "in"));
            outputs.push_back (std::make_unique<ZBuffer> (blockSize, "out"));
            in[c] = inputs.back().get();
            out[c] = outputs.back().get();
        }
    }

    /** Processes block b of the signals and appends it to the outputs. */
    void runBlock (const std::vector<Signal>& x, int b)
    {
        results.resize ((size_t) channels);

        for (int c = 0; c < channels; ++c)
        {
            inputs[(size_t) c]->clear();
            const auto& source = x[(size_t) c];
            for (int i = 0; i < blockSize; ++i)
            {
                const auto t = (size_t) (b * blockSize + i);
                inputs[(size_t) c]->getData()[i] = t < source.size() ? source[t] : 0.0f;
            }
        }

        bay.process (in, out, blockSize);

        for (int c = 0; c < channels; ++c)
            results[(size_t) c].insert (results[(size_t) c].end(), out[c]->getData(), out[c]->getData() + blockSize);
    }

    void runAll (const std::vector<Signal>& x)
    {
        const auto blocks = (int) ((x[0].size() + (size_t) blockSize - 1) / (size_t) blockSize);
        for (int b = 0; b < blocks; ++b)
            runBlock (x, b);
    }

    ZClickAndCrackleBay& bay;
    int channels, blockSize;
    std::vector<std::unique_ptr<ZBuffer>> inputs, outputs;
    ZBuffer* in[ZClickAndCrackleBay::maxChannels] {};
    ZBuffer* out[ZClickAndCrackleBay::maxChannels] {};
    std::vector<Signal> results;
};

float maxDelayedError (const Signal& out, const Signal& expected, int delay, int from, int to)
{
    float worst = 0.0f;
    for (int t = from; t < to; ++t)
        worst = std::max (worst, std::abs (out[(size_t) (t + delay)] - expected[(size_t) t]));
    return worst;
}

float peakOf (const Signal& x, int from, int to)
{
    float peak = 0.0f;
    for (int t = from; t < to; ++t)
        peak = std::max (peak, std::abs (x[(size_t) t]));
    return peak;
}

std::unique_ptr<ZClickAndCrackleBay> preparedBay (int channels, float rate = 44100.0f, int blockSize = 512)
{
    auto bay = std::make_unique<ZClickAndCrackleBay> ("Declick", channels);
    bay->prepare();
    bay->setSampleRate (rate);
    bay->setBlockSize (blockSize);
    return bay;
}

} // namespace

TEST (ZClickAndCrackleBay, EveryStageDelaysByItsReportedLatency)
{
    enum Stage
    {
        click,
        crackle,
        bay
    };

    struct Case
    {
        Stage stage;
        int blockSize;
        float rate;
        int latency;
    };

    const Case cases[] = { { click, 512, 44100.0f, 3848 },   { click, 512, 96000.0f, 3848 },
                           { click, 512, 22050.0f, 3848 },   { click, 256, 44100.0f, 2312 },
                           { click, 1024, 48000.0f, 6920 },  { crackle, 512, 44100.0f, 291 },
                           { crackle, 512, 192000.0f, 291 }, { crackle, 64, 44100.0f, 291 },
                           { bay, 512, 44100.0f, 4139 },     { bay, 512, 96000.0f, 4139 },
                           { bay, 512, 192000.0f, 4139 },    { bay, 256, 44100.0f, 2603 } };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "stage " << (int) tc.stage << ", block " << tc.blockSize << ", rate "
                                         << tc.rate);

        // A counter of tiny steps: each output sample names the input sample it came from.
        const int length = (tc.latency / tc.blockSize + 20) * tc.blockSize;
        Signal x ((size_t) length), y;
        for (int t = 0; t < length; ++t)
            x[(size_t) t] = (float) (t + 1) * (1.0f / 1073741824.0f);

        int reported = 0;
        ZBuffer in (tc.blockSize, "in"), out (tc.blockSize, "out");
        auto runStage = [&] (auto& processor)
        {
            for (int start = 0; start < length; start += tc.blockSize)
            {
                std::copy_n (x.begin() + start, tc.blockSize, in.getData());
                processor.process (in, out, tc.blockSize);
                y.insert (y.end(), out.getData(), out.getData() + tc.blockSize);
            }
            reported = processor.getLatency();
        };

        if (tc.stage == click)
        {
            ZClickProcessor processor (tc.blockSize, tc.rate);
            processor.setThresholdDb (30.0f);
            runStage (processor);
        }
        else if (tc.stage == crackle)
        {
            ZCrackleProcessor processor (tc.blockSize, tc.rate);
            processor.setThresholdDb (30.0f);
            runStage (processor);
        }
        else
        {
            auto processor = preparedBay (1, tc.rate, tc.blockSize);
            BayRunner runner (*processor);
            runner.runAll ({ x });
            y = runner.results[0];
            reported = processor->getLatency();
        }

        EXPECT_EQ (reported, tc.latency);

        for (int t = 0; t < length; ++t)
            ASSERT_EQ (y[(size_t) t], t < tc.latency ? 0.0f : x[(size_t) (t - tc.latency)]) << "sample " << t;
    }
}

TEST (ZClickAndCrackleBay, CounterThroughSwitchesRepeatsDropsOrShiftsNoSample)
{
    // A loud counter per channel; the enabled value is switched at random blocks, also back again
    // before a transition has ended. Rounding tolerates the smoother's last-bit changes, not a shift.
    for (float amount : { 0.0f, 1.0f })
    {
        SCOPED_TRACE (testing::Message() << "amount " << amount);
        auto bay = preparedBay (2);
        bay->setAmount (amount);
        BayRunner runner (*bay);

        const int blocks = 400, length = blocks * 512;
        std::vector<Signal> x (2, Signal ((size_t) length));
        for (int t = 0; t < length; ++t)
        {
            x[0][(size_t) t] = (float) (1000000 + t);
            x[1][(size_t) t] = (float) (1500000 - t);
        }

        std::mt19937 random (4139);
        std::uniform_int_distribution<int> runLength (1, 14);
        int enabled = 1, untilSwitch = 20, switches = 0, quickReversals = 0, sinceSwitch = 100;

        for (int b = 0; b < blocks; ++b)
        {
            if (--untilSwitch == 0)
            {
                enabled = 1 - enabled;
                bay->getEnabledValue() = enabled;
                ++switches;
                quickReversals += sinceSwitch < 9 ? 1 : 0;
                sinceSwitch = 0;
                untilSwitch = runLength (random);
            }
            ++sinceSwitch;
            runner.runBlock (x, b);
        }

        EXPECT_GT (switches, 30);
        EXPECT_GT (quickReversals, 5);

        const int latency = bay->getLatency();
        for (int c = 0; c < 2; ++c)
        {
            const auto& y = runner.results[(size_t) c];
            for (int t = latency + 4096; t < length; ++t)
            {
                const auto expected = x[(size_t) c][(size_t) (t - latency)];
                ASSERT_EQ (std::lround (y[(size_t) t]), std::lround (expected)) << "channel " << c << ", sample " << t;
                ASSERT_NEAR (y[(size_t) t], expected, 0.05f) << "channel " << c << ", sample " << t;
            }
        }
    }
}

TEST (ZClickAndCrackleBay, AfterASwitchTheOldPathStaysForNineBlocks)
{
    // Clicks sit in the output blocks around each takeover, so that the processed path (clicks
    // removed) and the dry path (clicks kept) differ exactly there.
    const int latency = 4139, blocks = 90, length = blocks * 512;
    const int switchOff = 30, switchOn = 55;
    const float amplitude = 0.03f;
    const auto clean = sine (length, 1000.0, amplitude);
    auto x = clean;

    for (int outputBlock : { switchOff + 8, switchOff + 9, switchOn + 8, switchOn + 9 })
    {
        const auto at = outputBlock * 512 + 256 - latency;
        for (int i = 0; i < 4; ++i)
            x[(size_t) (at + i)] = 1.0f;
    }

    auto bay = preparedBay (1), reference = preparedBay (1);
    bay->setAmount (0.5f);
    reference->setAmount (0.5f);
    BayRunner runner (*bay), referenceRunner (*reference);
    const std::vector<Signal> input { x };

    for (int b = 0; b < blocks; ++b)
    {
        if (b == switchOff)
            bay->getEnabledValue() = 0;
        if (b == switchOn)
            bay->getEnabledValue() = 1;

        runner.runBlock (input, b);
        referenceRunner.runBlock (input, b);
    }

    const auto& y = runner.results[0];
    const auto& processed = referenceRunner.results[0];
    auto blockEquals = [&] (int b, auto&& expectedAt)
    {
        for (int i = 0; i < 512; ++i)
        {
            const auto t = b * 512 + i;
            if (y[(size_t) t] != expectedAt (t))
                return false;
        }
        return true;
    };
    auto dryAt = [&] (int t) { return t < latency ? 0.0f : x[(size_t) (t - latency)]; };
    auto processedAt = [&] (int t) { return processed[(size_t) t]; };

    for (int b = switchOff; b < switchOff + 9; ++b)
        EXPECT_TRUE (blockEquals (b, processedAt)) << "block " << b << " should still be processed";
    for (int b = switchOff + 9; b < switchOn; ++b)
        EXPECT_TRUE (blockEquals (b, dryAt)) << "block " << b << " should be dry";
    for (int b = switchOn; b < switchOn + 9; ++b)
        EXPECT_TRUE (blockEquals (b, dryAt)) << "block " << b << " should still be dry";

    // Both paths differ where the clicks are, and the processed path is back after nine blocks.
    EXPECT_GT (peakOf (y, (switchOff + 9) * 512, (switchOff + 10) * 512), 0.9f);
    EXPECT_LT (peakOf (y, (switchOff + 8) * 512, (switchOff + 9) * 512), 1.5f * amplitude);
    EXPECT_GT (peakOf (y, (switchOn + 8) * 512, (switchOn + 9) * 512), 0.9f);
    EXPECT_LT (peakOf (y, (switchOn + 9) * 512, (switchOn + 10) * 512), 1.5f * amplitude);
    EXPECT_FALSE (bay->getSwitch (0).isInTransition());
}

TEST (ZClickAndCrackleBay, ClicksAreRemovedAndACleanSinePassesAtEveryAmount)
{
    // Two channels of sine at -30 dBFS; clicks of 1 to 20 samples, 30 dB above the programme peak
    // (36 dB at amount 0, whose click threshold is 30 dB), one every 3000 samples.
    struct Case
    {
        float amount, clickDb;
    };

    const Case cases[] = { { 0.0f, 36.0f }, { 0.25f, 30.0f }, { 0.5f, 30.0f }, { 0.75f, 30.0f }, { 1.0f, 30.0f } };
    const float amplitude = 0.03f;
    const int length = 2 * 44100, settled = 11025;
    const std::vector<Signal> clean { sine (length, 1000.0, amplitude), sine (length, 700.0, amplitude) };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "amount " << tc.amount);
        std::mt19937 random (30);
        std::uniform_int_distribution<int> width (1, 20), sign (0, 1);
        const auto clickLevel = amplitude * std::pow (10.0f, tc.clickDb / 20.0f);
        auto clicky = clean;

        for (auto& channel : clicky)
            for (int at = settled + 1500; at + 20 < length; at += 3000)
            {
                const auto value = sign (random) == 0 ? clickLevel : -clickLevel;
                for (int i = 0, w = width (random); i < w; ++i)
                    channel[(size_t) (at + i)] += value;
            }

        for (bool withClicks : { false, true })
        {
            SCOPED_TRACE (withClicks ? "with clicks" : "clean");
            auto bay = preparedBay (2);
            bay->setAmount (tc.amount);
            BayRunner runner (*bay);
            const auto& x = withClicks ? clicky : clean;
            runner.runAll (x);
            const auto latency = bay->getLatency();

            for (int c = 0; c < 2; ++c)
            {
                const auto& y = runner.results[(size_t) c];
                const auto error = maxDelayedError (y, clean[(size_t) c], latency, settled, length - latency);

                if (withClicks)
                {
                    EXPECT_GT (peakOf (x[(size_t) c], settled, length), 30.0f * amplitude);
                    EXPECT_LT (peakOf (y, settled + latency, length), 1.5f * amplitude) << "channel " << c;
                    EXPECT_LT (error, 2.0f * amplitude) << "channel " << c;
                }
                else
                {
                    EXPECT_EQ (error, 0.0f) << "channel " << c;
                }
            }
        }
    }
}

TEST (ZClickAndCrackleBay, AmountSetsBothThresholds)
{
    struct Case
    {
        float amount;
        double clickDb, crackleDb;
    };

    const Case cases[] = { { 0.0f, 30.0, 30.0 }, { 1.0f, 3.0, 10.0 }, { 0.5f, 16.5, 20.0 }, { 0.25f, 23.25, 25.0 } };
    ZClickAndCrackleBay bay ("Declick", 2);

    for (const auto& tc : cases)
    {
        bay.setAmount (tc.amount);
        EXPECT_EQ (bay.getAmount(), tc.amount);
        EXPECT_TRUE (bay.getClickThresholdValue().getValue().isDouble());
        EXPECT_NEAR ((double) bay.getClickThresholdValue().getValue(), tc.clickDb, 1.0e-5) << tc.amount;
        EXPECT_NEAR ((double) bay.getCrackleThresholdValue().getValue(), tc.crackleDb, 1.0e-5) << tc.amount;
    }
}

TEST (ZClickAndCrackleBay, ChannelCountsBeyondTheSwitchingStateAreRefused)
{
    for (int channels : { 0, -1, 3, 8 })
        EXPECT_THROW (ZClickAndCrackleBay ("Declick", channels), vesk_juce::vj_dsp_exception) << channels;

    for (int channels : { 1, 2 })
        EXPECT_EQ (ZClickAndCrackleBay ("Declick", channels).getNumChannels(), channels);
}

TEST (ZClickAndCrackleBay, LifecycleEdges)
{
    ZClickAndCrackleBay bay ("Declick", 2);
    EXPECT_EQ ((int) bay.getEnabledValue().getValue(), 1);
    EXPECT_EQ (bay.getLatency(), 0);

    // Before prepare: a rate is only stored and a block comes out silent.
    bay.setSampleRate (48000.0f);
    BayRunner runner (bay);
    runner.runBlock ({ Signal (512, 0.5f), Signal (512, 0.5f) }, 0);
    EXPECT_EQ (peakOf (runner.results[0], 0, 512), 0.0f);
    EXPECT_EQ (peakOf (runner.results[1], 0, 512), 0.0f);

    EXPECT_TRUE (bay.prepare());
    EXPECT_EQ (bay.getLatency(), 4139);
    EXPECT_EQ (bay.getSwitch (0).getSamplesSinceSwitch(), 4139u);

    // Reset after a switch leaves the transition where it was.
    bay.getEnabledValue() = 0;
    runner.runBlock ({ Signal (512, 0.5f), Signal (512, 0.5f) }, 0);
    runner.runBlock ({ Signal (512, 0.5f), Signal (512, 0.5f) }, 0);
    bay.reset();
    EXPECT_EQ (bay.getSwitch (0).getSamplesSinceSwitch(), 1024u);
    EXPECT_EQ (bay.getSwitch (1).getSamplesSinceSwitch(), 1024u);
    EXPECT_EQ (bay.getSwitch (0).getPreviousEnabled(), 0);

    // A refused block size keeps the bay as it was.
    EXPECT_THROW (bay.setBlockSize (0), vesk_juce::vj_dsp_exception);
    EXPECT_EQ (bay.getBlockSize(), 512);
    EXPECT_EQ (bay.getLatency(), 4139);
    runner.runBlock ({ Signal (512, 0.5f), Signal (512, 0.5f) }, 0);
}
