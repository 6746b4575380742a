#pragma once

#include "UpdateNotifier.h"

/** Tells the user with the framework's alert windows, without waiting; "Download" opens the release's page
    in the web browser.
*/
class AlertUpdateNotifier : public UpdateNotifier
{
public:
    static inline const juce::String noFeedMessage {
        "This build of Tavlin checks no update feed. New versions come the way this copy of Tavlin was installed, "
        "for example with your system's software updates."
    };

    void showUpdateAvailable (const UpdateFeedItem& release, const juce::String& installedVersion) override;
    void showUpToDate (const juce::String& installedVersion) override;
    void showCheckFailed (const juce::String& reason) override;
    void showNoFeed() override;
};
