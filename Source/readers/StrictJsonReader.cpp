#include "StrictJsonReader.h"

#include "ByteCursor.h"

#include <cstring>
#include <limits>
#include <vector>

namespace
{

bool isDigit (uint8_t c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit (uint8_t c)
{
    return isDigit (c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/** One pass over the text without building anything; every read is checked against its end. */
class Checker : private ByteCursor
{
public:
    Checker (const char* text, size_t size) : ByteCursor (text, size) {}

    bool check()
    {
        skipSpace();

        if (atEnd() || (peek() != '{' && peek() != '['))
            return false;

        for (;;)
        {
            // A value.
            skipSpace();

            if (atEnd() || ++values > StrictJsonReader::maxValues)
                return false;

            const auto c = peek();

            if (c == '{' || c == '[')
            {
                if ((int) open.size() >= StrictJsonReader::maxDepth)
                    return false;

                ++position;
                open.push_back (c);
                skipSpace();

                if (!consume (closing (c)))
                {
                    if (c == '{' && !readName())
                        return false;

                    continue;
                }

                open.pop_back();
            }
            else if (!readScalar())
            {
                return false;
            }

            // After a value: the next one of its container, or the container's end.
            for (;;)
            {
                skipSpace();

                if (open.empty())
                    return atEnd();

                const auto container = open.back();

                if (consume (','))
                {
                    if (container == '{' && !readName())
                        return false;

                    break;
                }

                if (!consume (closing (container)))
                    return false;

                open.pop_back();
            }
        }
    }

    size_t getPosition() const { return position; }

private:
    static char closing (uint8_t opening) { return opening == '{' ? '}' : ']'; }

    bool consume (char c)
    {
        if (atEnd() || peek() != (uint8_t) c)
            return false;

        ++position;
        return true;
    }

    using ByteCursor::consume;

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++position;
    }

    /** A member's name and the colon after it. */
    bool readName()
    {
        skipSpace();

        if (++values > StrictJsonReader::maxValues || !readString())
            return false;

        skipSpace();
        return consume (':');
    }

    bool readScalar()
    {
        const auto c = peek();

        if (c == '"')
            return readString();

        if (c == '-' || isDigit (c))
            return readNumber();

        return consume ("true") || consume ("false") || consume ("null");
    }

    bool readString()
    {
        if (!consume ('"'))
            return false;

        while (!atEnd())
        {
            const auto c = peek();

            if (c == '"')
            {
                ++position;
                return true;
            }

            if (c < 0x20)
                return false;

            if (c == '\\')
            {
                if (!readEscape())
                    return false;

                continue;
            }

            const auto length = utf8SequenceLength();

            if (length == 0)
                return false;

            position += length;
        }

        return false;
    }

    /** At a backslash. */
    bool readEscape()
    {
        ++position;

        if (atEnd())
            return false;

        const auto c = bytes[position++];

        if (std::strchr ("\"\\/bfnrt", c) != nullptr && c != 0)
            return true;

        if (c != 'u' || end - position < 4)
            return false;

        bool zero = true;

        for (int k = 0; k < 4; ++k, ++position)
        {
            if (!isHexDigit (peek()))
                return false;

            zero = zero && peek() == '0';
        }

        // The framework's parser takes a zero character for the end of the text.
        return !zero;
    }

    /** Digits, counted; false when there are none or more than the limit. */
    bool readDigits (int limit)
    {
        int count = 0;

        for (; !atEnd() && isDigit (peek()); ++position)
            if (++count > limit)
                return false;

        return count > 0;
    }

    bool readNumber()
    {
        consume ('-');

        if (consume ('0'))
        {
            if (!atEnd() && isDigit (peek()))
                return false;
        }
        else if (!readDigits (StrictJsonReader::maxIntegerDigits))
        {
            return false;
        }

        // The fraction's digits beyond the double's precision are passed over by the framework.
        if (consume ('.') && !readDigits (std::numeric_limits<int>::max()))
            return false;

        if (consume ('e') || consume ('E'))
        {
            if (!consume ('+'))
                consume ('-');

            return readDigits (StrictJsonReader::maxExponentDigits);
        }

        return true;
    }

    std::vector<uint8_t> open;
    int values = 0;
};

} // namespace

juce::Result StrictJsonReader::parse (const char* text, size_t size, juce::var& result)
{
    result = juce::var();

    if (text == nullptr || size > maxTextSize)
        return juce::Result::fail ("The JSON text is too large.");

    Checker checker (text, size);

    if (!checker.check())
        return juce::Result::fail ("The JSON text cannot be read (at byte "
                                   + juce::String ((juce::int64) checker.getPosition()) + ").");

    return juce::JSON::parse (juce::String::fromUTF8 (text, (int) size), result);
}
