#include "ZBufferSizeConverter.h"

#include <algorithm>

namespace vesk
{

ZBufferSizeConverter::ZBufferSizeConverter()
{
    setName ("ZBufferSizeConverter");
}

std::unique_ptr<ZBufferSizeConverter> ZBufferSizeConverter::create (int inputSize, int outputSize)
{
    auto converter = std::make_unique<ZBufferSizeConverter>();
    converter->configure (inputSize, outputSize);
    return converter;
}

unsigned ZBufferSizeConverter::capacityFor (int in, int out) noexcept
{
    const auto v = (int64_t) in + (int64_t) out - 1;

    if (v <= 0)
        return 2;

    uint32_t power = 1;
    while ((int64_t) power * 2 <= v && power < (1u << 29))
        power *= 2;

    return power * 4;
}

void ZBufferSizeConverter::configure (int in, int out)
{
    inputSize = in;
    outputSize = out;
    capacity = capacityFor (in, out);
    mask = capacity - 1;
    ring = std::make_unique<float[]> (capacity);
    writeCount = 0;
    readCount = 0;
}

void ZBufferSizeConverter::reset()
{
    std::fill_n (ring.get(), capacity, 0.0f);
    writeCount = 0;
    readCount = 0;
}

void ZBufferSizeConverter::copyIn (const float* source, unsigned count)
{
    const auto p = writeCount & mask;
    const auto first = std::min (count, capacity - p);
    std::copy (source, source + first, ring.get() + p);
    std::copy (source + first, source + count, ring.get());
    writeCount += count;
}

void ZBufferSizeConverter::copyOut (float* destination, unsigned count)
{
    const auto p = readCount & mask;
    const auto first = std::min (count, capacity - p);
    std::copy (ring.get() + p, ring.get() + p + first, destination);
    std::copy (ring.get(), ring.get() + (count - first), destination + first);
    readCount += count;
}

bool ZBufferSizeConverter::write (ZBuffer* block)
{
    return writeSamples (block, (unsigned) block->getLength());
}

bool ZBufferSizeConverter::writeSamples (ZBuffer* block, unsigned count)
{
    if (count > capacity)
        return false;

    copyIn (block->getData(), count);
    return true;
}

bool ZBufferSizeConverter::read (ZBuffer* block)
{
    if (writeCount - readCount >= capacity)
        reset();

    const auto count = (unsigned) block->getLength();

    if (count > capacity || writeCount - readCount < count)
        return false;

    copyOut (block->getData(), count);
    return true;
}

bool ZBufferSizeConverter::readSamples (ZBuffer* block, unsigned count)
{
    if (count > capacity || writeCount - readCount < count)
        return false;

    copyOut (block->getData(), count);
    return true;
}

} // namespace vesk
