#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <memory>

/** The processor's saved state in binary form, also the content of a preset file.

    Layout: the four bytes "VC2!", a 32-bit little-endian text length L, L bytes of the root element's
    XML text in UTF-8 on one line without a declaration, and one zero byte.
*/
class StateBlob
{
public:
    /** "VC2!" read as a little-endian 32-bit word. */
    static constexpr uint32_t magic = 0x21324356;
    static constexpr size_t headerSize = 8;

    /** The element's XML text on one line, without a declaration; attributes in their stored order. */
    static juce::String toText (const juce::XmlElement& element);

    /** Replaces the block's content with the blob of the element. */
    static void write (const juce::XmlElement& element, juce::MemoryBlock& block);

    /** The element held by a blob, or null when the data is not a blob: shorter than a header and one
        byte, a wrong magic, a length of 0, or text that StateXmlReader refuses. The text is the first
        min (length, size - headerSize) bytes after the header, so a length field larger than the data
        still reads a text that is whole. Never reaches a general XML parser.
    */
    static std::unique_ptr<juce::XmlElement> read (const void* data, size_t size);

private:
    static void writeElement (const juce::XmlElement& element, juce::MemoryOutputStream& out);
    static void writeEscaped (const juce::String& text, juce::MemoryOutputStream& out);
};
