#include "ZGainAccelerate.h"

#include <cmath>

namespace vesk
{

namespace
{
    // The float constant 1e-20 added before the logarithm, so that a power of 0 gives -200 dB.
    constexpr float powerOffset = 1e-20f;

    inline float powerDb (float power) noexcept
    {
        return (float) (10.0 * std::log10 ((double) power));
    }
} // namespace

ZGainAccelerate::ZGainAccelerate()
{
    setName ("ZGainAccelerate");
}

void ZGainAccelerate::scale (ZBuffer* buf, float gain)
{
    auto* __restrict d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = d[i] * gain;
}

void ZGainAccelerate::multiply (ZBuffer* buf, ZBuffer* other)
{
    auto* d = buf->getData();
    auto* o = other->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = d[i] * o[i];
}

void ZGainAccelerate::fillRamp()
{
    // r(i) = g0 + i (g1 - g0) / (n - 1), evaluated in double so that the last value is exactly g1.
    auto n = rampLength;
    auto step = n < 2 ? 0.0 : ((double) rampEnd - (double) rampStart) / (double) (n - 1);

    for (unsigned i = 0; i < n; ++i)
        ramp[i] = (float) ((double) rampStart + (double) i * step);

    if (n >= 2)
        ramp[n - 1] = rampEnd;
}

void ZGainAccelerate::updateRamp (unsigned n, float g0, float g1)
{
    if (n == rampLength && g0 == rampStart && g1 == rampEnd && ramp != nullptr)
        return;

    if (n != rampLength || ramp == nullptr)
    {
        ramp.reset();
        ramp = std::unique_ptr<float[]> (new float[std::max (n, 1u)]);
        rampLength = n;
    }

    rampStart = g0;
    rampEnd = g1;
    fillRamp();
}

void ZGainAccelerate::scaleRamp (ZBuffer* buf, float g0, float g1)
{
    auto n = (unsigned) buf->getLength();
    updateRamp (n, g0, g1);

    auto* d = buf->getData();
    auto* r = ramp.get();
    for (unsigned i = 0; i < n; ++i)
        d[i] = d[i] * r[i];
}

void ZGainAccelerate::scaleTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    auto* s = src->getData();
    auto* d = dst->getData();
    for (int i = 0, n = src->getLength(); i < n; ++i)
        d[i] = s[i] * gain;
}

void ZGainAccelerate::multiplyTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    auto* x = a->getData();
    auto* y = b->getData();
    auto* d = dst->getData();
    for (int i = 0, n = a->getLength(); i < n; ++i)
        d[i] = x[i] * y[i];
}

void ZGainAccelerate::scaleRampTo (ZBuffer* src, ZBuffer* dst, float g0, float g1)
{
    auto n = (unsigned) src->getLength();
    updateRamp (n, g0, g1);

    auto* s = src->getData();
    auto* d = dst->getData();
    auto* r = ramp.get();
    for (unsigned i = 0; i < n; ++i)
        d[i] = s[i] * r[i];
}

void ZGainAccelerate::scaleAddTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    auto* s = src->getData();
    auto* d = dst->getData();
    for (int i = 0, n = src->getLength(); i < n; ++i)
        d[i] = s[i] * gain + d[i];
}

void ZGainAccelerate::multiplyAddTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    auto* x = a->getData();
    auto* y = b->getData();
    auto* d = dst->getData();
    for (int i = 0, n = a->getLength(); i < n; ++i)
        d[i] = x[i] * y[i] + d[i];
}

void ZGainAccelerate::powerToDecibels (ZBuffer* buf)
{
    auto* d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = powerDb (d[i] + powerOffset);
}

void ZGainAccelerate::powerToDecibelsFloor (ZBuffer* buf, float floorDb)
{
    auto floorPower = (float) std::pow (10.0, (double) (floorDb / 10.0f));
    auto* d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = powerDb (d[i] + floorPower);
}

void ZGainAccelerate::complexMultiply (ZBuffer* aRe, ZBuffer* aIm, ZBuffer* bRe, ZBuffer* bIm, ZBuffer* outRe,
                                       ZBuffer* outIm)
{
    auto n = (unsigned) outRe->getLength();

    if (n > scratchCapacity)
    {
        scratchA.reset();
        scratchB.reset();
        scratchA = std::unique_ptr<float[]> (new float[n]);
        scratchB = std::unique_ptr<float[]> (new float[n]);
        scratchCapacity = n;
    }

    auto* ar = aRe->getData();
    auto* ai = aIm->getData();
    auto* br = bRe->getData();
    auto* bi = bIm->getData();
    auto* a = scratchA.get();
    auto* b = scratchB.get();

    for (unsigned i = 0; i < n; ++i)
        a[i] = ai[i] * bi[i];
    for (unsigned i = 0; i < n; ++i)
        b[i] = ar[i] * br[i] - a[i];
    for (unsigned i = 0; i < n; ++i)
        a[i] = ai[i] * br[i];

    auto* im = outIm->getData();
    for (unsigned i = 0; i < n; ++i)
        im[i] = ar[i] * bi[i] + a[i];

    auto* re = outRe->getData();
    for (unsigned i = 0; i < n; ++i)
        re[i] = b[i];
}

} // namespace vesk
