#include "StateXmlReader.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace
{

bool isSpace (uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameStart (uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool isNameCharacter (uint8_t c)
{
    return isNameStart (c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void appendUtf8 (uint32_t c, std::string& out)
{
    if (c < 0x80)
    {
        out += (char) c;
    }
    else if (c < 0x800)
    {
        out += (char) (0xc0 | (c >> 6));
        out += (char) (0x80 | (c & 0x3f));
    }
    else if (c < 0x10000)
    {
        out += (char) (0xe0 | (c >> 12));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
    else
    {
        out += (char) (0xf0 | (c >> 18));
        out += (char) (0x80 | ((c >> 12) & 0x3f));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
}

/** One pass over the text; every read is checked against its end. */
class Parser
{
public:
    Parser (const char* text, size_t size) : bytes (reinterpret_cast<const uint8_t*> (text)), end (size) {}

    std::unique_ptr<juce::XmlElement> parse()
    {
        skipSpace();

        if (!consume ("<") || !readStartTag())
            return {};

        while (depth > 0)
        {
            skipSpace();

            // Only child elements and the end tag may follow: no text, comments or instructions.
            if (!consume ("<"))
                return {};

            if (consume ("/"))
            {
                if (!readEndTag())
                    return {};
            }
            else if (!readStartTag())
            {
                return {};
            }
        }

        return std::move (root);
    }

private:
    struct Name
    {
        size_t start = 0, length = 0;
    };

    bool atEnd() const { return position >= end; }

    uint8_t peek() const { return bytes[position]; }

    bool consume (const char* literal)
    {
        const auto length = std::strlen (literal);

        if (end - position < length || std::memcmp (bytes + position, literal, length) != 0)
            return false;

        position += length;
        return true;
    }

    bool skipSpace()
    {
        const auto start = position;

        while (!atEnd() && isSpace (peek()))
            ++position;

        return position != start;
    }

    bool readName (Name& name)
    {
        if (atEnd() || !isNameStart (peek()))
            return false;

        name.start = position;

        while (!atEnd() && isNameCharacter (peek()))
            ++position;

        name.length = position - name.start;
        return name.length <= StateXmlReader::maxNameLength;
    }

    juce::String textOf (const Name& name) const
    {
        return juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes + name.start), (int) name.length);
    }

    /** After "<": the tag, the attributes and either "/>" or ">", which opens the element. */
    bool readStartTag()
    {
        Name tag;

        if (!readName (tag) || ++elements > StateXmlReader::maxElements || depth >= StateXmlReader::maxDepth)
            return false;

        juce::XmlElement* element = nullptr;

        if (depth == 0)
        {
            root = std::make_unique<juce::XmlElement> (textOf (tag));
            element = root.get();
        }
        else
        {
            element = open[(size_t) depth - 1]->createNewChildElement (textOf (tag));
        }

        for (int attributes = 0;;)
        {
            const auto spaced = skipSpace();

            if (consume ("/>"))
                return true;

            if (consume (">"))
            {
                open[(size_t) depth] = element;
                openTags[(size_t) depth] = tag;
                ++depth;
                return true;
            }

            Name name;

            if (!spaced || !readName (name) || ++attributes > StateXmlReader::maxAttributes)
                return false;

            skipSpace();

            if (!consume ("="))
                return false;

            skipSpace();

            if (!readQuotedValue())
                return false;

            const auto attributeName = textOf (name);

            if (element->hasAttribute (attributeName))
                return false;

            element->setAttribute (juce::Identifier (attributeName),
                                   juce::String::fromUTF8 (value.data(), (int) value.size()));
        }
    }

    /** After "</": the name of the innermost open element, then ">". */
    bool readEndTag()
    {
        Name name;

        if (!readName (name))
            return false;

        const auto& tag = openTags[(size_t) depth - 1];

        if (name.length != tag.length || std::memcmp (bytes + name.start, bytes + tag.start, tag.length) != 0)
            return false;

        skipSpace();

        if (!consume (">"))
            return false;

        --depth;
        return true;
    }

    /** A value in double or single quotes, decoded into value. */
    bool readQuotedValue()
    {
        if (atEnd() || (peek() != '"' && peek() != '\''))
            return false;

        const auto quote = bytes[position++];
        value.clear();

        while (!atEnd())
        {
            const auto c = peek();

            if (c == quote)
            {
                ++position;
                return true;
            }

            if (c == '<')
                return false;

            if (c == '&')
            {
                if (!readReference())
                    return false;
            }
            else if (c < 0x80)
            {
                if (c < 0x20 && !isSpace (c))
                    return false;

                value += (char) c;
                ++position;
            }
            else if (!readMultiByteCharacter())
            {
                return false;
            }
        }

        return false;
    }

    /** One whole, shortest-form UTF-8 sequence of a character other than a surrogate. */
    bool readMultiByteCharacter()
    {
        const auto lead = peek();
        size_t length = 0;
        uint32_t c = 0, smallest = 0;

        if (lead >= 0xc2 && lead <= 0xdf)
        {
            length = 2;
            c = lead & 0x1fu;
            smallest = 0x80;
        }
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            length = 3;
            c = lead & 0x0fu;
            smallest = 0x800;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            length = 4;
            c = lead & 0x07u;
            smallest = 0x10000;
        }
        else
        {
            return false;
        }

        if (end - position < length)
            return false;

        for (size_t k = 1; k < length; ++k)
        {
            const auto next = bytes[position + k];

            if ((next & 0xc0) != 0x80)
                return false;

            c = (c << 6) | (next & 0x3fu);
        }

        if (c < smallest || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
            return false;

        value.append (reinterpret_cast<const char*> (bytes + position), length);
        position += length;
        return true;
    }

    /** After "&" (not yet consumed): one of the five predefined entities or a character reference. */
    bool readReference()
    {
        ++position;

        struct Entity
        {
            const char* name;
            char c;
        };

        for (auto entity : { Entity { "amp;", '&' }, Entity { "lt;", '<' }, Entity { "gt;", '>' },
                             Entity { "quot;", '"' }, Entity { "apos;", '\'' } })
        {
            if (consume (entity.name))
            {
                value += entity.c;
                return true;
            }
        }

        if (!consume ("#"))
            return false;

        const auto hex = consume ("x");
        const auto base = hex ? 16u : 10u;
        const size_t maxDigits = hex ? 6 : 7;
        uint32_t c = 0;
        size_t digits = 0;

        for (; !atEnd() && digits <= maxDigits; ++digits, ++position)
        {
            const auto d = peek();
            uint32_t v = 0;

            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (hex && d >= 'a' && d <= 'f')
                v = d - 'a' + 10u;
            else if (hex && d >= 'A' && d <= 'F')
                v = d - 'A' + 10u;
            else
                break;

            c = c * base + v;
        }

        // Reading stops one digit past the limit, which keeps c below 2^32: it cannot wrap.
        if (digits == 0 || digits > maxDigits || !consume (";"))
            return false;

        if (c == 0 || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
            return false;

        appendUtf8 (c, value);
        return true;
    }

    const uint8_t* bytes;
    const size_t end;
    size_t position = 0;

    std::unique_ptr<juce::XmlElement> root;
    std::array<juce::XmlElement*, StateXmlReader::maxDepth> open {};
    std::array<Name, StateXmlReader::maxDepth> openTags {};
    int depth = 0;
    int elements = 0;
    std::string value;
};

} // namespace

std::unique_ptr<juce::XmlElement> StateXmlReader::parse (const char* text, size_t size)
{
    if (text == nullptr || size > maxTextSize)
        return {};

    return Parser (text, size).parse();
}
