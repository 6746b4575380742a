#include "ZEnhancementBay.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

namespace
{
using vesk::ZBuffer;
using vesk::ZEnhancementBay;
using Signals = std::vector<std::vector<float>>;

constexpr double pi = 3.14159265358979323846;
constexpr int sawPeriod = 4096;

// A rising ramp that wraps every sawPeriod samples: each sample names its own index.
float saw (long t)
{
    return t < 0 ? 0.0f : (float) (t % sawPeriod) / (float) sawPeriod;
}

std::vector<float> sawSignal (size_t length, long offset = 0)
{
    std::vector<float> x (length);
    for (size_t t = 0; t < length; ++t)
        x[t] = saw ((long) t + offset);
    return x;
}

// Owns one block of buffers per channel and runs whole signals through a bay.
class BayRunner
{
public:
    BayRunner (int channels, int blockSize) : n (blockSize)
    {
        for (int c = 0; c < channels; ++c)
        {
            in.push_back (std::make_unique<ZBuffer> (n, "in"));
            out.push_back (std::make_unique<ZBuffer> (n, "out"));
            inPtr[c] = in.back().get();
            outPtr[c] = out.back().get();
        }
    }

    Signals run (ZEnhancementBay& bay, const Signals& input, const std::function<void (int)>& beforeBlock = {})
    {
        Signals result (input.size(), std::vector<float> (input[0].size()));

        for (size_t start = 0, block = 0; start + (size_t) n <= input[0].size(); start += (size_t) n, ++block)
        {
            if (beforeBlock)
                beforeBlock ((int) block);

            for (size_t c = 0; c < input.size(); ++c)
                std::copy_n (input[c].begin() + (long) start, n, in[c]->getData());

            bay.process (inPtr, outPtr, n);

            for (size_t c = 0; c < input.size(); ++c)
                std::copy_n (out[c]->getData(), n, result[c].begin() + (long) start);
        }

        return result;
    }

private:
    int n;
    std::vector<std::unique_ptr<ZBuffer>> in, out;
    ZBuffer* inPtr[2] = {};
    ZBuffer* outPtr[2] = {};
};

// Prepared as the audio processor does it: prepare, sample rate, block size, preset and amount.
std::unique_ptr<ZEnhancementBay> makeBay (float sampleRate, int blockSize, int preset, float amount, int channels = 2)
{
    auto bay = std::make_unique<ZEnhancementBay> ("Enhance", channels);
    bay->prepare();
    bay->setSampleRate (sampleRate);
    bay->setBlockSize (blockSize);
    bay->setAmount (amount);
    bay->setPreset (preset); // settles in the amount's state, no switch pending
    return bay;
}

// Runs one silent block, so that settings chosen between blocks are taken over.
void runSilentBlock (ZEnhancementBay& bay)
{
    BayRunner runner (bay.getNumChannels(), bay.getBlockSize());
    runner.run (bay, Signals ((size_t) bay.getNumChannels(), std::vector<float> ((size_t) bay.getBlockSize(), 0.0f)));
}

// Every band flat at the given makeup, following its level at once: the processed path is then a pure
// gain and delay, told apart from the dry path by its gain alone.
void makeFlat (ZEnhancementBay& bay, float makeupDb)
{
    for (unsigned b = 0; b < 3; ++b)
        bay.setBand (b, makeupDb == 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, makeupDb, 0.0f, 0.0f);
}

//==============================================================================
struct LatencyCase
{
    float sampleRate;
    int blockSize;
};

class EnhancementBayLatency : public testing::TestWithParam<LatencyCase>
{
};

TEST_P (EnhancementBayLatency, BothPathsDelayByTheReportedLatency)
{
    const auto p = GetParam();
    const auto n = p.blockSize;
    BayRunner runner (2, n);

    for (const float amount : { 0.0f, 1.0f })
    {
        auto bay = makeBay (p.sampleRate, n, 0, amount);
        ASSERT_EQ (bay->getLatency(), n);
        makeFlat (*bay, 0.0f);

        const auto input = sawSignal ((size_t) n * 12);
        const auto out = runner.run (*bay, { input, sawSignal ((size_t) n * 12, 77) });

        for (size_t t = (size_t) n; t < input.size(); ++t)
        {
            ASSERT_NEAR (out[0][t], saw ((long) t - n), 2e-5f) << "amount " << amount << ", t = " << t;
            ASSERT_NEAR (out[1][t], saw ((long) t - n + 77), 2e-5f) << "amount " << amount << ", t = " << t;
        }
    }
}

// With its presets' real gains the processed path is a linear-phase filter: an impulse comes out
// symmetric about the reported latency, and largest there.
TEST_P (EnhancementBayLatency, ImpulseResponseIsCentredOnTheLatency)
{
    const auto p = GetParam();
    const auto n = p.blockSize;
    BayRunner runner (2, n);

    for (int preset = 0; preset < ZEnhancementBay::presetCount; ++preset)
    {
        auto bay = makeBay (p.sampleRate, n, preset, 1.0f);
        const auto impulseAt = (size_t) n * 3;
        std::vector<float> input ((size_t) n * 8, 0.0f);
        input[impulseAt] = 0.5f;

        const auto out = runner.run (*bay, { input, input });
        const auto centre = impulseAt + (size_t) bay->getLatency();
        const auto peak = std::abs (out[0][centre]);
        ASSERT_GT (peak, 0.05f) << "preset " << preset;

        for (size_t d = 1; d < (size_t) n; ++d)
        {
            ASSERT_NEAR (out[0][centre + d], out[0][centre - d], 1e-6f + 1e-5f * peak)
                << "preset " << preset << ", offset " << d;
            ASSERT_LE (std::abs (out[0][centre + d]), peak) << "preset " << preset << ", offset " << d;
        }

        EXPECT_EQ (out[0], out[1]) << "both channels share one filter";
    }
}

// 32 kHz puts preset 6's 18 kHz crossover above half the rate.
INSTANTIATE_TEST_SUITE_P (Rates, EnhancementBayLatency,
                          testing::Values (LatencyCase { 44100.0f, 512 }, LatencyCase { 48000.0f, 512 },
                                           LatencyCase { 96000.0f, 512 }, LatencyCase { 32000.0f, 512 },
                                           LatencyCase { 22050.0f, 256 }));

//==============================================================================
struct SwitchCase
{
    const char* name;
    std::vector<bool> onPerBlock;
};

class EnhancementBaySwitching : public testing::TestWithParam<SwitchCase>
{
};

// After every switch the old path stays on the output for exactly one block, then the new path follows
// with the same delay: the counter comes out with no repeated, dropped or shifted sample.
TEST_P (EnhancementBaySwitching, CounterPassesWithoutRepeatDropOrShift)
{
    const auto& schedule = GetParam().onPerBlock;
    const int n = 512;
    const float processedGain = 2.0f;
    auto bay = makeBay (44100.0f, n, 0, schedule[0] ? 0.6f : 0.0f);
    makeFlat (*bay, 20.0f * std::log10 (processedGain));

    const auto blocks = schedule.size();
    const auto input = sawSignal ((size_t) n * blocks);
    BayRunner runner (2, n);
    const auto out = runner.run (*bay, { input, input },
                                 [&] (int block) { bay->setAmount (schedule[(size_t) block] ? 0.6f : 0.0f); });

    for (size_t block = 1; block < blocks; ++block)
    {
        const auto switched = schedule[block] != schedule[block - 1];
        const auto processedOnOutput = switched ? schedule[block - 1] : schedule[block];
        const auto gain = processedOnOutput ? processedGain : 1.0f;

        for (size_t i = 0; i < (size_t) n; ++i)
        {
            const auto t = block * (size_t) n + i;
            ASSERT_NEAR (out[0][t], gain * saw ((long) t - n), 1e-4f) << "block " << block << ", sample " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (
    Schedules, EnhancementBaySwitching,
    testing::Values (SwitchCase { "OnOffOn", { true, true, true, false, false, false, true, true, true } },
                     SwitchCase { "OffOnOff", { false, false, true, true, true, false, false, false } },
                     SwitchCase { "EveryBlock", { true, false, true, false, true, false, true, false, true } },
                     SwitchCase { "ShortPulses", { false, true, false, false, true, true, false, true, true } }),
    [] (const testing::TestParamInfo<SwitchCase>& info) { return std::string (info.param.name); });

//==============================================================================
struct BandExpect
{
    bool bypass;
    float ratio, range, makeup, attack, release;
};

struct PresetExpect
{
    int preset, previousPreset;
    float crossovers[2];
    BandExpect bands[3];
};

constexpr BandExpect liftOn { false, 3.0f, 9.0f, 9.0f, 5.0f, 5.0f };
constexpr BandExpect liftOff { true, 3.0f, 9.0f, 9.0f, 5.0f, 5.0f };
constexpr BandExpect neutralOn { false, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
constexpr BandExpect neutralOff { true, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };

TEST (EnhancementBayPresets, EachPresetSetsItsBands)
{
    const PresetExpect cases[] = {
        { 0, 3, { 200.0f, 6000.0f }, { liftOn, neutralOff, liftOn } },
        { 1, 0, { 250.0f, 6000.0f }, { neutralOn, liftOn, { true, 3.0f, 0.0f, 0.0f, 0.0f, 0.0f } } },
        { 2, 0, { 500.0f, 6000.0f }, { neutralOff, liftOn, liftOn } },
        { 3, 0, { 250.0f, 6000.0f }, { liftOn, neutralOff, neutralOff } },
        { 4, 0, { 500.0f, 6000.0f }, { liftOff, liftOn, neutralOff } },
        { 5, 0, { 500.0f, 6000.0f }, { liftOff, neutralOff, liftOn } },
        { 6, 2, { 500.0f, 18000.0f }, { { false, 0.1f, 18.0f, 0.0f, 5.0f, 5.0f }, neutralOff, liftOff } },
        { 6, 0, { 200.0f, 18000.0f }, { { false, 0.1f, 18.0f, 0.0f, 5.0f, 5.0f }, neutralOff, liftOff } },
    };

    BayRunner runner (2, 512);
    const Signals silence (2, std::vector<float> (512, 0.0f));

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "preset " << c.preset << " after " << c.previousPreset);
        auto bay = makeBay (44100.0f, 512, c.previousPreset, 0.0f);
        bay->setPreset (c.preset);
        EXPECT_EQ (bay->getPreset(), c.preset);
        runner.run (*bay, silence);

        const auto& comp = *bay->getCompressor();
        EXPECT_EQ (comp.crossovers[0], c.crossovers[0]);
        EXPECT_EQ (comp.crossovers[1], c.crossovers[1]);

        for (unsigned b = 0; b < 3; ++b)
        {
            const auto& e = c.bands[b];
            EXPECT_EQ (comp.bypass[b], e.bypass) << "band " << b;
            EXPECT_EQ (comp.ratio[b], e.ratio) << "band " << b;
            EXPECT_EQ (comp.range[b], e.range) << "band " << b;
            EXPECT_EQ (comp.makeup[b], e.makeup) << "band " << b;
            EXPECT_EQ (comp.attack[b], e.attack) << "band " << b;
            EXPECT_EQ (comp.release[b], e.release) << "band " << b;
            EXPECT_NEAR (comp.attackCoefficient[b], e.attack == 5.0f ? 0.99743f : 0.0f, 1e-5f) << "band " << b;
            EXPECT_NEAR (comp.releaseCoefficient[b], e.release == 5.0f ? 0.99743f : 0.0f, 1e-5f) << "band " << b;
            EXPECT_EQ (comp.knee[b], 2.0f) << "band " << b;
            EXPECT_EQ (comp.threshold[b], -20.0f) << "switched off, the thresholds stay";
        }
    }
}

TEST (EnhancementBayPresets, PresetSurvivesPrepareAndSixStartsFromTheDefaultCrossover)
{
    auto bay = makeBay (44100.0f, 512, 4, 0.0f);
    bay->setBlockSize (256);
    EXPECT_EQ (bay->getPreset(), 4);
    EXPECT_EQ (bay->getLatency(), 256);
    EXPECT_TRUE (bay->getCompressor()->bypass[0]);
    EXPECT_FALSE (bay->getCompressor()->bypass[1]);
    EXPECT_EQ (bay->getCompressor()->crossovers[0], 500.0f);

    bay->setPreset (6);
    bay->prepare();
    EXPECT_EQ (bay->getCompressor()->crossovers[0], 1000.0f);
    EXPECT_EQ (bay->getCompressor()->crossovers[1], 18000.0f);
}

// A preset chosen while blocks run is taken over whole at the start of the next block, which starts
// afresh: no switch in progress, even one the amount had just asked for.
TEST (EnhancementBayPresets, PresetIsTakenOverAtTheNextBlockAndEndsAnySwitch)
{
    BayRunner runner (2, 512);
    const Signals silence (2, std::vector<float> (512, 0.0f));

    for (const int preset : { 3, 9 })
    {
        auto bay = makeBay (44100.0f, 512, 0, 0.0f);
        runner.run (*bay, silence);

        bay->setAmount (0.5f);
        bay->setPreset (preset);
        EXPECT_EQ (bay->getCompressor()->crossovers[0], 200.0f) << "nothing changes before the block";

        runner.run (*bay, silence);
        EXPECT_EQ (bay->getCompressor()->crossovers[0], preset == 3 ? 250.0f : 200.0f);
        EXPECT_FALSE (bay->getSwitch().isInTransition()) << "preset " << preset;
        EXPECT_EQ (bay->getSwitch().getPreviousEnabled(), 1);
        EXPECT_EQ (bay->getPreset(), preset);
    }
}

//==============================================================================
TEST (EnhancementBayAmount, AmountSetsTheThresholdsAndSwitches)
{
    BayRunner runner (2, 512);
    const Signals silence (2, std::vector<float> (512, 0.0f));
    auto bay = makeBay (44100.0f, 512, 0, 0.0f);

    struct
    {
        float amount, thresholdDb;
        int enabled;
    } const cases[] = { { 1.0f, -16.5f, 1 }, { 0.5f, -58.25f, 1 }, { 1e-6f, -100.0f, 1 }, { 0.0f, -100.0f, 0 } };

    for (const auto& c : cases)
    {
        bay->setAmount (c.amount);
        EXPECT_EQ (bay->getAmount(), c.amount);
        runner.run (*bay, silence);

        EXPECT_EQ (bay->getSwitch().getPreviousEnabled(), c.enabled) << "amount " << c.amount;
        for (unsigned b = 0; b < 3; ++b)
            EXPECT_NEAR (bay->getCompressor()->threshold[b], c.thresholdDb, 1e-4f) << "amount " << c.amount;
    }
}

// Preset 0 at full amount: quiet programme in the outer bands is lifted by the full 9 dB makeup, the
// bypassed middle band passes unchanged. Tones sit on bins of the analysis grid.
TEST (EnhancementBayAmount, QuietOuterBandsAreLiftedByTheMakeup)
{
    const int n = 512;
    struct
    {
        int bin;
        float expectedGainDb;
    } const cases[] = { { 0, 9.0f }, { 72, 0.0f }, { 400, 9.0f } };

    BayRunner runner (2, n);

    for (const auto& c : cases)
    {
        auto bay = makeBay (44100.0f, n, 0, 1.0f);
        std::vector<float> tone ((size_t) n * 8);
        for (size_t t = 0; t < tone.size(); ++t)
            tone[t] = 0.01f * (float) std::cos (pi * c.bin * (double) t / n + 0.4);

        const auto out = runner.run (*bay, { tone, tone });
        const auto gain = std::pow (10.0f, c.expectedGainDb / 20.0f);

        for (size_t t = (size_t) n * 4; t < tone.size(); ++t)
            ASSERT_NEAR (out[0][t], gain * tone[t - (size_t) n], 1e-6f) << "bin " << c.bin << ", t = " << t;
    }
}

//==============================================================================
TEST (EnhancementBayLifecycle, ChannelCountsOutsideOneToTwoAreRefused)
{
    for (const int channels : { -1, 0, 3, 8 })
        EXPECT_THROW (ZEnhancementBay ("Enhance", channels), vesk_juce::vj_dsp_exception) << channels;

    // A mono bay runs a mono compressor: no second channel is touched on either path.
    auto bay = makeBay (44100.0f, 256, 0, 0.0f, 1);
    makeFlat (*bay, 0.0f);
    EXPECT_EQ (bay->getCompressor()->getNumChannels(), 1u);

    BayRunner runner (1, 256);
    const auto input = sawSignal (256 * 10);
    const auto out = runner.run (*bay, { input }, [&] (int block) { bay->setAmount (block < 5 ? 0.0f : 1.0f); });

    for (size_t t = 256; t < input.size(); ++t)
        ASSERT_NEAR (out[0][t], saw ((long) t - 256), 2e-5f) << "t = " << t;
}

TEST (EnhancementBayLifecycle, SampleRateBeforePrepareIsKeptAndUnusableValuesAreIgnored)
{
    ZEnhancementBay bay ("Enhance", 2);
    bay.setSampleRate (48000.0f);
    bay.reset();
    bay.setSampleRate (0.0f);
    bay.setSampleRate (std::nanf (""));
    EXPECT_EQ (bay.getCompressor(), nullptr);

    ZBuffer in0 (512, "in"), in1 (512, "in"), out0 (512, "out"), out1 (512, "out");
    std::fill_n (out0.getData(), 512, 3.0f);
    ZBuffer* in[] = { &in0, &in1 };
    ZBuffer* out[] = { &out0, &out1 };
    bay.process (in, out, 512);
    EXPECT_EQ (out0.getData()[0], 3.0f) << "nothing runs before prepare";

    bay.prepare();
    EXPECT_EQ (bay.getCompressor()->getSampleRate(), 48000.0f);
    EXPECT_EQ (bay.getLatency(), 512);

    bay.process (in, out, 513);
    EXPECT_EQ (out0.getData()[0], 3.0f) << "a count above the block size is refused";
}

TEST (EnhancementBayLifecycle, SampleRateKeepsBandsAndRefusedBlockSizeKeepsTheBay)
{
    auto bay = makeBay (44100.0f, 512, 2, 1.0f);
    runSilentBlock (*bay);
    const auto coefficient = bay->getCompressor()->attackCoefficient[1];
    bay->setSampleRate (96000.0f);
    EXPECT_EQ (bay->getCompressor()->getSampleRate(), 96000.0f);
    EXPECT_EQ (bay->getCompressor()->attackCoefficient[1], coefficient);
    EXPECT_EQ (bay->getCompressor()->crossovers[0], 500.0f);
    EXPECT_EQ (bay->getLatency(), 512);

    EXPECT_THROW (bay->setBlockSize (300), vesk_juce::vj_dsp_exception);
    EXPECT_EQ (bay->getBlockSize(), 512);
    EXPECT_EQ (bay->getLatency(), 512);
    EXPECT_EQ (bay->getCompressor()->getBlockSize(), 512);
}

//==============================================================================
// Runs audioWork on a thread of its own while this thread repeats messageStep, from before the first block
// until after the last.
void whileBlocksRun (const std::function<void()>& audioWork, const std::function<void (int)>& messageStep)
{
    std::atomic<bool> started { false }, done { false };
    std::thread audio (
        [&]
        {
            while (!started)
                std::this_thread::yield();

            audioWork();
            done = true;
        });

    for (int i = 0; !done; ++i)
    {
        messageStep (i);
        started = true;
    }

    audio.join();
}

// The message thread sets an amount of 0 again and again while blocks run: the audio thread must never
// see the bay switched on in between, so the dry path stays on the output throughout.
TEST (EnhancementBayThreads, RepeatedZeroAmountNeverSwitchesOn)
{
    const int n = 64;
    const int blocks = 3000;
    auto bay = makeBay (44100.0f, n, 0, 0.0f);
    makeFlat (*bay, 6.0f);
    BayRunner runner (2, n);
    const auto input = sawSignal ((size_t) n * blocks);

    Signals out;
    whileBlocksRun ([&] { out = runner.run (*bay, { input, input }); }, [&] (int) { bay->setAmount (0.0f); });

    for (size_t t = (size_t) n; t < input.size(); ++t)
        ASSERT_EQ (out[0][t], saw ((long) t - n)) << "t = " << t;
}

// Presets chosen on the message thread while blocks run reach the compressor whole: after every block,
// its bands are exactly those of one preset, never a mix of two.
TEST (EnhancementBayThreads, PresetsArriveWhole)
{
    const int n = 64;
    auto bay = makeBay (44100.0f, n, 0, 1.0f);
    BayRunner runner (2, n);

    struct Bands
    {
        std::array<float, 8> ratio, range, makeup, attackCoefficient;
        std::array<bool, 8> bypass;
        float crossover0, crossover1;

        explicit Bands (const vesk::ZLinPhMultibandCompressor& c)
            : ratio (c.ratio), range (c.range), makeup (c.makeup), attackCoefficient (c.attackCoefficient),
              bypass (c.bypass), crossover0 (c.crossovers[0]), crossover1 (c.crossovers[1])
        {
        }

        bool operator== (const Bands& o) const
        {
            return ratio == o.ratio && range == o.range && makeup == o.makeup
                   && attackCoefficient == o.attackCoefficient && bypass == o.bypass && crossover0 == o.crossover0
                   && crossover1 == o.crossover1;
        }
    };

    std::vector<Bands> presets;
    for (int p = 0; p < 6; ++p)
    {
        auto probe = makeBay (44100.0f, n, p, 1.0f);
        runSilentBlock (*probe);
        presets.emplace_back (*probe->getCompressor());
    }

    int mixed = 0;
    const Signals block (2, sawSignal ((size_t) n));
    whileBlocksRun (
        [&]
        {
            for (int i = 0; i < 2000; ++i)
            {
                runner.run (*bay, block);
                const Bands now (*bay->getCompressor());
                if (std::find (presets.begin(), presets.end(), now) == presets.end())
                    ++mixed;
            }
        },
        [&] (int i) { bay->setPreset (i % 6); });

    EXPECT_EQ (mixed, 0);
}

} // namespace

// Blocks in flight as the processor's pipeline runs them: a block is planned and analysed before the
// one before it gets its gains and synthesis, in the compressor's other slot. Amount switches (with
// their transitions), band settings and a preset change between blocks give the output of block by
// block, to the bit.
TEST (EnhancementBayThreads, PlannedBlocksInFlightGiveTheOutputOfBlockByBlock)
{
    const int n = 512;
    const int blocks = 120;
    std::vector<float> left ((size_t) (n * blocks)), right (left.size());

    for (size_t t = 0; t < left.size(); ++t)
    {
        const auto loud = (t / 6000) % 2 == 0 ? 0.5 : 0.05;
        left[t] =
            (float) (loud * std::sin (2.0 * pi * 220.0 * (double) t / 44100.0) + 0.1 * std::sin ((double) t * 0.7));
        right[t] = (float) (0.3 * std::sin (2.0 * pi * 3100.0 * (double) t / 44100.0) * (double) saw ((long) t));
    }

    const auto settings = [] (ZEnhancementBay& bay, int block)
    {
        if (block == 10)
            bay.setAmount (0.0f);
        if (block == 13)
            bay.setAmount (0.8f);
        if (block == 14)
            bay.setAmount (0.0f);
        if (block == 30)
            bay.setAmount (0.6f);
        if (block == 50)
            bay.setBand (1, false, 900.0f, 0.0f, 2.0f, 12.0f, 3.0f, 0.01f, 0.1f);
        if (block == 70)
            bay.setPreset (3);
        if (block == 90)
            bay.setPreset (5);
    };

    auto reference = makeBay (44100.0f, n, 0, 0.5f);
    BayRunner runner (2, n);
    const auto expected = runner.run (*reference, { left, right }, [&] (int block) { settings (*reference, block); });

    auto bay = makeBay (44100.0f, n, 0, 0.5f);
    struct InFlight
    {
        std::array<std::unique_ptr<ZBuffer>, 2> in, out;
        ZBuffer* inPtr[2];
        ZBuffer* outPtr[2];
        ZEnhancementBay::BlockPlan plan;
        bool runs = false;
    };

    std::array<InFlight, 2> flight;

    for (auto& f : flight)
        for (size_t c = 0; c < 2; ++c)
        {
            f.in[c] = std::make_unique<ZBuffer> (n, "in");
            f.out[c] = std::make_unique<ZBuffer> (n, "out");
            f.inPtr[c] = f.in[c].get();
            f.outPtr[c] = f.out[c].get();
        }

    Signals actual (2, std::vector<float> (left.size()));
    const auto finish = [&] (int block)
    {
        auto& f = flight[(size_t) block % 2];

        if (f.runs)
            bay->linkChannels (f.plan);

        for (int c = 0; c < 2; ++c)
        {
            if (f.runs)
                bay->finishChannel (c, f.inPtr[c], f.outPtr[c], f.plan);

            std::copy_n (f.out[(size_t) c]->getData(), n, actual[(size_t) c].begin() + (long) block * n);
        }
    };

    for (int block = 0; block < blocks; ++block)
    {
        settings (*bay, block);
        auto& f = flight[(size_t) block % 2];
        std::copy_n (left.begin() + (long) block * n, n, f.in[0]->getData());
        std::copy_n (right.begin() + (long) block * n, n, f.in[1]->getData());
        f.runs = bay->planBlock (f.inPtr, f.outPtr, n, (unsigned) block % 2, f.plan);

        for (int c = 0; c < 2; ++c)
            bay->analyseChannel (c, f.inPtr[c], f.plan);

        if (block > 0)
            finish (block - 1);
    }

    finish (blocks - 1);

    for (size_t c = 0; c < 2; ++c)
        for (size_t t = 0; t < left.size(); ++t)
            ASSERT_EQ (actual[c][t], expected[c][t]) << "channel " << c << ", t = " << t;

    // The switch went through its transitions and the preset reset the bay, as block by block.
    EXPECT_EQ (bay->getSwitch().getPreviousEnabled(), reference->getSwitch().getPreviousEnabled());
    EXPECT_EQ (bay->getPreset(), 5);
}
