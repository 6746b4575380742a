#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <cstdint>
#include <memory>

namespace vesk
{

/** A delay line: blocks are written in, and a block can be read back as it was some samples earlier.
    A read is meaningful while delay + count does not exceed the capacity.
*/
class ZDelayBuffer : public ZDSPObject
{
public:
    ZDelayBuffer();
    ~ZDelayBuffer() override = default;

    static std::unique_ptr<ZDelayBuffer> create (int samples);

    /** Capacity = the smallest power of two not below samples (1 for 0 or 1); ring zeroed. */
    void allocate (unsigned samples);

    /** Zeroes the ring and rewinds the write position. */
    void reset();

    /** Appends all samples of the block. */
    void write (ZBuffer* block);

    /** Appends the first count samples of the block. */
    void writeSamples (ZBuffer* block, unsigned count);

    /** Fills the whole block so that its last sample is the one written delay samples before the newest. */
    void read (ZBuffer* block, int delay);

    /** The same for the first count samples of the block. */
    void readSamples (ZBuffer* block, unsigned delay, int count);

    unsigned getCapacity() const noexcept { return capacity; }

private:
    std::unique_ptr<float[]> ring;
    uint32_t writeIndex = 0, capacity = 0, mask = 0;
};

} // namespace vesk
