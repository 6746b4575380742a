#pragma once

#include "ZGain.h"

#include <memory>

namespace vesk
{

/** The accelerated kernels: vector code chosen at run time for the processor (see ZVectorKernels.h),
    each giving the element results of the vector library it stands in for (products computed normally,
    a zero power at -200 dB). scaleAddAt keeps the flushed products of the plain loop. Keeps a cached
    gain ramp between calls.
*/
class ZGainAccelerate : public ZGain
{
public:
    ZGainAccelerate();
    ~ZGainAccelerate() override = default;

    void scale (ZBuffer* buf, float gain) override;
    void multiply (ZBuffer* buf, ZBuffer* other) override;
    void scaleRamp (ZBuffer* buf, float g0, float g1) override;
    void scaleTo (ZBuffer* src, ZBuffer* dst, float gain) override;
    void multiplyTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst) override;
    void scaleRampTo (ZBuffer* src, ZBuffer* dst, float g0, float g1) override;
    void scaleAddTo (ZBuffer* src, ZBuffer* dst, float gain) override;
    void multiplyAddTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst) override;
    void powerToDecibels (ZBuffer* buf) override;
    void powerToDecibelsFloor (ZBuffer* buf, float floorDb) override;
    void complexMultiply (ZBuffer* aRe, ZBuffer* aIm, ZBuffer* bRe, ZBuffer* bIm, ZBuffer* outRe,
                          ZBuffer* outIm) override;
    void scaleAddAt (ZBuffer* src, ZBuffer* dst, unsigned offset, float gain) override;

    /** Length of the cached ramp, 0 before the first ramp. */
    unsigned getRampLength() const noexcept { return rampLength; }
    /** The cached ramp values, for inspection. */
    const float* getRamp() const noexcept { return ramp.get(); }

private:
    void updateRamp (unsigned n, float g0, float g1);
    void fillRamp();

    unsigned rampLength = 0;
    float rampStart = 0.0f, rampEnd = 0.0f;
    std::unique_ptr<float[]> ramp;
};

} // namespace vesk
