#include "ZParametricFilter.h"

#include <cmath>
#include <cstring>

namespace vesk
{

namespace
{
    bool isZeroOrSubnormal (float x) noexcept
    {
        uint32_t bits;
        std::memcpy (&bits, &x, sizeof (bits));
        return ((bits >> 23) & 0xffu) == 0;
    }
} // namespace

ZParametricFilter::ZParametricFilter() = default;

std::unique_ptr<ZParametricFilter> ZParametricFilter::create (float rate)
{
    auto filter = std::make_unique<ZParametricFilter>();
    filter->sampleRate.store (rate, std::memory_order_relaxed);
    filter->setParameters (bypass, 1.0f, 1.0f, 1.0f);
    return filter;
}

ZParametricFilter::Coefficients ZParametricFilter::computeCoefficients (int type, float frequency, float q,
                                                                       float gainDb, float rate)
{
    const auto f = frequency >= 0.5f * rate ? 0.95f * rate * 0.5f : frequency;
    const auto w0 = f * 6.2831855f / rate;
    const auto c = std::cos ((double) w0);
    const auto s = std::sin ((double) w0);
    const auto A = std::pow (10.0, (double) (gainDb / 40.0f));
    const auto alpha = s * std::sinh (1.0 / (2.0 * (double) q));
    const auto beta = s * std::sqrt (std::max (0.0, (A * A + 1.0) / (double) q - (A - 1.0) * (A - 1.0)));

    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;

    switch (type)
    {
        case peaking:
            b0 = 1 + alpha * A;
            b1 = -2 * c;
            b2 = 1 - alpha * A;
            a0 = 1 + alpha / A;
            a1 = -2 * c;
            a2 = 1 - alpha / A;
            break;
        case lowShelf:
            b0 = A * ((A + 1) - (A - 1) * c + beta);
            b1 = 2 * A * ((A - 1) - (A + 1) * c);
            b2 = A * ((A + 1) - (A - 1) * c - beta);
            a0 = (A + 1) + (A - 1) * c + beta;
            a1 = -2 * ((A - 1) + (A + 1) * c);
            a2 = (A + 1) + (A - 1) * c - beta;
            break;
        case highShelf:
            b0 = A * ((A + 1) + (A - 1) * c + beta);
            b1 = -2 * A * ((A - 1) + (A + 1) * c);
            b2 = A * ((A + 1) + (A - 1) * c - beta);
            a0 = (A + 1) - (A - 1) * c + beta;
            a1 = 2 * ((A - 1) - (A + 1) * c);
            a2 = (A + 1) - (A - 1) * c - beta;
            break;
        case lowPass:
            b0 = (1 - c) / 2;
            b1 = 1 - c;
            b2 = (1 - c) / 2;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        case highPass:
            b0 = (1 + c) / 2;
            b1 = -(1 + c);
            b2 = (1 + c) / 2;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        case bandPass:
            b0 = alpha;
            b1 = 0;
            b2 = -alpha;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        case notch:
            b0 = 1;
            b1 = -2 * c;
            b2 = 1;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        default:
            break;
    }

    return { (float) (b0 / a0), (float) (b1 / a0), (float) (b2 / a0), 1.0f, (float) (a1 / a0), (float) (a2 / a0) };
}

void ZParametricFilter::setParameters (int newType, float newFrequency, float newQ, float newGainDb)
{
    if (! (newFrequency > 0.0f) || ! (newQ > 0.0f) || ! std::isfinite (newFrequency) || ! std::isfinite (newQ)
        || ! std::isfinite (newGainDb))
        return;

    std::lock_guard<std::mutex> lock (writerMutex);
    const auto coefficients = computeCoefficients (newType, newFrequency, newQ, newGainDb, getSampleRate());

    for (auto value : coefficients)
        if (! std::isfinite (value))
            return;

    type = newType;
    frequency = newFrequency;
    q = newQ;
    gainDb = newGainDb;
    publish (coefficients);
}

void ZParametricFilter::setSampleRate (float rate)
{
    sampleRate.store (rate, std::memory_order_relaxed);
    setParameters (type, frequency, q, gainDb);
}

void ZParametricFilter::publish (const Coefficients& coefficients)
{
    // Odd while the set is being written; the reader installs only an even, unchanged count.
    const auto sequence = pendingSequence.load (std::memory_order_relaxed);
    pendingSequence.store (sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence (std::memory_order_release);

    for (size_t i = 0; i < coefficients.size(); ++i)
        pending[i].store (coefficients[i], std::memory_order_relaxed);

    pendingSequence.store (sequence + 2, std::memory_order_release);
}

void ZParametricFilter::takePending()
{
    const auto before = pendingSequence.load (std::memory_order_acquire);

    if (before == installedSequence || (before & 1u) != 0)
        return;

    Coefficients candidate;

    for (size_t i = 0; i < candidate.size(); ++i)
        candidate[i] = pending[i].load (std::memory_order_relaxed);

    std::atomic_thread_fence (std::memory_order_acquire);

    if (pendingSequence.load (std::memory_order_relaxed) != before)
        return; // a newer set is being written: keep the current one for this block

    active = candidate;
    installedSequence = before;
}

void ZParametricFilter::process (ZBuffer* input, ZBuffer* output)
{
    takePending();

    if (output->getLength() < input->getLength() || ! (getSampleRate() > 0.0f))
        return;

    const auto b0 = active[0], b1 = active[1], b2 = active[2], a1 = active[4], a2 = active[5];
    const auto* x = input->getData();
    auto* y = output->getData();
    auto s1 = z1, s2 = z2;

    for (int i = 0, n = input->getLength(); i < n; ++i)
    {
        const auto in = x[i];
        const auto out = b0 * in + s1;
        s1 = b1 * in + (s2 - a1 * out);
        s2 = b2 * in - a2 * out;
        y[i] = out;
    }

    z1 = std::isfinite (s1) && ! isZeroOrSubnormal (s1) ? s1 : 0.0f;
    z2 = std::isfinite (s2) && ! isZeroOrSubnormal (s2) ? s2 : 0.0f;
}

void ZParametricFilter::reset()
{
    z1 = 0.0f;
    z2 = 0.0f;
}

} // namespace vesk
