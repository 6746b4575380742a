#include "VersionComparator.h"

namespace
{
/** Splits a version into runs of digits and runs of anything else. */
juce::StringArray tokenise (const juce::String& version)
{
    juce::StringArray tokens;
    auto text = version.trim();

    while (text.isNotEmpty())
    {
        const auto isDigit = juce::CharacterFunctions::isDigit (text[0]);
        int length = 1;

        while (length < text.length() && juce::CharacterFunctions::isDigit (text[length]) == isDigit)
            ++length;

        tokens.add (text.substring (0, length));
        text = text.substring (length);
    }

    return tokens;
}

bool isNumber (const juce::String& token)
{
    return juce::CharacterFunctions::isDigit (token[0]);
}

int compareNumbers (juce::String a, juce::String b)
{
    a = a.trimCharactersAtStart ("0");
    b = b.trimCharactersAtStart ("0");

    if (a.length() != b.length())
        return a.length() < b.length() ? -1 : 1;

    return a.compare (b);
}

/** True when the tokens from index on add nothing but separators and zeros. */
bool onlyZerosFrom (const juce::StringArray& tokens, int index)
{
    for (int i = index; i < tokens.size(); ++i)
    {
        const auto& token = tokens[i];

        if (isNumber (token) ? token.trimCharactersAtStart ("0").isNotEmpty() : token != ".")
            return false;
    }

    return true;
}
} // namespace

int VersionComparator::compare (const juce::String& a, const juce::String& b)
{
    const auto left = tokenise (a);
    const auto right = tokenise (b);
    const auto common = juce::jmin (left.size(), right.size());

    for (int i = 0; i < common; ++i)
    {
        const auto& l = left[i];
        const auto& r = right[i];
        int order = 0;

        if (isNumber (l) && isNumber (r))
            order = compareNumbers (l, r);
        else if (isNumber (l) != isNumber (r))
            order = l[0] < r[0] ? -1 : 1;
        else
            order = l.compare (r);

        if (order != 0)
            return order < 0 ? -1 : 1;
    }

    if (left.size() > common)
        return onlyZerosFrom (left, common) ? 0 : 1;

    if (right.size() > common)
        return onlyZerosFrom (right, common) ? 0 : -1;

    return 0;
}
