#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"

#include <memory>

namespace vesk
{

/** A window of a chosen kind that also reports the sum and the sum of squares of its values. */
class ZSignalWindow : private ZDSPObject
{
public:
    enum Kind
    {
        hamming = 0,
        blackman = 3
    };

    ZSignalWindow();
    ~ZSignalWindow() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** Throws vj_dsp_exception for a kind other than Hamming (0) or Blackman (3). */
    static std::unique_ptr<ZSignalWindow> create (int n, int kind, float parameter);

    virtual void initialize (int n, int kind, float parameter);

    /** buffer[i] *= window[i] for i below both lengths. */
    virtual void apply (ZBuffer* buffer);

    /** destination[i] = window[i] * source[i] for i below n. */
    virtual void applyTo (ZBuffer* source, ZBuffer* destination);

    virtual float getSum() { return sum; }
    virtual float getSumOfSquares() { return sumOfSquares; }

    ZBuffer* getWindow() noexcept { return window.get(); }

private:
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZBuffer> window;
    float sum = 0.0f, sumOfSquares = 0.0f;
};

} // namespace vesk
