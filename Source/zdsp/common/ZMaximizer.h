#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"

#include <atomic>
#include <memory>

namespace vesk
{

/** A one-block look-ahead gain rider that raises the level by a make-up gain (ceiling / threshold)
    and rides louder blocks down so that their peaks land at the ceiling.

    Every block leaves one call late, scaled by a linear ramp that ends at the lower of its own
    required gain and that of the block after it; every gain is multiplied by a margin of 0.9998849.
    Latency: the block size.
*/
class ZMaximizer : private ZDSPObject
{
public:
    static constexpr float margin = 0.9998849f;

    explicit ZMaximizer (int blockSize);
    ~ZMaximizer() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** Make-up gain, threshold and ceiling 1; disabled; then reset. */
    virtual void initialize();
    /** Ceiling := 10^(dB / 20). */
    virtual void setCeilingDb (float dB);
    /** Threshold := 10^(dB / 20). */
    virtual void setThresholdDb (float dB);
    virtual float getThresholdDb() { return thresholdDb; }
    /** Ceiling / threshold, linear. */
    virtual float getMakeupGain() { return makeupGain; }
    virtual float getCeilingDb() { return ceilingDb; }
    /** The block size, in samples. */
    virtual int getLatency() { return blockSize; }
    /** in and out hold at least block size samples and may be the same buffer; shorter buffers are
        refused and out is left untouched.
    */
    virtual void process (ZBuffer* in, ZBuffer* out);
    /** Silences both blocks; next and current gain := 1. */
    virtual void reset();

    /** Riding on; written by the owner from any thread, read once per block. */
    std::atomic<bool> enabled { false };

    float getNextGain() const noexcept { return nextGain; }
    float getCurrentGain() const noexcept { return currentGain; }

private:
    int blockSize = 0;
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZBuffer> internalBuffer, lookAheadBuffer;
    float ceiling = 1.0f;
    float threshold = 1.0f;
    float ceilingDb = 0.0f;
    float thresholdDb = 0.0f;
    float makeupGain = 1.0f;
    float nextGain = 1.0f;
    float currentGain = 1.0f;
};

} // namespace vesk
