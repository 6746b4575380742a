#include "VersionComparator.h"

#include <cstring>

namespace
{
bool isDigit (juce::juce_wchar c)
{
    return c >= '0' && c <= '9';
}

/** The runs of digits and the runs of anything else in a version, in order, read in place: comparing
    takes time in proportion to the versions' lengths and no memory beyond their trimmed copies.
*/
class Tokens
{
public:
    explicit Tokens (const juce::String& version) : text (version.trim()), rest (text.getCharPointer()) {}

    /** Steps to the next run; false after the last. */
    bool next()
    {
        start = rest;

        if (*rest == 0)
            return false;

        number = isDigit (*rest);

        while (*rest != 0 && isDigit (*rest) == number)
            rest.getAndAdvance();

        return true;
    }

    bool isNumber() const { return number; }

    juce::juce_wchar first() const { return *start; }

    /** Negative, 0 or positive as this run sorts before, with or after the other's. */
    int compareWith (const Tokens& other) const
    {
        if (number && other.number)
            return compareNumbers (other);

        if (number != other.number)
            return first() < other.first() ? -1 : 1;

        auto a = start, b = other.start;

        while (a.getAddress() < rest.getAddress() && b.getAddress() < other.rest.getAddress())
        {
            const auto ca = a.getAndAdvance(), cb = b.getAndAdvance();

            if (ca != cb)
                return ca < cb ? -1 : 1;
        }

        if (a.getAddress() < rest.getAddress())
            return 1;

        return b.getAddress() < other.rest.getAddress() ? -1 : 0;
    }

    /** True when the run adds nothing to a version: a number that is zero, or a single point. */
    bool isZeroOrPoint() const
    {
        if (number)
            return significantDigits() == 0;

        return first() == '.' && rest.getAddress() - start.getAddress() == 1;
    }

private:
    /** The digits after the leading zeros (digits are single bytes). */
    const char* firstSignificantDigit() const
    {
        auto* digit = start.getAddress();

        while (digit < rest.getAddress() && *digit == '0')
            ++digit;

        return digit;
    }

    size_t significantDigits() const { return (size_t) (rest.getAddress() - firstSignificantDigit()); }

    int compareNumbers (const Tokens& other) const
    {
        const auto length = significantDigits(), otherLength = other.significantDigits();

        if (length != otherLength)
            return length < otherLength ? -1 : 1;

        return std::memcmp (firstSignificantDigit(), other.firstSignificantDigit(), length);
    }

    juce::String text;
    juce::CharPointer_UTF8 rest, start { rest };
    bool number = false;
};

/** True when the runs from the current one on add nothing but points and zeros. */
bool onlyZerosFrom (Tokens& tokens)
{
    do
    {
        if (!tokens.isZeroOrPoint())
            return false;
    } while (tokens.next());

    return true;
}
} // namespace

int VersionComparator::compare (const juce::String& a, const juce::String& b)
{
    Tokens left (a), right (b);

    for (;;)
    {
        const auto moreLeft = left.next();
        const auto moreRight = right.next();

        if (!moreLeft && !moreRight)
            return 0;

        if (!moreRight)
            return onlyZerosFrom (left) ? 0 : 1;

        if (!moreLeft)
            return onlyZerosFrom (right) ? 0 : -1;

        if (const auto order = left.compareWith (right); order != 0)
            return order < 0 ? -1 : 1;
    }
}
