#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace vesk
{

/** The vector kernels through which the DSP classes do their element-wise work on ZBuffers.

    n is the length of the buffer the kernel names first (see each kernel); no kernel checks that the
    other operands are as long. The ramp r(i) runs from g0 at i = 0 to g1 at i = n - 1.

    This class is the plain-loop variant: its "To" and accumulating kernels flush a product to +0 when
    the exponent fields of the two factors add up to less than 128. ZGainAccelerate computes every
    product normally.
*/
class ZGain : public ZDSPObject
{
public:
    ZGain();
    ~ZGain() override = default;

    /** A portable ZGain when asked, else the accelerated variant on processors with SSE or SSE2. */
    static std::unique_ptr<ZGain> create (bool portable);

    /** buf[i] *= gain */
    virtual void scale (ZBuffer* buf, float gain);
    /** buf[i] *= other[i] */
    virtual void multiply (ZBuffer* buf, ZBuffer* other);
    /** buf[i] *= r(i) */
    virtual void scaleRamp (ZBuffer* buf, float g0, float g1);
    /** dst[i] = src[i] * gain, n from src */
    virtual void scaleTo (ZBuffer* src, ZBuffer* dst, float gain);
    /** dst[i] = a[i] * b[i], n from a */
    virtual void multiplyTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst);
    /** dst[i] = src[i] * r(i), n from src */
    virtual void scaleRampTo (ZBuffer* src, ZBuffer* dst, float g0, float g1);
    /** dst[i] += src[i] * gain, n from src */
    virtual void scaleAddTo (ZBuffer* src, ZBuffer* dst, float gain);
    /** dst[i] += a[i] * b[i], n from a */
    virtual void multiplyAddTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst);
    /** dst[offset + i] += src[i] * gain, n from src */
    virtual void scaleAddAt (ZBuffer* src, ZBuffer* dst, unsigned offset, float gain);
    /** buf[i] = 10 log10 (buf[i]) as a power in dB */
    virtual void powerToDecibels (ZBuffer* buf);
    /** buf[i] = 10 log10 (buf[i]) with a floor in dB */
    virtual void powerToDecibelsFloor (ZBuffer* buf, float floorDb);
    /** out = a * b as complex numbers, n from outRe; outputs may alias any input */
    virtual void complexMultiply (ZBuffer* aRe, ZBuffer* aIm, ZBuffer* bRe, ZBuffer* bIm, ZBuffer* outRe,
                                  ZBuffer* outIm);

    /** The product x * y, or +0 when the sum of the two exponent fields is below 128. Inline: the
        per-sample loops of the click and crackle processors call it several times a sample.
    */
    static float flushedProduct (float x, float y) noexcept
    {
        uint32_t bx, by;
        std::memcpy (&bx, &x, sizeof (bx));
        std::memcpy (&by, &y, sizeof (by));
        const auto exponents = ((bx >> 23) & 0xffu) + ((by >> 23) & 0xffu);
        return exponents < 128u ? 0.0f : x * y;
    }

    /** The ramp step (g1 - g0) / (n - 1), or 0 when n is below 2. */
    static float rampStep (int n, float g0, float g1) noexcept;
};

} // namespace vesk
