#include "ZGainAccelerate.h"

#include "ProcessorType.h"
#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <algorithm>
#include <cmath>

namespace vesk
{

namespace
{
// The float constant 1e-20 added before the logarithm, so that a power of 0 gives -200 dB.
constexpr float powerOffset = 1e-20f;

std::size_t lengthOf (const ZBuffer* buffer) noexcept
{
    return (std::size_t) std::max (buffer->getLength(), 0);
}
} // namespace

// The factory lives beside the implementation it picks: the portable kernels know nothing of this one.
std::unique_ptr<ZGain> ZGain::create (bool portable)
{
    if (portable)
        return std::make_unique<ZGain>();

    switch (getProcessorType())
    {
        case processorSSE:
        case processorSSE2:
            return std::make_unique<ZGainAccelerate>();
        case processorPlain:
        case processorAltiVec:
            return std::make_unique<ZGain>();
        default:
            VJ_DSP_THROW ("Could not create a ZGain object");
    }
}

ZGainAccelerate::ZGainAccelerate()
{
    setName ("ZGainAccelerate");
}

void ZGainAccelerate::scale (ZBuffer* buf, float gain)
{
    vectorKernels::scale (buf->getData(), lengthOf (buf), gain);
}

void ZGainAccelerate::multiply (ZBuffer* buf, ZBuffer* other)
{
    vectorKernels::multiply (buf->getData(), other->getData(), lengthOf (buf));
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
    vectorKernels::multiply (buf->getData(), ramp.get(), n);
}

void ZGainAccelerate::scaleTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    vectorKernels::scaleTo (src->getData(), dst->getData(), lengthOf (src), gain);
}

void ZGainAccelerate::multiplyTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    vectorKernels::multiplyTo (a->getData(), b->getData(), dst->getData(), lengthOf (a));
}

void ZGainAccelerate::scaleRampTo (ZBuffer* src, ZBuffer* dst, float g0, float g1)
{
    auto n = (unsigned) src->getLength();
    updateRamp (n, g0, g1);
    vectorKernels::multiplyTo (src->getData(), ramp.get(), dst->getData(), n);
}

void ZGainAccelerate::scaleAddTo (ZBuffer* src, ZBuffer* dst, float gain)
{
    vectorKernels::scaleAddTo (src->getData(), dst->getData(), lengthOf (src), gain);
}

void ZGainAccelerate::multiplyAddTo (ZBuffer* a, ZBuffer* b, ZBuffer* dst)
{
    vectorKernels::multiplyAddTo (a->getData(), b->getData(), dst->getData(), lengthOf (a));
}

void ZGainAccelerate::powerToDecibels (ZBuffer* buf)
{
    vectorKernels::powerToDecibels (buf->getData(), lengthOf (buf), powerOffset);
}

void ZGainAccelerate::powerToDecibelsFloor (ZBuffer* buf, float floorDb)
{
    auto floorPower = (float) std::pow (10.0, (double) (floorDb / 10.0f));
    vectorKernels::powerToDecibels (buf->getData(), lengthOf (buf), floorPower);
}

void ZGainAccelerate::complexMultiply (ZBuffer* aRe, ZBuffer* aIm, ZBuffer* bRe, ZBuffer* bIm, ZBuffer* outRe,
                                       ZBuffer* outIm)
{
    // Each element's inputs are read before its outputs are written, so outputs may alias inputs.
    vectorKernels::complexMultiply (aRe->getData(), aIm->getData(), bRe->getData(), bIm->getData(), outRe->getData(),
                                    outIm->getData(), lengthOf (outRe));
}

void ZGainAccelerate::scaleAddAt (ZBuffer* src, ZBuffer* dst, unsigned offset, float gain)
{
    vectorKernels::flushedScaleAddTo (src->getData(), dst->getData() + offset, lengthOf (src), gain);
}

} // namespace vesk
