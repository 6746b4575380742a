#include "ZDelayBuffer.h"

#include "vj_exception.h"

#include <algorithm>
#include <new>

namespace vesk
{

ZDelayBuffer::ZDelayBuffer()
{
    setName ("ZDelayBuffer");
}

std::unique_ptr<ZDelayBuffer> ZDelayBuffer::create (int samples)
{
    auto delay = std::make_unique<ZDelayBuffer>();
    delay->allocate ((unsigned) std::max (samples, 0));
    return delay;
}

void ZDelayBuffer::allocate (unsigned samples)
{
    if (samples > (1u << 30))
        VJ_DSP_THROW ("Unable to allocate float buffer.");

    uint32_t newCapacity = 1;
    while (newCapacity < samples)
        newCapacity *= 2;

    std::unique_ptr<float[]> newRing (new (std::nothrow) float[newCapacity]());

    if (newRing == nullptr)
        VJ_DSP_THROW ("Unable to allocate float buffer.");

    ring = std::move (newRing);
    capacity = newCapacity;
    mask = newCapacity - 1;
    writeIndex = 0;
}

void ZDelayBuffer::reset()
{
    std::fill_n (ring.get(), capacity, 0.0f);
    writeIndex = 0;
}

void ZDelayBuffer::write (ZBuffer* block)
{
    writeSamples (block, (unsigned) block->getLength());
}

void ZDelayBuffer::writeSamples (ZBuffer* block, unsigned count)
{
    const auto* source = block->getData();

    // In pieces up to the ring's end: the same stores as sample by sample, as plain copies.
    for (unsigned j = 0; j < count;)
    {
        const auto position = (writeIndex + 1 + j) & mask;
        const auto piece = std::min (count - j, capacity - position);
        std::copy_n (source + j, piece, ring.get() + position);
        j += piece;
    }

    writeIndex += count;
}

void ZDelayBuffer::read (ZBuffer* block, int delay)
{
    readSamples (block, (unsigned) delay, block->getLength());
}

void ZDelayBuffer::readSamples (ZBuffer* block, unsigned delay, int count)
{
    auto* destination = block->getData();
    const auto start = writeIndex - delay - (uint32_t) count + 1;

    for (unsigned j = 0; j < (unsigned) std::max (count, 0);)
    {
        const auto position = (start + j) & mask;
        const auto piece = std::min ((unsigned) count - j, capacity - position);
        std::copy_n (ring.get() + position, piece, destination + j);
        j += piece;
    }
}

} // namespace vesk
