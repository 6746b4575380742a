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

    for (unsigned j = 0; j < count; ++j)
        ring[(writeIndex + 1 + j) & mask] = source[j];

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

    for (int j = 0; j < count; ++j)
        destination[j] = ring[(start + (uint32_t) j) & mask];
}

} // namespace vesk
