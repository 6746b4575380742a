#include "StrictXmlReader.h"

#include "ByteCursor.h"

#include <cstring>
#include <string>
#include <vector>

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

bool isOnlySpace (const std::string& text)
{
    for (const auto c : text)
        if (!isSpace ((uint8_t) c))
            return false;

    return true;
}

/** One pass over the text; every read is checked against its end. */
class Parser : private ByteCursor
{
public:
    Parser (const char* text, size_t size, const StrictXmlReader::Rules& r) : ByteCursor (text, size), rules (r)
    {
        open.reserve ((size_t) juce::jmax (0, rules.maxDepth));
    }

    std::unique_ptr<juce::XmlElement> parse()
    {
        if (!skipProlog() || !consume ("<") || !readStartTag())
            return {};

        while (!open.empty())
        {
            if (!rules.readsCharacterData)
                skipSpace();

            if (atEnd())
                return {};

            if (peek() != '<')
            {
                // Outside markup only white space, unless text is read.
                if (!rules.readsCharacterData || !readTextCharacter())
                    return {};
            }
            else if (rules.readsCharacterData && consume ("<!--"))
            {
                if (!skipUntil ("-->"))
                    return {};
            }
            else if (rules.readsCharacterData && consume ("<![CDATA["))
            {
                if (!readCData())
                    return {};
            }
            else
            {
                // Only child elements and the end tag remain; no instructions, declarations or CDATA.
                ++position;

                if (!addText())
                    return {};

                if (consume ("/") ? !readEndTag() : !readStartTag())
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

    struct OpenElement
    {
        juce::XmlElement* element;
        Name tag;
    };

    bool skipSpace()
    {
        const auto start = position;

        while (!atEnd() && isSpace (peek()))
            ++position;

        return position != start;
    }

    /** White space and, when character data is read, comments and processing instructions. */
    bool skipProlog()
    {
        for (;;)
        {
            skipSpace();

            if (!rules.readsCharacterData)
                return true;

            if (consume ("<!--"))
            {
                if (!skipUntil ("-->"))
                    return false;
            }
            else if (consume ("<?"))
            {
                if (!skipUntil ("?>"))
                    return false;
            }
            else
            {
                return true;
            }
        }
    }

    /** Steps over characters up to and past the terminator; false when the text ends first or holds a
        character that is not allowed.
    */
    bool skipUntil (const char* terminator)
    {
        while (!consume (terminator))
            if (!readCharacter (nullptr))
                return false;

        return true;
    }

    /** One character other than a reference, appended to out when given. */
    bool readCharacter (std::string* out)
    {
        if (atEnd())
            return false;

        const auto c = peek();

        if (c < 0x20 && !isSpace (c))
            return false;

        const auto length = utf8SequenceLength();

        if (length == 0)
            return false;

        if (out != nullptr)
            out->append (reinterpret_cast<const char*> (bytes + position), length);

        position += length;
        return true;
    }

    /** A character of text content, or a reference in it. */
    bool readTextCharacter() { return peek() == '&' ? readReference (text) : readCharacter (&text); }

    /** After "<![CDATA[": its characters, unchanged, up to and past "]]>". */
    bool readCData()
    {
        while (!consume ("]]>"))
            if (!readCharacter (&text))
                return false;

        return true;
    }

    /** The text read since the last tag, as a text element of the innermost open element. */
    bool addText()
    {
        if (isOnlySpace (text))
        {
            text.clear();
            return true;
        }

        if (++elements > rules.maxElements)
            return false;

        open.back().element->addTextElement (juce::String::fromUTF8 (text.data(), (int) text.size()));
        text.clear();
        return true;
    }

    bool readName (Name& name)
    {
        if (atEnd() || !isNameStart (peek()))
            return false;

        name.start = position;

        while (!atEnd() && isNameCharacter (peek()))
            ++position;

        name.length = position - name.start;
        return name.length <= rules.maxNameLength;
    }

    juce::String textOf (const Name& name) const
    {
        return juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes + name.start), (int) name.length);
    }

    /** After "<": the tag, the attributes and either "/>" or ">", which opens the element. */
    bool readStartTag()
    {
        Name tag;

        if (!readName (tag) || ++elements > rules.maxElements || (int) open.size() >= rules.maxDepth)
            return false;

        juce::XmlElement* element = nullptr;

        if (open.empty())
        {
            root = std::make_unique<juce::XmlElement> (textOf (tag));
            element = root.get();
        }
        else
        {
            element = open.back().element->createNewChildElement (textOf (tag));
        }

        for (int attributes = 0;;)
        {
            const auto spaced = skipSpace();

            if (consume ("/>"))
                return true;

            if (consume (">"))
            {
                open.push_back ({ element, tag });
                return true;
            }

            Name name;

            if (!spaced || !readName (name) || ++attributes > rules.maxAttributes)
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

        const auto& tag = open.back().tag;

        if (name.length != tag.length || std::memcmp (bytes + name.start, bytes + tag.start, tag.length) != 0)
            return false;

        skipSpace();

        if (!consume (">"))
            return false;

        open.pop_back();
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

            if (!(c == '&' ? readReference (value) : readCharacter (&value)))
                return false;
        }

        return false;
    }

    /** At "&": one of the five predefined entities or a character reference, appended to out. */
    bool readReference (std::string& out)
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
                out += entity.c;
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

        Utf8Sequence::append (c, out);
        return true;
    }

    const StrictXmlReader::Rules& rules;

    std::unique_ptr<juce::XmlElement> root;
    std::vector<OpenElement> open;
    int elements = 0;
    std::string value, text;
};

} // namespace

std::unique_ptr<juce::XmlElement> StrictXmlReader::parse (const char* text, size_t size, const Rules& rules)
{
    if (text == nullptr || size > rules.maxTextSize || rules.maxDepth < 1)
        return {};

    return Parser (text, size, rules).parse();
}
