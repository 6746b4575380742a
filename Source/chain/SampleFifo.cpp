#include "SampleFifo.h"

#include <algorithm>
#include <cmath>

SampleFifo::SampleFifo (int newCapacity, int newPrefill)
{
    resize (newCapacity, newPrefill);
}

void SampleFifo::resize (int newCapacity, int newPrefill)
{
    capacity = std::max (1, newCapacity);
    prefill = std::clamp (newPrefill, 0, capacity);
    storage.assign ((size_t) capacity, 0.0f);
    readIndex = prefill % capacity;
    writeIndex = 0;
    available = prefill;
}

void SampleFifo::clear (bool resetIndices)
{
    std::fill (storage.begin(), storage.end(), 0.0f);

    if (resetIndices)
    {
        readIndex = prefill % capacity;
        writeIndex = 0;
        available = prefill;
    }
}

void SampleFifo::write (int count, const float* source)
{
    if (count <= 0)
        return;

    // A write longer than the ring keeps only its newest samples but advances as if all were stored.
    auto skipped = count > capacity ? count - capacity : 0;
    auto position = (int) (((int64_t) writeIndex + skipped) % capacity);
    auto remaining = count - skipped;
    source += skipped;

    while (remaining > 0)
    {
        auto run = std::min (remaining, capacity - position);
        std::copy (source, source + run, storage.begin() + position);
        source += run;
        remaining -= run;
        position = (position + run) % capacity;
    }

    writeIndex = position;
    available = (int32_t) std::min<int64_t> ((int64_t) available + count, INT32_MAX);
}

bool SampleFifo::read (int count, bool clamp, float* destination)
{
    if (count < 0 || available < count)
        return false;

    auto remaining = count;
    auto position = readIndex;

    while (remaining > 0)
    {
        auto run = std::min (remaining, capacity - position);
        auto* first = storage.data() + position;

        if (clamp)
            std::transform (first, first + run, destination,
                            [] (float x) { return std::isnan (x) ? 0.0f : std::clamp (x, -1.0f, 1.0f); });
        else
            std::copy (first, first + run, destination);

        destination += run;
        remaining -= run;
        position = (position + run) % capacity;
    }

    readIndex = position;
    available -= count;
    return true;
}
