#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <memory>

namespace vesk
{

/** A symmetric smoothing filter of 2n - 1 taps that runs across the bins of a spectrum. */
class ZSpectralSmoother : private ZDSPObject
{
public:
    ZSpectralSmoother();
    ~ZSpectralSmoother() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZSpectralSmoother> create (unsigned n);

    /** Builds the one-sided kernel of n taps, normalised so that the symmetric kernel sums to 1. */
    virtual void initialize (unsigned n);

    /** Fills out from in (distinct buffers of one length N >= n); bins below max (N / 16, n - 1) and
        from N - n on pass unchanged.
    */
    virtual void smoothUpper (ZBuffer* in, ZBuffer* out);

    unsigned getTapCount() const noexcept { return tapCount; }
    const float* getKernel() const noexcept { return kernel.get(); }

private:
    unsigned tapCount = 0;
    std::unique_ptr<float[]> kernel;
};

} // namespace vesk
