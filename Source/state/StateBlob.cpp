#include "StateBlob.h"

#include "StateXmlReader.h"

#include <algorithm>

juce::String StateBlob::toText (const juce::XmlElement& element)
{
    juce::MemoryOutputStream out;
    writeElement (element, out);
    return out.toUTF8();
}

void StateBlob::write (const juce::XmlElement& element, juce::MemoryBlock& block)
{
    juce::MemoryOutputStream text;
    writeElement (element, text);

    juce::MemoryOutputStream out (block, false);
    out.writeInt ((int) magic);
    out.writeInt ((int) text.getDataSize());
    out.write (text.getData(), text.getDataSize());
    out.writeByte (0);
}

std::unique_ptr<juce::XmlElement> StateBlob::read (const void* data, size_t size)
{
    if (data == nullptr || size < headerSize + 1)
        return {};

    auto* bytes = static_cast<const uint8_t*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != magic)
        return {};

    const auto length = (size_t) juce::ByteOrder::littleEndianInt (bytes + 4);

    if (length == 0)
        return {};

    // A length past the end reads what there is: a wrong length field alone does not spoil whole text.
    return StateXmlReader::parse (reinterpret_cast<const char*> (bytes + headerSize),
                                  std::min (length, size - headerSize));
}

void StateBlob::writeElement (const juce::XmlElement& element, juce::MemoryOutputStream& out)
{
    if (element.isTextElement())
    {
        writeEscaped (element.getText(), out);
        return;
    }

    out << "<" << element.getTagName();

    for (int i = 0; i < element.getNumAttributes(); ++i)
    {
        out << " " << element.getAttributeName (i) << "=\"";
        writeEscaped (element.getAttributeValue (i), out);
        out << "\"";
    }

    if (element.getFirstChildElement() == nullptr)
    {
        out << "/>";
        return;
    }

    out << ">";

    for (auto* child : element.getChildIterator())
        writeElement (*child, out);

    out << "</" << element.getTagName() << ">";
}

void StateBlob::writeEscaped (const juce::String& text, juce::MemoryOutputStream& out)
{
    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        auto c = p.getAndAdvance();

        switch (c)
        {
            case '&':
                out << "&amp;";
                break;
            case '"':
                out << "&quot;";
                break;
            case '\'':
                out << "&apos;";
                break;
            case '<':
                out << "&lt;";
                break;
            case '>':
                out << "&gt;";
                break;
            default:
                if (c < 32)
                    out << "&#" << (int) c << ";";
                else
                    out.writeText (juce::String::charToString (c), false, false, nullptr);
        }
    }
}
