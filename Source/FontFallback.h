#pragma once

#include <juce_graphics/juce_graphics.h>

/** The fonts the interface names, with close free stand-ins for those this system lacks
    ("Trebuchet MS" and "Myriad Pro" become PT Sans, "Arial" Liberation Sans; DejaVu Sans last).
*/
class FontFallback
{
public:
    /** The family itself when it is installed, else the first installed stand-in, else the family. */
    static juce::String resolve (const juce::String& family);

    /** A font of the resolved family. */
    static juce::Font make (const juce::String& family, float height, int styleFlags);
};
