// Throughput of the restoration processors on stereo 44.1 kHz audio in 512-sample blocks, reported
// as a multiple of real time ("xRealTime").
#include "ZDeclipping.h"
#include "ZExpander.h"
#include "ZMaximizer.h"
#include "ZSoftClip.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>

using namespace vesk;

namespace
{
constexpr int block = 512;
constexpr int channels = 2;
constexpr double sampleRate = 44100.0;

/** Programme material for one channel: a chord with some noise, optionally driven into clipping. */
struct StereoProgramme
{
    explicit StereoProgramme (float drive)
    {
        std::mt19937 random (11);
        std::uniform_real_distribution<float> noise (-0.02f, 0.02f);

        for (int c = 0; c < channels; ++c)
        {
            blocks[(size_t) c] = std::make_unique<ZBuffer> (block, "programme");
            auto* x = blocks[(size_t) c]->getData();

            for (int i = 0; i < block; ++i)
            {
                const auto t = (double) i / sampleRate;
                const auto v =
                    drive
                        * (float) (0.5 * std::sin (2.0 * M_PI * 220.0 * t + c) + 0.3 * std::sin (2.0 * M_PI * 330.0 * t)
                                   + 0.2 * std::sin (2.0 * M_PI * 1250.0 * t))
                    + noise (random);
                x[i] = std::clamp (v, -1.0f, 1.0f);
            }
        }
    }

    std::array<std::unique_ptr<ZBuffer>, channels> blocks;
};

void reportRealTime (benchmark::State& state)
{
    // Each iteration processes one block of every channel.
    state.counters["xRealTime"] =
        benchmark::Counter ((double) state.iterations() * block / sampleRate, benchmark::Counter::kIsRate);
}

void declipper (benchmark::State& state)
{
    const bool enabled = state.range (0) != 0;
    const auto drive = (float) state.range (1) / 100.0f;
    StereoProgramme programme (drive);
    std::array<std::unique_ptr<ZDeclipping>, channels> declippers;
    ZBuffer out (block, "out");

    for (auto& d : declippers)
    {
        d = std::make_unique<ZDeclipping> (block, (float) sampleRate);
        d->setDefaults();
        d->reset();
        d->enabled = enabled;
    }

    for (auto _ : state)
        for (int c = 0; c < channels; ++c)
        {
            declippers[(size_t) c]->process (programme.blocks[(size_t) c].get(), &out, block);
            benchmark::DoNotOptimize (out.getData());
        }

    reportRealTime (state);
}
// Disabled; enabled on clean programme; enabled on programme driven 2x into clipping.
BENCHMARK (declipper)->ArgNames ({ "enabled", "drive%" })->Args ({ 0, 100 })->Args ({ 1, 100 })->Args ({ 1, 200 });

void softClip (benchmark::State& state)
{
    StereoProgramme programme (2.0f);
    std::array<std::unique_ptr<ZSoftClip>, channels> clips;
    ZBuffer out (block, "out");

    for (auto& c : clips)
    {
        c = ZSoftClip::create (block);
        c->setThresholdDb (-0.1f);
    }

    for (auto _ : state)
        for (int c = 0; c < channels; ++c)
        {
            clips[(size_t) c]->process (programme.blocks[(size_t) c].get(), &out);
            benchmark::DoNotOptimize (out.getData());
        }

    reportRealTime (state);
}
BENCHMARK (softClip);

void expander (benchmark::State& state)
{
    StereoProgramme programme (0.3f);
    std::array<std::unique_ptr<ZExpander>, channels> expanders;
    ZBuffer out (block, "out");

    for (auto& e : expanders)
    {
        e = std::make_unique<ZExpander>();
        e->setThreshold (0.15f);
        e->setMaxGainDb (0.0f);
        e->setReleaseMs (30.0f);
        e->setRatioBelow (4.0f);
        e->setSampleRate ((float) sampleRate);
        e->reset();
        e->enabled = true;
    }

    for (auto _ : state)
        for (int c = 0; c < channels; ++c)
        {
            expanders[(size_t) c]->process (programme.blocks[(size_t) c].get(), &out);
            benchmark::DoNotOptimize (out.getData());
        }

    reportRealTime (state);
}
BENCHMARK (expander);

void maximizer (benchmark::State& state)
{
    StereoProgramme programme (0.5f);
    std::array<std::unique_ptr<ZMaximizer>, channels> maximizers;
    ZBuffer out (block, "out");

    for (auto& m : maximizers)
    {
        m = std::make_unique<ZMaximizer> (block);
        m->initialize();
        m->setCeilingDb (-0.3f);
        m->setThresholdDb (-12.0f);
        m->enabled = true;
    }

    for (auto _ : state)
        for (int c = 0; c < channels; ++c)
        {
            maximizers[(size_t) c]->process (programme.blocks[(size_t) c].get(), &out);
            benchmark::DoNotOptimize (out.getData());
        }

    reportRealTime (state);
}
BENCHMARK (maximizer);
} // namespace

BENCHMARK_MAIN();
