#include "ZGain.h"

#include "vj_exception.h"

#include <cmath>
#include <cstring>

namespace vesk
{

ZGain::ZGain()
{
    setName ("ZGain");
}

float ZGain::rampStep (int n, float g0, float g1) noexcept
{
    return n < 2 ? 0.0f : (g1 - g0) / (float) (n - 1);
}

void ZGain::scale (ZBuffer* buf, float gain)
{
    auto* d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] *= gain;
}

void ZGain::multiply (ZBuffer* buf, ZBuffer* other)
{
    auto* d = buf->getData();
    auto* o = other->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] *= o[i];
}

void ZGain::scaleRamp (ZBuffer* buf, float g0, float g1)
{
    auto n = buf->getLength();
    auto step = rampStep (n, g0, g1);
    auto* d = buf->getData();
    auto gain = g0;

    for (int i = 0; i < n; ++i)
    {
        d[i] *= gain;
        gain += step;
    }
}

void ZGain::scaleTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    auto* s = src->getData();
    auto* d = dst->getData();
    for (int i = 0, n = src->getLength(); i < n; ++i)
        d[i] = flushedProduct (s[i], gain);
}

void ZGain::multiplyTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    auto* x = a->getData();
    auto* y = b->getData();
    auto* d = dst->getData();
    for (int i = 0, n = a->getLength(); i < n; ++i)
        d[i] = flushedProduct (x[i], y[i]);
}

void ZGain::scaleRampTo (ZBuffer* src, ZBuffer* dst, float g0, float g1)
{
    auto n = src->getLength();
    auto step = rampStep (n, g0, g1);
    auto* s = src->getData();
    auto* d = dst->getData();
    auto gain = g0;

    for (int i = 0; i < n; ++i)
    {
        d[i] = flushedProduct (s[i], gain);
        gain += step;
    }
}

void ZGain::scaleAddTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    auto* s = src->getData();
    auto* d = dst->getData();
    for (int i = 0, n = src->getLength(); i < n; ++i)
        d[i] += flushedProduct (s[i], gain);
}

void ZGain::multiplyAddTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    auto* x = a->getData();
    auto* y = b->getData();
    auto* d = dst->getData();
    for (int i = 0, n = a->getLength(); i < n; ++i)
        d[i] += flushedProduct (x[i], y[i]);
}

void ZGain::scaleAddAt (ZBuffer* src, ZBuffer* dst, unsigned offset, float gain)
{
    auto* s = src->getData();
    auto* d = dst->getData() + offset;
    for (int i = 0, n = src->getLength(); i < n; ++i)
        d[i] += flushedProduct (s[i], gain);
}

void ZGain::powerToDecibels (ZBuffer* buf)
{
    auto* d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = d[i] > 2.5118843e-10f ? (float) (10.0 * std::log10 ((double) d[i])) : -96.0f;
}

void ZGain::powerToDecibelsFloor (ZBuffer* buf, float floorDb)
{
    auto threshold = (float) std::pow (10.0, (double) (floorDb / 10.0f));
    auto* d = buf->getData();
    for (int i = 0, n = buf->getLength(); i < n; ++i)
        d[i] = d[i] > threshold ? (float) (10.0 * std::log10 ((double) d[i])) : floorDb;
}

void ZGain::complexMultiply (ZBuffer* aRe, ZBuffer* aIm, ZBuffer* bRe, ZBuffer* bIm, ZBuffer* outRe, ZBuffer* outIm)
{
    auto* ar = aRe->getData();
    auto* ai = aIm->getData();
    auto* br = bRe->getData();
    auto* bi = bIm->getData();
    auto* r = outRe->getData();
    auto* m = outIm->getData();

    for (int i = 0, n = outRe->getLength(); i < n; ++i)
    {
        auto re = ar[i] * br[i] - ai[i] * bi[i];
        auto im = ar[i] * bi[i] + ai[i] * br[i];
        r[i] = re;
        m[i] = im;
    }
}

} // namespace vesk
