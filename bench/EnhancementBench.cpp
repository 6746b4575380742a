// Throughput of the multiband compressor and the enhancement bay on stereo 44.1 kHz in 512-sample blocks.
// The "xRealTime" counter is seconds of audio processed per second: the multiple of real time.
#include "ZEnhancementBay.h"
#include "ZLinPhMultibandCompressor.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vesk;

namespace
{
constexpr int blockSize = 512;
constexpr float sampleRate = 44100.0f;

struct StereoBlock
{
    StereoBlock()
    {
        std::mt19937 random (7);
        std::uniform_real_distribution<float> distribution (-0.5f, 0.5f);

        for (auto* b : { &inL, &inR })
            for (int i = 0; i < blockSize; ++i)
                b->getData()[i] = distribution (random);
    }

    ZBuffer inL { blockSize, "inL" }, inR { blockSize, "inR" }, outL { blockSize, "outL" }, outR { blockSize, "outR" };
    ZBuffer* in[2] = { &inL, &inR };
    ZBuffer* out[2] = { &outL, &outR };
};

void reportRealTime (benchmark::State& state)
{
    state.SetItemsProcessed (state.iterations() * blockSize);
    state.counters["xRealTime"] =
        benchmark::Counter ((double) state.iterations() * blockSize / sampleRate, benchmark::Counter::kIsRate);
}

void multibandCompressor (benchmark::State& state)
{
    auto compressor = ZLinPhMultibandCompressor::create (2, (int) state.range (0), blockSize, sampleRate);
    StereoBlock block;

    for (auto _ : state)
    {
        compressor->process (block.in, block.out, blockSize);
        benchmark::DoNotOptimize (block.outL.getData());
    }

    reportRealTime (state);
}
BENCHMARK (multibandCompressor)->Arg (3)->Arg (8);

// Amount 0 runs the dry path; any other amount the compressor.
void enhancementBay (benchmark::State& state)
{
    ZEnhancementBay bay ("Enhance", 2);
    bay.prepare();
    bay.setSampleRate (sampleRate);
    bay.setBlockSize (blockSize);
    bay.setAmount ((float) state.range (0) / 100.0f);
    bay.setPreset (0);
    StereoBlock block;

    for (auto _ : state)
    {
        bay.process (block.in, block.out, blockSize);
        benchmark::DoNotOptimize (block.outL.getData());
    }

    reportRealTime (state);
}
BENCHMARK (enhancementBay)->ArgName ("amountPercent")->Arg (0)->Arg (50)->Arg (100);
} // namespace

BENCHMARK_MAIN();
