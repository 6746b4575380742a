// One NaN or infinite sample in music-like material, through every stage of the chain: what follows the
// frames that hold it must be finite and match what the stage makes of the same material without it.

#include "ProgrammeSignals.h"
#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZEnhancementBay.h"
#include "ZExpander.h"
#include "ZMaximizer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace
{

using vesk::ZBuffer;
using Signal = std::vector<std::vector<float>>;

constexpr float sampleRate = 44100.0f;
constexpr int blockSize = 512;
constexpr int channels = 2;
constexpr double seconds = 3.0;
constexpr int badIndex = 40000 + 123;

/** One block of every channel in, one block out. */
using BlockProcess = std::function<void (ZBuffer** in, ZBuffer** out)>;

/** Runs the signal through a stage in blocks of blockSize (the signal is a whole number of blocks). */
Signal runBlocks (const Signal& input, const BlockProcess& process)
{
    std::vector<std::unique_ptr<ZBuffer>> storage;
    ZBuffer* in[channels];
    ZBuffer* out[channels];

    for (int c = 0; c < channels; ++c)
    {
        storage.push_back (std::make_unique<ZBuffer> (blockSize, "in"));
        in[c] = storage.back().get();
        storage.push_back (std::make_unique<ZBuffer> (blockSize, "out"));
        out[c] = storage.back().get();
    }

    Signal output ((size_t) channels, std::vector<float> (input[0].size()));

    for (size_t start = 0; start + blockSize <= input[0].size(); start += blockSize)
    {
        for (int c = 0; c < channels; ++c)
            std::copy_n (input[(size_t) c].data() + start, blockSize, in[c]->getData());

        process (in, out);

        for (int c = 0; c < channels; ++c)
            std::copy_n (out[c]->getData(), blockSize, output[(size_t) c].data() + start);
    }

    return output;
}

Signal noise (int samples, unsigned seed)
{
    std::mt19937 rng (seed);
    std::normal_distribution<float> normal (0.0f, 0.03f);
    Signal s ((size_t) channels, std::vector<float> ((size_t) samples));

    for (auto& channel : s)
        for (auto& x : channel)
            x = normal (rng);

    return s;
}

std::unique_ptr<vesk::ZNoiseReductionBay> makeNoiseReductionBay()
{
    auto bay = std::make_unique<vesk::ZNoiseReductionBay> ("Noise Reduction", channels);
    bay->prepare();
    bay->setSampleRate (sampleRate);
    bay->setBlockSize (blockSize);
    bay->reset();
    return bay;
}

/** Learns the bay's profiles from the given noise. */
void learn (vesk::ZNoiseReductionBay& bay, const Signal& learningNoise)
{
    bay.startLearning();
    runBlocks (learningNoise, [&] (ZBuffer** in, ZBuffer** out) { bay.process (in, out, blockSize); });
    bay.stopLearning();
    runBlocks (noise (blockSize, 1), [&] (ZBuffer** in, ZBuffer** out) { bay.process (in, out, blockSize); });
}

/** A stage built afresh for each run: its block process and its latency in samples. */
struct Stage
{
    const char* name;
    std::function<std::pair<BlockProcess, int>()> make;
};

template <typename Bay>
std::pair<BlockProcess, int> bayStage (std::shared_ptr<Bay> bay)
{
    return { [bay] (ZBuffer** in, ZBuffer** out) { bay->process (in, out, blockSize); }, bay->getLatency() };
}

/** A bay set up as the processor sets it up, at its full amount. */
template <typename Bay>
std::pair<BlockProcess, int> fullAmountBay (const char* name)
{
    auto bay = std::make_shared<Bay> (name, channels);
    bay->prepare();
    bay->setSampleRate (sampleRate);
    bay->setBlockSize (blockSize);
    bay->setAmount (1.0f);
    bay->reset();
    return bayStage (bay);
}

template <typename PerChannel>
std::pair<BlockProcess, int> perChannelStage (std::vector<std::shared_ptr<PerChannel>> objects, int latency,
                                              std::function<void (PerChannel&, ZBuffer*, ZBuffer*)> process)
{
    return { [objects, process] (ZBuffer** in, ZBuffer** out)
             {
                 for (size_t c = 0; c < objects.size(); ++c)
                     process (*objects[c], in[c], out[c]);
             },
             latency };
}

std::pair<BlockProcess, int> noiseReduction (int mode, bool filters)
{
    std::shared_ptr<vesk::ZNoiseReductionBay> bay = makeNoiseReductionBay();
    learn (*bay, noise (44100, 7));
    bay->setMode (mode);
    bay->setHumMode (filters ? 0 : 2);
    bay->setPreserveVoice (filters);
    bay->setRemoveRumble (filters);
    bay->reset();
    return bayStage (bay);
}

const Stage stages[] = {
    { "declipper",
      []
      {
          std::vector<std::shared_ptr<vesk::ZDeclipping>> d;
          for (int c = 0; c < channels; ++c)
          {
              d.push_back (std::make_shared<vesk::ZDeclipping> (blockSize, sampleRate));
              d.back()->setDefaults();
              d.back()->enabled = true;
          }
          const auto latency = (int) d[0]->getLatency();
          return perChannelStage<vesk::ZDeclipping> (
              d, latency, [] (auto& x, ZBuffer* i, ZBuffer* o) { x.process (i, o, blockSize); });
      } },
    { "click and crackle bay", [] { return fullAmountBay<vesk::ZClickAndCrackleBay> ("Declick"); } },
    { "noise reduction on", [] { return noiseReduction (1, false); } },
    { "noise reduction on, hum, voice and rumble filters", [] { return noiseReduction (1, true); } },
    { "noise only", [] { return noiseReduction (2, false); } },
    { "noise reduction off, hum, voice and rumble filters", [] { return noiseReduction (0, true); } },
    { "expander",
      []
      {
          std::vector<std::shared_ptr<vesk::ZExpander>> e;
          for (int c = 0; c < channels; ++c)
          {
              e.push_back (std::make_shared<vesk::ZExpander>());
              e.back()->setSampleRate (sampleRate);
              e.back()->setThreshold (0.15f);
              e.back()->setRatioBelow (4.0f);
              e.back()->enabled = true;
          }
          return perChannelStage<vesk::ZExpander> (e, 0, [] (auto& x, ZBuffer* i, ZBuffer* o) { x.process (i, o); });
      } },
    { "enhancement bay", [] { return fullAmountBay<vesk::ZEnhancementBay> ("Enhance"); } },
    { "maximizer",
      []
      {
          std::vector<std::shared_ptr<vesk::ZMaximizer>> m;
          for (int c = 0; c < channels; ++c)
          {
              m.push_back (std::make_shared<vesk::ZMaximizer> (blockSize));
              m.back()->initialize();
              m.back()->setThresholdDb (-10.0f);
              m.back()->enabled = true;
          }
          const auto latency = m[0]->getLatency();
          return perChannelStage<vesk::ZMaximizer> (m, latency,
                                                    [] (auto& x, ZBuffer* i, ZBuffer* o) { x.process (i, o); });
      } },
};

/** How close b is to a over [from, to), in dB: the worse channel's signal-to-difference ratio. */
double agreementDb (const Signal& a, const Signal& b, size_t from, size_t to)
{
    using tavlin::test::programme::snrDb;
    return std::min (snrDb (a[0], b[0], 0, from, to), snrDb (a[1], b[1], 0, from, to));
}

TEST (NonFiniteInput, NoStageKeepsABadSampleBeyondTheFramesThatHoldIt)
{
    juce::MessageManager::getInstance();
    using tavlin::test::programme::music;
    const Signal material = { music (seconds, sampleRate, 11), music (seconds, sampleRate, 12) };
    const float bad[] = { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity() };

    for (const auto& stage : stages)
    {
        auto [cleanProcess, latency] = stage.make();
        const auto clean = runBlocks (material, cleanProcess);

        for (auto value : bad)
        {
            auto input = material;
            input[0][badIndex] = value;
            auto [process, ignored] = stage.make();
            const auto out = runBlocks (input, process);

            // The frames holding the sample come out after the latency; two more blocks of 1024 cover the
            // longest frame and its overlap.
            const auto settled = (size_t) (badIndex + latency + 2 * 1024 + blockSize);
            for (size_t c = 0; c < out.size(); ++c)
                for (auto i = settled; i < out[c].size(); ++i)
                    ASSERT_TRUE (std::isfinite (out[c][i])) << stage.name << ", " << value << ": sample " << i;

            // Level trackers may take a moment to settle back; a quarter second on, the output is the same.
            const auto later = settled + (size_t) sampleRate / 4;
            EXPECT_GT (agreementDb (clean, out, later, out[0].size()), 60.0) << stage.name << ", " << value;
            EXPECT_GT (agreementDb (clean, out, settled, later), 20.0) << stage.name << ", " << value;
        }
    }

    juce::MessageManager::deleteInstance();
}

TEST (NonFiniteInput, LearningLeavesOutTheFramesThatHoldABadSample)
{
    const juce::ScopedJuceInitialiser_GUI framework; // outlives the bays, which are event objects
    const auto learningNoise = noise (44100, 3);

    auto reference = makeNoiseReductionBay();
    learn (*reference, learningNoise);

    for (auto value : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        auto bay = makeNoiseReductionBay();
        auto input = learningNoise;
        input[0][20000] = value;
        learn (*bay, input);

        for (int c = 0; c < channels; ++c)
        {
            const auto* expected = reference->getChannelNoiseProfile (c)->getData();
            const auto* learned = bay->getChannelNoiseProfile (c)->getData();

            for (int k = 0; k < vesk::ZNoiseReductionBay::binCount; ++k)
                ASSERT_NEAR (learned[k], expected[k], 1.0f) << value << ", channel " << c << ", bin " << k;
        }
    }
}

} // namespace
