#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace vesk
{

/** A second-order (biquad) filter of eight types, filtering in transposed direct form II.

    setParameters and setSampleRate may run on the message thread while process runs on the audio
    thread: they publish a pending coefficient set under a sequence count, and process takes it over at
    the start of its next block, only when it has read one whole set. The audio thread never waits.
*/
class ZParametricFilter : private ZDSPObject
{
public:
    enum Type
    {
        bypass = 0,
        peaking = 1,
        lowShelf = 2,
        highShelf = 3,
        lowPass = 4,
        highPass = 5,
        bandPass = 6,
        notch = 7
    };

    /** b0, b1, b2, a0, a1, a2 with a0 = 1. */
    using Coefficients = std::array<float, 6>;

    ZParametricFilter();
    ~ZParametricFilter() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** A new filter at the sample rate (Hz) with a pending bypass set. */
    static std::unique_ptr<ZParametricFilter> create (float sampleRate);

    /** Type, frequency (Hz), Q (the slope for the shelves) and gain (dB). Ignored, with the previous
        coefficients kept, when frequency or q is not above 0 or any value or coefficient is not finite.
    */
    void setParameters (int type, float frequency, float q, float gainDb);

    /** Stores the rate (Hz) and recomputes the coefficients for the stored parameters. */
    void setSampleRate (float sampleRate);

    /** Filters input into output (may be the same buffer). */
    void process (ZBuffer* input, ZBuffer* output);

    /** Clears the filter memory. */
    void reset();

    int getType() const noexcept { return type; }
    float getFrequency() const noexcept { return frequency; }
    float getQ() const noexcept { return q; }
    float getGain() const noexcept { return gainDb; }
    float getSampleRate() const noexcept { return sampleRate.load (std::memory_order_relaxed); }

    /** The coefficients process uses now. */
    /** The same as process (buffer, buffer) by each of count filters in turn, in fewer passes: the
        filters' recursions run side by side, four at a time.
    */
    static void processCascade (ZParametricFilter* const* filters, int count, ZBuffer* buffer);

    /** processCascade on two buffers, each with its own count filters, at once: the same result for
        each as its own processCascade, in about the time of one.
    */
    static void processCascadePair (ZParametricFilter* const* a, ZParametricFilter* const* b, int count,
                                    ZBuffer* bufferA, ZBuffer* bufferB);

    const Coefficients& getActiveCoefficients() const noexcept { return active; }

    /** The raw coefficients divided by a0, for a type, frequency, q and gain at a rate; not finite
        values are possible and are refused by setParameters.
    */
    static Coefficients computeCoefficients (int type, float frequency, float q, float gainDb, float sampleRate);

private:
    void exportState (float& b0, float& b1, float& b2, float& a1, float& a2, float& s1, float& s2) const noexcept;
    void importState (float s1, float s2) noexcept;

    template <int K>
    static void runGroup (ZParametricFilter* const* group, float* x, int n);
    template <int K>
    static void runGroupPair (ZParametricFilter* const* groupA, ZParametricFilter* const* groupB, float* xa, float* xb,
                              int n);

    void publish (const Coefficients& coefficients);
    void takePending();

    int type = bypass;
    std::atomic<float> sampleRate { 0.0f };
    float frequency = 1.0f, q = 1.0f, gainDb = 1.0f;
    Coefficients active { 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f };
    std::array<std::atomic<float>, 6> pending {};
    std::atomic<uint32_t> pendingSequence { 0 };
    uint32_t installedSequence = 0;
    float z1 = 0.0f, z2 = 0.0f;
    std::mutex writerMutex;
};

} // namespace vesk
