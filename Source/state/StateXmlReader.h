#pragma once

#include "StrictXmlReader.h"

/** Reads the XML text of a state blob: one element with attributes and child elements, nothing else.

    The strict reader without character data: no text content, comments, CDATA, processing instructions
    or XML declaration, within the limits below.
*/
class StateXmlReader
{
public:
    static constexpr int maxDepth = 16;
    static constexpr int maxElements = 64;
    static constexpr int maxAttributes = 32;
    static constexpr size_t maxNameLength = 128;
    static constexpr size_t maxTextSize = 16 * 1024 * 1024;

    /** The element the text holds, or null when the text is refused. */
    static std::unique_ptr<juce::XmlElement> parse (const char* text, size_t size)
    {
        static constexpr StrictXmlReader::Rules rules { maxDepth,      maxElements, maxAttributes,
                                                        maxNameLength, maxTextSize, false };
        return StrictXmlReader::parse (text, size, rules);
    }
};
