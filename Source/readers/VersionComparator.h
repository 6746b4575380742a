#pragma once

#include <juce_core/juce_core.h>

/** Orders version texts such as "1.9" and "1.10" the way people read them: runs of digits compare as
    numbers, everything else character by character, and trailing zero parts do not count ("5.0" equals
    "5.0.0").
*/
struct VersionComparator
{
    /** Negative when a is older than b, 0 when both name the same version, positive when a is newer. */
    static int compare (const juce::String& a, const juce::String& b);

    static bool isNewer (const juce::String& candidate, const juce::String& installed)
    {
        return compare (candidate, installed) > 0;
    }
};
