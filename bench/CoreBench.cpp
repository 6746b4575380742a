// Times the 1024-point real transform pair and the twelve vector kernels at the sizes the library uses.
#include "ZFourierTransform.h"
#include "ZGain.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vesk;

namespace
{
std::unique_ptr<ZBuffer> noiseBuffer (int n, uint32_t seed, float low = -1.0f, float high = 1.0f)
{
    auto buffer = std::make_unique<ZBuffer> (n, "bench");
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> distribution (low, high);
    for (int i = 0; i < n; ++i)
        buffer->getData()[i] = distribution (random);
    return buffer;
}

void fourierRoundTrip1024 (benchmark::State& state)
{
    auto forward = ZFourierTransform::create (10, 0, 1);
    auto inverse = ZFourierTransform::create (10, 1, 1);
    auto time = noiseBuffer (1024, 1);
    ZBuffer re (513, "re"), im (513, "im");

    for (auto _ : state)
    {
        forward->transformReal (time.get(), &re, &im);
        inverse->transformReal (time.get(), &re, &im);
        benchmark::DoNotOptimize (time->getData());
    }

    state.SetItemsProcessed (state.iterations());
}
BENCHMARK (fourierRoundTrip1024);

enum Kernel
{
    scale,
    multiply,
    scaleRamp,
    scaleTo,
    multiplyTo,
    scaleRampTo,
    scaleAddTo,
    multiplyAddTo,
    scaleAddAt,
    powerToDecibels,
    powerToDecibelsFloor,
    complexMultiply
};

void kernel (benchmark::State& state)
{
    const auto which = (Kernel) state.range (0);
    const auto n = (int) state.range (1);
    auto kernels = ZGain::create (false);
    auto a = noiseBuffer (n, 1, 0.0f, 1.0f), b = noiseBuffer (n, 2, 0.0f, 1.0f), c = noiseBuffer (n, 3, 0.0f, 1.0f),
         d = noiseBuffer (n, 4), e = noiseBuffer (n, 5), f = noiseBuffer (n, 6);
    auto wide = noiseBuffer (2 * n, 7);

    for (auto _ : state)
    {
        switch (which)
        {
            case scale:
                kernels->scale (a.get(), 1.0f);
                break;
            case multiply:
                kernels->multiply (a.get(), b.get());
                break;
            case scaleRamp:
                kernels->scaleRamp (a.get(), 1.0f, 1.0f);
                break;
            case scaleTo:
                kernels->scaleTo (a.get(), c.get(), 0.5f);
                break;
            case multiplyTo:
                kernels->multiplyTo (a.get(), b.get(), c.get());
                break;
            case scaleRampTo:
                kernels->scaleRampTo (a.get(), c.get(), 0.0f, 1.0f);
                break;
            case scaleAddTo:
                kernels->scaleAddTo (a.get(), d.get(), 1e-9f);
                break;
            case multiplyAddTo:
                kernels->multiplyAddTo (a.get(), b.get(), d.get());
                break;
            case scaleAddAt:
                kernels->scaleAddAt (a.get(), wide.get(), (unsigned) n / 2, 1e-9f);
                break;
            case powerToDecibels:
                c->copyFrom (*a);
                kernels->powerToDecibels (c.get());
                break;
            case powerToDecibelsFloor:
                c->copyFrom (*a);
                kernels->powerToDecibelsFloor (c.get(), -120.0f);
                break;
            case complexMultiply:
                kernels->complexMultiply (a.get(), b.get(), d.get(), e.get(), f.get(), c.get());
                break;
        }

        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * n);
}

void kernelArguments (benchmark::internal::Benchmark* b)
{
    b->ArgNames ({ "kernel", "n" });
    for (int k = scale; k <= complexMultiply; ++k)
        for (int n : { 256, 512, 513, 1024 })
            b->Args ({ k, n });
}
BENCHMARK (kernel)->Apply (kernelArguments);
} // namespace

BENCHMARK_MAIN();
