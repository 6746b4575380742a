#include "ZHammingWindow.h"

#include "vj_exception.h"

#include "ZVectorKernels.h"

#include <algorithm>
#include <cmath>

namespace vesk
{

ZHammingWindow::ZHammingWindow()
{
    setName ("ZHammingWindow");
}

std::unique_ptr<ZHammingWindow> ZHammingWindow::create (int n)
{
    auto window = std::make_unique<ZHammingWindow>();
    window->initialize (n);
    return window;
}

void ZHammingWindow::initialize (int n)
{
    kernels = ZGain::create (false);
    window = std::make_unique<ZBuffer> (n, "mWindow");

    // The angle step is divided in float; the cosine is taken in double.
    const auto step = 6.2831855f / (float) (n - 1);
    auto* w = window->getData();

    for (int i = 0; i < n; ++i)
        w[i] = (float) (0.54 - 0.46 * std::cos ((double) ((float) i * step)));
}

void ZHammingWindow::normalizeForOverlap (int k)
{
    const auto n = window->getLength();

    if (k < 1 || k > n)
        VJ_DSP_THROW ("Improper overlap for the window.");

    const auto stride = n / k;
    const auto* w = window->getData();
    float sumOfSquares = 0.0f;

    for (int i = 0; i < n; i += stride)
        sumOfSquares += w[i] * w[i];

    kernels->scale (window.get(), 1.0f / sumOfSquares);
}

void ZHammingWindow::apply (ZBuffer* buffer)
{
    const auto count = std::min (buffer->getLength(), window->getLength());
    if (count > 0)
        vectorKernels::multiply (buffer->getData(), window->getData(), (std::size_t) count);
}

} // namespace vesk
