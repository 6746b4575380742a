#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <cstdint>
#include <memory>

namespace vesk
{

/** A first-in first-out queue between a writer of blocks of one size and a reader of another.

    The counts run freely and wrap at 2^32; the capacity is a power of two that divides 2^32.
    A writer that outruns the reader overwrites unread samples, which the next read detects and answers
    by emptying the queue.
*/
class ZBufferSizeConverter : public ZDSPObject
{
public:
    ZBufferSizeConverter();
    ~ZBufferSizeConverter() override = default;

    static std::unique_ptr<ZBufferSizeConverter> create (int inputSize, int outputSize);

    /** Stores both sizes, sizes and zeroes the ring, and empties the queue. */
    void configure (int inputSize, int outputSize);

    /** Zeroes the ring and empties the queue. */
    void reset();

    /** Appends all samples of the block; false, and nothing written, when it exceeds the capacity. */
    bool write (ZBuffer* block);

    /** Appends the first count samples; false, and nothing written, when count exceeds the capacity. */
    bool writeSamples (ZBuffer* block, unsigned count);

    /** Takes the block's length of samples when that many are unread; otherwise false and the block
        keeps its contents. An overrun empties the queue and returns false.
    */
    bool read (ZBuffer* block);

    /** Takes count samples when at least count are unread; otherwise false and nothing changes. */
    bool readSamples (ZBuffer* block, unsigned count);

    /** Number of unread samples. */
    unsigned getAvailable() const noexcept { return writeCount - readCount; }
    unsigned getCapacity() const noexcept { return capacity; }
    int getInputSize() const noexcept { return inputSize; }
    int getOutputSize() const noexcept { return outputSize; }

    /** The ring capacity for the given block sizes: 4 times the largest power of two not above
        inputSize + outputSize - 1, or 2 when that sum is 0.
    */
    static unsigned capacityFor (int inputSize, int outputSize) noexcept;

private:
    void copyIn (const float* source, unsigned count);
    void copyOut (float* destination, unsigned count);

    std::unique_ptr<float[]> ring;
    uint32_t writeCount = 0, readCount = 0;
    int inputSize = 0, outputSize = 0;
    uint32_t capacity = 0, mask = 0;
};

} // namespace vesk
