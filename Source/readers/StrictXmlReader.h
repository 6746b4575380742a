#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <memory>

/** Reads XML that anyone may have written (presets, saved states, the update feed) into an element tree.

    What it reads: white space, then one element whose names are ASCII XML names and whose attribute values
    are valid UTF-8 with the five predefined entities and character references. Whatever follows the
    element's end is not read. With Rules::readsCharacterData it also reads comments and processing
    instructions (an XML declaration among them) before the element, and inside elements text with the same
    references, CDATA sections and comments; each run of text and CDATA becomes one text element, a run of
    white space none. Without it, an element holds only child elements separated by white space.

    What it refuses: DOCTYPE and entity declarations, any other entity, references to characters XML
    excludes, malformed or cut UTF-8, control characters, duplicate attributes, an end tag that does not
    match, text that ends before the element does, and whatever the rules do not allow: elements nested
    deeper than maxDepth, more than maxElements elements (text elements count), more than maxAttributes
    attributes on one element, names longer than maxNameLength bytes and texts longer than maxTextSize
    bytes.

    It looks at every byte at most a fixed number of times, never reads outside the given bytes, never
    recurses, and allocates no more than a small multiple of the text's size.
*/
class StrictXmlReader
{
public:
    struct Rules
    {
        int maxDepth;
        int maxElements;
        int maxAttributes;
        size_t maxNameLength;
        size_t maxTextSize;
        bool readsCharacterData;
    };

    /** The element the text holds, or null when the text is refused. */
    static std::unique_ptr<juce::XmlElement> parse (const char* text, size_t size, const Rules& rules);
};
