#pragma once

#include <juce_core/juce_core.h>

/** One release named by the update feed. */
struct UpdateFeedItem
{
    juce::String version;
    juce::String title;
    /** Where the user gets the release (an http or https address); empty when the feed gives none. */
    juce::URL downloadPage;
};
