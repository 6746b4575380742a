#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"

#include <memory>

namespace vesk
{

/** A one-block look-ahead gain rider: every block leaves one call late, scaled by a linear ramp that
    ends at the lower of its own required gain and that of the block after it, so that no block is
    output above the threshold.

    A block whose peak p exceeds the threshold needs threshold * 0.9999 / p; any other block needs 1.
*/
class ZSoftClip : private ZDSPObject
{
public:
    ZSoftClip();
    ~ZSoftClip() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZSoftClip> create (int blockSize);

    /** Block size n (samples, also the latency); threshold and both gains 1; buffers cleared. */
    virtual void initialize (int blockSize);

    /** Threshold := 10^(dB / 20). */
    virtual void setThresholdDb (float dB);

    /** The block size, in samples. */
    virtual int getLatency();

    /** in and out hold at least block size samples and may be the same buffer; shorter buffers are
        refused and out is left untouched.
    */
    virtual void process (ZBuffer* in, ZBuffer* out);

    /** Clears the delayed and the look-ahead block; the gains are kept. */
    virtual void reset();

    /** New cleared buffers for n samples; the gains are kept. */
    bool setBlockSize (long n);

    float getThreshold() const noexcept { return threshold; }
    float getNextGain() const noexcept { return nextGain; }
    float getCurrentGain() const noexcept { return currentGain; }

private:
    bool limiting = true;
    int blockSize = 0;
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZBuffer> internalBuffer, lookAheadBuffer;
    float threshold = 1.0f;
    float nextGain = 1.0f;
    float currentGain = 1.0f;
};

} // namespace vesk
