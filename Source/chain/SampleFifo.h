#pragma once

#include <cstdint>
#include <vector>

/** A per-channel ring of samples with a silent lead-in.

    Reading starts at position prefill while writing starts at 0, so a queue of capacity 2n and prefill n
    returns n zero samples first and then everything written, exactly n samples late. Writes never refuse;
    a read refuses when fewer samples are queued than asked for.
*/
class SampleFifo
{
public:
    /** As resize with no previous storage. */
    SampleFifo (int capacity, int prefill);

    /** Replaces the storage by capacity zeroed samples (at least 1) and primes the queue with prefill
        samples of silence; prefill is limited to 0..capacity.
    */
    void resize (int capacity, int prefill);

    /** Zeroes the whole storage; with resetIndices the queue is primed again as after resize. */
    void clear (bool resetIndices);

    /** Appends count samples, wrapping at the end of the storage. */
    void write (int count, const float* source);

    /** Takes count samples if that many are queued, else returns false and changes nothing.
        With clamp, values above 1 leave as 1, below -1 as -1, and NaN as 0.
    */
    bool read (int count, bool clamp, float* destination);

    int getAvailable() const noexcept { return available; }
    int getCapacity() const noexcept { return capacity; }
    int getPrefill() const noexcept { return prefill; }
    int getReadIndex() const noexcept { return readIndex; }
    int getWriteIndex() const noexcept { return writeIndex; }

private:
    int32_t readIndex = 0;
    int32_t writeIndex = 0;
    int32_t available = 0;
    int32_t capacity = 0;
    int32_t prefill = 0;
    std::vector<float> storage;
};
