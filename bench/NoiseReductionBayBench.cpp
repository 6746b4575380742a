// Throughput of the noise-reduction bay on stereo 44.1 kHz audio in 512-sample blocks, as a multiple of
// real time ("realTime" counter: seconds of audio processed per second of CPU time).
#include "ZNoiseReductionBay.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vesk;

namespace
{
constexpr int channels = 2;
constexpr int blockSize = 512;
constexpr float sampleRate = 44100.0f;

enum Setting
{
    off = 0,
    on = 1,
    noiseOnly = 2,
    onWithEveryFilter = 3,
    learning = 4
};

void noiseReductionBay (benchmark::State& state)
{
    const auto setting = (Setting) state.range (0);
    ZNoiseReductionBay bay ("Noise Reduction", channels);
    bay.prepare();
    bay.setSampleRate (sampleRate);
    bay.setBlockSize (blockSize);
    bay.reset();

    if (setting == learning)
    {
        bay.startLearning();
    }
    else if (setting == onWithEveryFilter)
    {
        bay.setMode (1);
        bay.setHumMode (0);
        bay.setNumHumHarmonics (14);
        bay.setPreserveVoice (true);
        bay.setRemoveRumble (true);
    }
    else
    {
        bay.setMode ((int) setting);
    }

    // Eight blocks of noise per channel, used in turn.
    constexpr int blocks = 8;
    std::mt19937 random (1);
    std::normal_distribution<float> normal (0.0f, 0.1f);
    std::vector<std::unique_ptr<ZBuffer>> input, output;

    for (int i = 0; i < blocks * channels; ++i)
    {
        input.push_back (std::make_unique<ZBuffer> (blockSize, "in"));

        for (int j = 0; j < blockSize; ++j)
            input.back()->getData()[j] = normal (random);
    }

    for (int c = 0; c < channels; ++c)
        output.push_back (std::make_unique<ZBuffer> (blockSize, "out"));

    ZBuffer* out[channels] = { output[0].get(), output[1].get() };
    int k = 0;

    for (auto _ : state)
    {
        ZBuffer* in[channels] = { input[(size_t) (k * channels)].get(), input[(size_t) (k * channels + 1)].get() };
        bay.process (in, out, blockSize);
        benchmark::DoNotOptimize (out[0]->getData());
        k = (k + 1) % blocks;
    }

    state.counters["realTime"] =
        benchmark::Counter ((double) state.iterations() * blockSize / sampleRate, benchmark::Counter::kIsRate);
}
BENCHMARK (noiseReductionBay)
    ->ArgName ("setting")
    ->Arg (off)
    ->Arg (on)
    ->Arg (noiseOnly)
    ->Arg (onWithEveryFilter)
    ->Arg (learning);
} // namespace

BENCHMARK_MAIN();
