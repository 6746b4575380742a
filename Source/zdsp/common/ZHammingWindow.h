#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"

#include <memory>

namespace vesk
{

/** A Hamming window of n points, optionally normalised for k overlapping segments. */
class ZHammingWindow : private ZDSPObject
{
public:
    ZHammingWindow();
    ~ZHammingWindow() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZHammingWindow> create (int n);

    virtual void initialize (int n);

    /** Scales the window by 1 / S, S the sum of squares of every (n / k)-th value. */
    virtual void normalizeForOverlap (int k);

    /** buffer[i] *= window[i] for i below both lengths. */
    virtual void apply (ZBuffer* buffer);

    ZBuffer* getWindow() noexcept { return window.get(); }

private:
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZBuffer> window;
};

} // namespace vesk
