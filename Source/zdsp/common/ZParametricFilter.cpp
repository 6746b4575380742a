#include "ZParametricFilter.h"

#include <algorithm>
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
    if (!(newFrequency > 0.0f) || !(newQ > 0.0f) || !std::isfinite (newFrequency) || !std::isfinite (newQ)
        || !std::isfinite (newGainDb))
        return;

    std::lock_guard<std::mutex> lock (writerMutex);
    const auto coefficients = computeCoefficients (newType, newFrequency, newQ, newGainDb, getSampleRate());

    for (auto value : coefficients)
        if (!std::isfinite (value))
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

    if (output->getLength() < input->getLength() || !(getSampleRate() > 0.0f))
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

    z1 = std::isfinite (s1) && !isZeroOrSubnormal (s1) ? s1 : 0.0f;
    z2 = std::isfinite (s2) && !isZeroOrSubnormal (s2) ? s2 : 0.0f;
}

namespace
{
/** Filter k of a group takes sample j: exactly what process does for one sample. */
template <int K>
void filterStep (float* x, const float (&c)[5][K], float (&s1)[K], float (&s2)[K], int k, int j)
{
    const auto in = x[j];
    const auto out = c[0][k] * in + s1[k];
    s1[k] = c[1][k] * in + (s2[k] - c[3][k] * out);
    s2[k] = c[2][k] * in - c[4][k] * out;
    x[j] = out;
}

/** Calls step (k, j) for K filters over n samples, interleaved: while filter 0 takes sample i, filter k takes
    sample i - k, which filter k - 1 finished one step earlier. Each filter takes its samples in order, as
    process does; the K recursions just run side by side instead of one after the other.
*/
template <int K, typename Step>
void runDiagonally (int n, Step&& step)
{
    const auto checked = [&] (int i)
    {
        for (int k = K - 1; k >= 0; --k)
            if (i - k >= 0 && i - k < n)
                step (k, i - k);
    };

    int i = 0;

    for (; i < K - 1 && i < n + K - 1; ++i)
        checked (i);

    for (; i < n; ++i)
        for (int k = K - 1; k >= 0; --k)
            step (k, i - k);

    for (; i < n + K - 1; ++i)
        checked (i);
}

/** K filters over one buffer in place, interleaved (see runDiagonally). */
template <int K>
void runInterleaved (float* x, int n, const float (&c)[5][K], float (&s1)[K], float (&s2)[K])
{
    runDiagonally<K> (n, [&] (int k, int j) { filterStep<K> (x, c, s1, s2, k, j); });
}

/** runInterleaved over two buffers with their own filters at once, sample by sample in turn: the two
    channels' recursions fill each other's waits.
*/
template <int K>
void runInterleavedPair (float* xa, float* xb, int n, const float (&ca)[5][K], float (&s1a)[K], float (&s2a)[K],
                         const float (&cb)[5][K], float (&s1b)[K], float (&s2b)[K])
{
    runDiagonally<K> (n,
                      [&] (int k, int j)
                      {
                          filterStep<K> (xa, ca, s1a, s2a, k, j);
                          filterStep<K> (xb, cb, s1b, s2b, k, j);
                      });
}

} // namespace

void ZParametricFilter::exportState (float& b0, float& b1, float& b2, float& a1, float& a2, float& s1,
                                     float& s2) const noexcept
{
    b0 = active[0];
    b1 = active[1];
    b2 = active[2];
    a1 = active[4];
    a2 = active[5];
    s1 = z1;
    s2 = z2;
}

void ZParametricFilter::importState (float s1, float s2) noexcept
{
    z1 = std::isfinite (s1) && !isZeroOrSubnormal (s1) ? s1 : 0.0f;
    z2 = std::isfinite (s2) && !isZeroOrSubnormal (s2) ? s2 : 0.0f;
}

template <int K>
void ZParametricFilter::runGroup (ZParametricFilter* const* group, float* x, int n)
{
    float c[5][K], s1[K], s2[K];

    for (int k = 0; k < K; ++k)
        group[k]->exportState (c[0][k], c[1][k], c[2][k], c[3][k], c[4][k], s1[k], s2[k]);

    runInterleaved<K> (x, n, c, s1, s2);

    for (int k = 0; k < K; ++k)
        group[k]->importState (s1[k], s2[k]);
}
template <int K>
void ZParametricFilter::runGroupPair (ZParametricFilter* const* groupA, ZParametricFilter* const* groupB, float* xa,
                                      float* xb, int n)
{
    float ca[5][K], s1a[K], s2a[K], cb[5][K], s1b[K], s2b[K];

    for (int k = 0; k < K; ++k)
    {
        groupA[k]->exportState (ca[0][k], ca[1][k], ca[2][k], ca[3][k], ca[4][k], s1a[k], s2a[k]);
        groupB[k]->exportState (cb[0][k], cb[1][k], cb[2][k], cb[3][k], cb[4][k], s1b[k], s2b[k]);
    }

    runInterleavedPair<K> (xa, xb, n, ca, s1a, s2a, cb, s1b, s2b);

    for (int k = 0; k < K; ++k)
    {
        groupA[k]->importState (s1a[k], s2a[k]);
        groupB[k]->importState (s1b[k], s2b[k]);
    }
}

void ZParametricFilter::processCascadePair (ZParametricFilter* const* a, ZParametricFilter* const* b, int count,
                                            ZBuffer* bufferA, ZBuffer* bufferB)
{
    constexpr int most = 16;
    ZParametricFilter* usableA[most];
    ZParametricFilter* usableB[most];
    int countA = 0, countB = 0;

    for (int k = 0; k < count && count <= most; ++k)
    {
        a[k]->takePending();
        b[k]->takePending();

        if (a[k]->getSampleRate() > 0.0f)
            usableA[countA++] = a[k];

        if (b[k]->getSampleRate() > 0.0f)
            usableB[countB++] = b[k];
    }

    const auto n = bufferA->getLength();

    if (count > most || countA != countB || n != bufferB->getLength())
    {
        processCascade (a, count, bufferA);
        processCascade (b, count, bufferB);
        return;
    }

    auto* xa = bufferA->getData();
    auto* xb = bufferB->getData();

    // The groups of four that processCascade makes, in the same order.
    for (int first = 0; first < countA; first += 4)
    {
        switch (std::min (4, countA - first))
        {
            case 1:
                runGroupPair<1> (usableA + first, usableB + first, xa, xb, n);
                break;
            case 2:
                runGroupPair<2> (usableA + first, usableB + first, xa, xb, n);
                break;
            case 3:
                runGroupPair<3> (usableA + first, usableB + first, xa, xb, n);
                break;
            default:
                runGroupPair<4> (usableA + first, usableB + first, xa, xb, n);
                break;
        }
    }
}

void ZParametricFilter::processCascade (ZParametricFilter* const* filters, int count, ZBuffer* buffer)
{
    auto* x = buffer->getData();
    const auto n = buffer->getLength();
    int next = 0;

    while (next < count)
    {
        // Up to four filters at a time; a filter without a usable rate passes its input, as in process.
        ZParametricFilter* group[4];
        int size = 0;

        while (next < count && size < 4)
        {
            auto* filter = filters[next++];
            filter->takePending();

            if (filter->getSampleRate() > 0.0f)
                group[size++] = filter;
        }

        switch (size)
        {
            case 1:
                runGroup<1> (group, x, n);
                break;
            case 2:
                runGroup<2> (group, x, n);
                break;
            case 3:
                runGroup<3> (group, x, n);
                break;
            case 4:
                runGroup<4> (group, x, n);
                break;
            default:
                break;
        }
    }
}

void ZParametricFilter::reset()
{
    z1 = 0.0f;
    z2 = 0.0f;
}

} // namespace vesk
