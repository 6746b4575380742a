#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

/** Reads JSON that anyone may have written (the store's answer).

    The text is first checked in one pass, without recursion, against the grammar and the limits below, and
    only then handed to the framework's parser, whose recursion the depth limit bounds and whose number
    reading the digit limits keep within range.

    What it reads: white space, one object or array, white space. Strings are valid UTF-8 without control
    characters, with the escapes of the grammar (not "\u0000"). Numbers have at most maxIntegerDigits digits
    before the point and maxExponentDigits in the exponent.

    What it refuses: anything else, and text longer than maxTextSize bytes, containers nested deeper than
    maxDepth, or more than maxValues values and names in all.
*/
struct StrictJsonReader
{
    static constexpr size_t maxTextSize = 1024 * 1024;
    static constexpr int maxDepth = 32;
    static constexpr int maxValues = 16384;
    static constexpr int maxIntegerDigits = 18;
    static constexpr int maxExponentDigits = 4;

    /** Parses the text into result; fails, leaving result void, with the byte where reading stopped. */
    static juce::Result parse (const char* text, size_t size, juce::var& result);

    static juce::Result parse (const juce::String& text, juce::var& result)
    {
        return parse (text.toRawUTF8(), text.getNumBytesAsUTF8(), result);
    }
};
