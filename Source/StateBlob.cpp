#include "StateBlob.h"

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

    auto length = (size_t) juce::ByteOrder::littleEndianInt (bytes + 4);

    if (length == 0 || length > size - headerSize || length > (size_t) std::numeric_limits<int>::max())
        return {};

    auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes + headerSize), (int) length);
    auto element = juce::parseXML (text);

    // The parser closes what the text leaves open; a whole element ends with its own closing.
    if (element == nullptr)
        return {};

    auto ending = text.trimEnd();

    auto closedByTag = ending.endsWith ("</" + element->getTagName() + ">");
    auto closedEmpty = element->getNumChildElements() == 0 && ending.endsWith ("/>");

    if (!closedByTag && !closedEmpty)
        return {};

    return element;
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
