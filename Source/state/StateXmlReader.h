#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <memory>

/** Reads the XML text of a state blob: one element with attributes and child elements, nothing else.

    What it reads: white space, then one element whose names are ASCII XML names, whose attribute values
    are valid UTF-8 with the five predefined entities and character references, and whose content is
    child elements separated by white space. Whatever follows the element's end is not read.

    What it refuses: processing instructions and the XML declaration, DOCTYPE and entity declarations,
    comments, CDATA, text content, any other entity, references to characters XML excludes, malformed
    or cut UTF-8, duplicate attributes, an end tag that does not match, and text that ends before the
    element does. It also refuses elements nested deeper than maxDepth, more than maxElements elements,
    more than maxAttributes attributes on one element, names longer than maxNameLength bytes and texts
    longer than maxTextSize bytes.

    It looks at every byte at most a fixed number of times, never reads outside the given bytes, never
    recurses, and allocates no more than a small multiple of the text's size.
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
    static std::unique_ptr<juce::XmlElement> parse (const char* text, size_t size);
};
