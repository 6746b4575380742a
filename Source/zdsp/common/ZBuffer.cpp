#include "ZBuffer.h"

#include "ZDSPObject.h"
#include "ZNumberText.h"
#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace vesk
{

namespace
{
const char* const improperSize = "Error Trying to create a buffer of improper size.";

int roundedAllocation (int length)
{
    if (length <= 0 || length > std::numeric_limits<int>::max() - 3)
        VJ_DSP_THROW (improperSize);

    return (length + 3) & ~3;
}

ZBuffer::Samples allocateSamples (int count)
{
    return ZBuffer::Samples (new (std::align_val_t (ZBuffer::alignment)) float[(size_t) count]);
}

int hexDigitValue (juce::juce_wchar c)
{
    if (c >= '0' && c <= '9')
        return (int) (c - '0');
    if (c >= 'a' && c <= 'f')
        return (int) (c - 'a') + 10;
    if (c >= 'A' && c <= 'F')
        return (int) (c - 'A') + 10;
    return -1;
}

juce::String formatNumber (double value)
{
    char text[64];
    std::snprintf (text, sizeof (text), "%.20g", value);
    return text;
}
} // namespace

ZBuffer::ZBuffer (int newLength, const char* newName)
    : length (newLength), allocatedLength (roundedAllocation (newLength)), data (allocateSamples (allocatedLength)),
      name (copyName (newName))
{
    std::fill_n (data.get(), allocatedLength, 0.0f);
}

ZBuffer::~ZBuffer() = default;

void ZBuffer::setName (const char* newName)
{
    name = copyName (newName);
}

void ZBuffer::clear()
{
    std::fill_n (data.get(), allocatedLength, 0.0f);
}

void ZBuffer::clearRange (const juce::Range<int>& range)
{
    if (range.getLength() > 0)
        std::fill (data.get() + range.getStart(), data.get() + range.getEnd(), 0.0f);
}

void ZBuffer::copyFrom (const ZBuffer& source)
{
    std::memmove (data.get(), source.data.get(), sizeof (float) * (size_t) std::min (length, source.length));
}

void ZBuffer::copyRangeFrom (const ZBuffer& source, const juce::Range<int>& range, int destIndex)
{
    if (range.getLength() > 0)
        std::memmove (data.get() + destIndex, source.data.get() + range.getStart(),
                      sizeof (float) * (size_t) range.getLength());
}

float ZBuffer::getPeak() const
{
    // A maximum is exact in any order, so the vector kernel gives the plain loop's value.
    return vectorKernels::peakMagnitude (data.get(), (std::size_t) std::max (length, 0));
}

void ZBuffer::setLength (int newLength)
{
    // Everything that can fail happens before the buffer is touched.
    auto newAllocated = roundedAllocation (newLength);
    auto newData = allocateSamples (newAllocated);

    data = std::move (newData);
    length = newLength;
    allocatedLength = newAllocated;
}

std::unique_ptr<juce::XmlElement> ZBuffer::createXml() const
{
    auto element = std::make_unique<juce::XmlElement> ("buffer");
    element->setAttribute ("name", juce::String (name.get()));
    element->setAttribute ("length", juce::String (length));
    element->setAttribute ("samplerate", formatNumber ((double) sampleRate));

    juce::String values;
    values.preallocateBytes ((size_t) length * 8 + 1);

    for (int i = 0; i < length; ++i)
    {
        uint32_t bits;
        std::memcpy (&bits, &data[(size_t) i], sizeof (bits));

        char group[9];
        std::snprintf (group, sizeof (group), "%08x", (unsigned) bits);
        values += group;
    }

    element->createNewChildElement ("data")->setAttribute ("values", values);
    return element;
}

bool ZBuffer::restoreFromXml (const juce::XmlElement& element)
{
    auto lengthText = element.getStringAttribute ("length").trim();

    if (!lengthText.containsOnly ("0123456789") || lengthText.isEmpty() || lengthText.length() > 9)
        return false;

    auto newLength = lengthText.getIntValue();

    if (newLength < 1 || newLength > maxRestoredLength)
        return false;

    auto* dataElement = element.getChildByName ("data");

    if (dataElement == nullptr)
        return false;

    auto values = dataElement->getStringAttribute ("values");

    if (values.length() < newLength * 8)
        return false;

    // A missing or unreadable rate, or one beyond the float range, counts as 0.
    auto newRate = readFiniteFloat (element.getStringAttribute ("samplerate")).value_or (0.0f);

    // Decode into scratch storage so that a bad digit leaves the buffer as it was.
    std::vector<float> samples ((size_t) newLength);
    auto text = values.getCharPointer();

    for (int i = 0; i < newLength; ++i)
    {
        uint32_t bits = 0;

        for (int d = 0; d < 8; ++d)
        {
            auto digit = hexDigitValue (text.getAndAdvance());

            if (digit < 0)
                return false;

            bits = (bits << 4) | (uint32_t) digit;
        }

        std::memcpy (&samples[(size_t) i], &bits, sizeof (bits));
    }

    if (newLength != length)
        setLength (newLength);

    setName (element.getStringAttribute ("name").toRawUTF8());
    sampleRate = newRate;
    std::copy (samples.begin(), samples.end(), data.get());
    return true;
}

} // namespace vesk
