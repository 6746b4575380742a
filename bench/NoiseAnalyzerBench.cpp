// Speed of the noise analysis pass over one minute of mono 44.1 kHz audio, as a multiple of real time
// ("realTime" counter: seconds of audio analysed per second of CPU time).
#include "ZNoiseAnalyzer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

using namespace vesk;

namespace
{
void noiseAnalysis (benchmark::State& state)
{
    constexpr int sampleRate = 44100;
    const int total = 60 * sampleRate;
    std::mt19937 random (1);
    std::normal_distribution<float> normal (0.0f, 0.1f);
    std::vector<float> recording ((size_t) total);

    for (auto& x : recording)
        x = normal (random);

    ZNoiseAnalyzer analyzer;

    for (auto _ : state)
    {
        analyzer.prepare (total);
        analyzer.setSensitivity (0.29f);

        for (int at = 0; at + 256 <= total; at += 256)
            analyzer.process (recording.data() + at);

        analyzer.finish();
        benchmark::DoNotOptimize (analyzer.getConfidence());
    }

    state.counters["realTime"] = benchmark::Counter ((double) state.iterations() * 60.0, benchmark::Counter::kIsRate);
}
BENCHMARK (noiseAnalysis)->Unit (benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
