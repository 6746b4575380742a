#include "ZSignalWindow.h"

#include "vj_exception.h"

#include <algorithm>
#include <cmath>

namespace vesk
{

ZSignalWindow::ZSignalWindow()
{
    setName ("ZSignalWindow");
}

std::unique_ptr<ZSignalWindow> ZSignalWindow::create (int n, int kind, float parameter)
{
    auto window = std::make_unique<ZSignalWindow>();
    window->initialize (n, kind, parameter);
    return window;
}

void ZSignalWindow::initialize (int n, int kind, float)
{
    if (kind != hamming && kind != blackman)
        VJ_DSP_THROW ("Unknown window kind.");

    kernels = ZGain::create (false);
    window = std::make_unique<ZBuffer> (n, "mWindow");

    // The angle step is divided in double and rounded to float; the angle is a float product.
    const auto step = (float) (6.283185307179586 / (double) (n - 1));
    auto* w = window->getData();
    sum = 0.0f;
    sumOfSquares = 0.0f;

    for (int i = 0; i < n; ++i)
    {
        const auto angle = (float) i * step;
        const auto value = kind == hamming ? 0.54 - 0.46 * std::cos ((double) angle)
                                           : 0.42 - 0.5 * std::cos ((double) angle)
                                                 + 0.08 * std::cos (2.0 * (double) i * (double) step);
        w[i] = (float) value;
        sum += w[i];
        sumOfSquares += w[i] * w[i];
    }
}

void ZSignalWindow::apply (ZBuffer* buffer)
{
    const auto count = std::min (buffer->getLength(), window->getLength());
    auto* d = buffer->getData();
    const auto* w = window->getData();

    for (int i = 0; i < count; ++i)
        d[i] *= w[i];
}

void ZSignalWindow::applyTo (ZBuffer* source, ZBuffer* destination)
{
    kernels->multiplyTo (window.get(), source, destination);
}

} // namespace vesk
