#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::test
{

/** A preset file of the fuzz target's seed corpus (tests/fuzz/seeds) and whether it can be read. */
struct StateBlobRepro
{
    const char* file;
    bool readable;
};

/** Files of a few dozen bytes that looped, exhausted memory or read out of bounds in a general XML
    parser, and whole presets with an odd value, root or length field, which load. Every readable one
    holds the fresh processor's settings but for its oddity (a value counting as 0, a sample rate).
*/
inline constexpr StateBlobRepro stateBlobRepros[] = {
    { "default.tvp", true },
    { "processing-instruction.tvp", false },
    { "entity-declaration.tvp", false },
    { "entity-bomb.tvp", false },
    { "entity-bomb-quadratic.tvp", false },
    { "undeclared-entities.tvp", false },
    { "unfinished-utf8.tvp", false },
    { "length-cuts-utf8.tvp", false },
    { "char-ref-at-end.tvp", false },
    { "nested-10000.tvp", false },
    { "samplerate-huge-exponent.tvp", true },
    { "non-finite-attributes.tvp", true },
    { "empty-attribute.tvp", true },
    { "renamed-root.tvp", true },
    { "length-past-the-end.tvp", true },
};

#ifdef TAVLIN_STATE_SEEDS_DIR
inline juce::File stateBlobSeedsFolder()
{
    return juce::File (TAVLIN_STATE_SEEDS_DIR);
}
#endif

} // namespace tavlin::test
