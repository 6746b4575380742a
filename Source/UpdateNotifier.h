#pragma once

#include "UpdateFeedItem.h"

/** How the update check speaks to the user. Message thread only. */
class UpdateNotifier
{
public:
    virtual ~UpdateNotifier() = default;

    virtual void showUpdateAvailable (const UpdateFeedItem& release, const juce::String& installedVersion) = 0;
    virtual void showUpToDate (const juce::String& installedVersion) = 0;
    virtual void showCheckFailed (const juce::String& reason) = 0;

    /** The user asked for a check, but this build names no update feed. */
    virtual void showNoFeed() = 0;
};
