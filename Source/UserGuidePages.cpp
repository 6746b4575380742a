#include "UserGuidePages.h"

#include "TavlinAddresses.h"

juce::File UserGuidePages::getFolder()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
        .getParentDirectory()
        .getChildFile (TavlinAddresses::guideFolder);
}

juce::URL UserGuidePages::getStartPage()
{
    return juce::URL (getFolder().getChildFile (TavlinAddresses::guideStartPage));
}

juce::URL UserGuidePages::getQuickStartPage()
{
    return juce::URL (getFolder().getChildFile (TavlinAddresses::guideQuickStartPage));
}
