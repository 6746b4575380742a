#include "ZSpectralSmoother.h"

#include "ZVectorKernels.h"

#include <algorithm>
#include <cmath>

namespace vesk
{

ZSpectralSmoother::ZSpectralSmoother()
{
    setName ("ZSpectralSmoother");
}

std::unique_ptr<ZSpectralSmoother> ZSpectralSmoother::create (unsigned n)
{
    auto smoother = std::make_unique<ZSpectralSmoother>();
    smoother->initialize (n);
    return smoother;
}

void ZSpectralSmoother::initialize (unsigned n)
{
    tapCount = n;
    kernel = std::make_unique<float[]> (std::max (n, 1u));

    // The falling half of a Hamming window of length 2n.
    for (unsigned j = 0; j < n; ++j)
    {
        const auto angle = 6.2831855f * (float) (n + j) / (float) (2 * n);
        kernel[j] = (float) (0.54 - 0.46 * std::cos (angle));
    }

    float sum = n > 0 ? kernel[0] : 0.0f;

    for (unsigned j = 1; j < n; ++j)
        sum += 2.0f * kernel[j];

    for (unsigned j = 0; j < n; ++j)
        kernel[j] /= sum;
}

void ZSpectralSmoother::smoothUpper (ZBuffer* in, ZBuffer* out)
{
    const auto length = in->getLength();
    const auto n = (int) tapCount;
    const auto start = std::min (std::max (length / 16, n - 1), length);
    const auto end = std::max (length - n, start);
    const auto* x = in->getData();
    auto* y = out->getData();
    const auto* w = kernel.get();

    std::copy (x, x + start, y);

    if (end > start)
        vectorKernels::symmetricFilter (x, y, w, n, (std::size_t) start, (std::size_t) end);

    std::copy (x + end, x + length, y + end);
}

} // namespace vesk
