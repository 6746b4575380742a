#pragma once

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <cstddef>
#include <memory>
#include <new>

namespace vesk
{

/** A named block of 32-bit float samples with an XML form.

    Storage is rounded up to a multiple of 4 floats and zeroed at construction. The buffer is an action
    broadcaster so that an owner can announce changes of its contents; it never broadcasts itself.
*/
class ZBuffer : public juce::ActionBroadcaster
{
public:
    /** Byte alignment of the sample storage: whole cache lines, as the transforms' vector code wants. */
    static constexpr std::size_t alignment = 64;

    /** Largest length accepted from an XML form, in samples. */
    static constexpr int maxRestoredLength = 1 << 22;

    /** Throws vj_dsp_exception for a length that is not above 0 or too large to round up. */
    ZBuffer (int length, const char* name);
    ~ZBuffer() override;

    ZBuffer (const ZBuffer&) = delete;
    ZBuffer& operator= (const ZBuffer&) = delete;

    void setName (const char* name);
    const char* getName() const { return name.get(); }

    int getLength() const noexcept { return length; }
    int getAllocatedLength() const noexcept { return allocatedLength; }
    float* getData() noexcept { return data.get(); }
    const float* getData() const noexcept { return data.get(); }

    float getSampleRate() const noexcept { return sampleRate; }

    /** Zeroes all allocated samples, padding included. */
    void clear();

    /** Zeroes samples from range start (inclusive) to range end (exclusive). */
    void clearRange (const juce::Range<int>& range);

    /** Copies the first min (length, source length) samples of source to the start of this buffer. */
    void copyFrom (const ZBuffer& source);

    /** Copies source samples [range start, range end) into this buffer from destIndex on. */
    void copyRangeFrom (const ZBuffer& source, const juce::Range<int>& range, int destIndex);

    /** The largest absolute sample value among the first length samples. */
    float getPeak() const;

    /** Replaces the storage with one for the new length; the new storage is not cleared.
        A refused length throws vj_dsp_exception and leaves the buffer exactly as it was.
    */
    void setLength (int newLength);

    /** A new element `buffer` with attributes name, length, samplerate and a `data` child. */
    std::unique_ptr<juce::XmlElement> createXml() const;

    /** Reads the XML form back. The whole element is checked first: on any fault the buffer is left
        unchanged and false is returned.
    */
    bool restoreFromXml (const juce::XmlElement& element);

    struct AlignedDelete
    {
        void operator() (float* p) const noexcept { ::operator delete[] (p, std::align_val_t (alignment)); }
    };

    using Samples = std::unique_ptr<float[], AlignedDelete>;

private:
    int length = 0;
    int allocatedLength = 0;
    Samples data;
    std::unique_ptr<char[]> name;
    float sampleRate = 0.0f;
};

} // namespace vesk
