// Throughput of the click processor, the crackle processor and the click and crackle bay on stereo
// 44.1 kHz programme with clicks and crackle, as a multiple of real time ("realtime" counter).
#include "ZClickAndCrackleBay.h"
#include "ZClickProcessor.h"
#include "ZCrackleProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

using namespace vesk;

namespace
{
constexpr int blockSize = 512;
constexpr int channels = 2;
constexpr double rate = 44100.0;

/** Ten seconds per channel: two tones and noise at about -20 dBFS, clicks and crackle on top. */
std::vector<float> programme (uint32_t seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> noise (-0.01f, 0.01f), unit (0.0f, 1.0f);
    std::vector<float> x ((size_t) (10 * rate));

    for (size_t t = 0; t < x.size(); ++t)
    {
        const auto time = (double) t / rate;
        x[t] = (float) (0.06 * std::sin (2.0 * M_PI * 220.0 * time) + 0.03 * std::sin (2.0 * M_PI * 1870.0 * time))
               + noise (random);

        if (unit (random) < 0.002f)
            x[t] += unit (random) < 0.5f ? 0.2f : -0.2f; // crackle
    }

    for (size_t t = 1000; t + 16 < x.size(); t += 3000)
        for (size_t i = 0; i < 1 + t % 16; ++i)
            x[t + i] += 0.8f; // clicks

    return x;
}

struct StereoBlocks
{
    StereoBlocks()
    {
        for (int c = 0; c < channels; ++c)
        {
            signals.push_back (programme ((uint32_t) (c + 1)));
            inputs.push_back (std::make_unique<ZBuffer> (blockSize, "in"));
            outputs.push_back (std::make_unique<ZBuffer> (blockSize, "out"));
            in[c] = inputs.back().get();
            out[c] = outputs.back().get();
        }
    }

    /** Loads the next block of both channels, wrapping at the end of the programme. */
    void next()
    {
        if ((position + blockSize) > signals[0].size())
            position = 0;

        for (int c = 0; c < channels; ++c)
            std::copy_n (signals[(size_t) c].begin() + (long) position, blockSize, in[c]->getData());

        position += blockSize;
    }

    std::vector<std::vector<float>> signals;
    std::vector<std::unique_ptr<ZBuffer>> inputs, outputs;
    ZBuffer* in[channels] {};
    ZBuffer* out[channels] {};
    size_t position = 0;
};

void reportRealTime (benchmark::State& state)
{
    // Seconds of stereo audio per iteration; as a rate this is the multiple of real time.
    state.counters["realtime"] =
        benchmark::Counter ((double) blockSize / rate, benchmark::Counter::kIsIterationInvariantRate);
}

void clickProcessorStereo (benchmark::State& state)
{
    StereoBlocks blocks;
    std::vector<std::unique_ptr<ZClickProcessor>> processors;
    for (int c = 0; c < channels; ++c)
    {
        processors.push_back (ZClickProcessor::create (blockSize, (float) rate));
        processors.back()->setThresholdDb ((float) state.range (0));
    }

    for (auto _ : state)
    {
        blocks.next();
        for (int c = 0; c < channels; ++c)
            processors[(size_t) c]->process (*blocks.in[c], *blocks.out[c], blockSize);
        benchmark::DoNotOptimize (blocks.out[0]->getData());
    }

    reportRealTime (state);
}
BENCHMARK (clickProcessorStereo)->ArgName ("dB")->Arg (30)->Arg (3);

void crackleProcessorStereo (benchmark::State& state)
{
    StereoBlocks blocks;
    std::vector<std::unique_ptr<ZCrackleProcessor>> processors;
    for (int c = 0; c < channels; ++c)
    {
        processors.push_back (ZCrackleProcessor::create (blockSize, (float) rate));
        processors.back()->setThresholdDb ((float) state.range (0));
    }

    for (auto _ : state)
    {
        blocks.next();
        for (int c = 0; c < channels; ++c)
            processors[(size_t) c]->process (*blocks.in[c], *blocks.out[c], blockSize);
        benchmark::DoNotOptimize (blocks.out[0]->getData());
    }

    reportRealTime (state);
}
BENCHMARK (crackleProcessorStereo)->ArgName ("dB")->Arg (30)->Arg (10);

/** Both channels at once, as the bay runs them. */
void cracklePairStereo (benchmark::State& state)
{
    StereoBlocks blocks;
    auto a = ZCrackleProcessor::create (blockSize, (float) rate),
         b = ZCrackleProcessor::create (blockSize, (float) rate);
    a->setThresholdDb ((float) state.range (0));
    b->setThresholdDb ((float) state.range (0));

    for (auto _ : state)
    {
        blocks.next();
        ZCrackleProcessor::processPair (*a, *blocks.in[0], *blocks.out[0], *b, *blocks.in[1], *blocks.out[1],
                                        blockSize);
        benchmark::DoNotOptimize (blocks.out[0]->getData());
    }

    reportRealTime (state);
}
BENCHMARK (cracklePairStereo)->ArgName ("dB")->Arg (30)->Arg (10);

void clickAndCrackleBayStereo (benchmark::State& state)
{
    StereoBlocks blocks;
    ZClickAndCrackleBay bay ("Declick", channels);
    bay.prepare();
    bay.setSampleRate ((float) rate);
    bay.setBlockSize (blockSize);
    bay.setAmount ((float) state.range (0) / 100.0f);

    for (auto _ : state)
    {
        blocks.next();
        bay.process (blocks.in, blocks.out, blockSize);
        benchmark::DoNotOptimize (blocks.out[0]->getData());
    }

    reportRealTime (state);
}
BENCHMARK (clickAndCrackleBayStereo)->ArgName ("amountPercent")->Arg (0)->Arg (50)->Arg (100);

} // namespace

BENCHMARK_MAIN();
