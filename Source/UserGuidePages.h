#pragma once

#include <juce_core/juce_core.h>

/** The user guide's pages, which ship in the folder "guide" beside the executable and open as local files,
    so the guide works offline.
*/
struct UserGuidePages
{
    static juce::File getFolder();
    static juce::URL getStartPage();
    static juce::URL getQuickStartPage();
};
