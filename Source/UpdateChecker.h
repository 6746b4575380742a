#pragma once

#include "UpdateNotifier.h"
#include "desktop/BackgroundFetch.h"

/** Checks the update feed for a version newer than the one installed.

    A background check tells the user only when there is a newer version and stays silent when there is
    none or the feed cannot be reached; a check the user asked for always answers. Without a feed (an empty
    address: the build names none) nothing is fetched, and a check the user asked for says so. The download
    page offered with a newer version is an https address on the feed's own host, or none. The feed is fetched
    on a thread of its own; everything else runs on the message thread.
*/
class UpdateChecker
{
public:
    /** Waits this long (in ms) for a stalled connection to the feed. */
    static constexpr int timeoutMs = 30000;

    UpdateChecker (const juce::URL& feed, const juce::String& installedVersion,
                   std::unique_ptr<tavlin::desktop::HttpFetcher> fetcher, std::unique_ptr<UpdateNotifier> notifier);

    /** Drops a check that still runs. */
    ~UpdateChecker();

    /** The process's one checker on the program's own feed, created on first use (message thread). */
    static UpdateChecker& getShared();

    void checkInBackground();

    /** While a check runs, that check answers the user when it ends. */
    void checkForUpdates();

    bool isChecking() const noexcept { return fetch->isRunning(); }

    /** Whether a release's page may be offered for a feed: https, on the feed's own host. */
    static bool isAllowedDownloadPage (const juce::URL& page, const juce::URL& feed);

private:
    void start (bool userAsked);
    void feedArrived (const tavlin::desktop::HttpResponse& response);

    juce::URL feed;
    juce::String installedVersion;
    std::unique_ptr<UpdateNotifier> notifier;
    std::unique_ptr<tavlin::desktop::BackgroundFetch> fetch;
    bool answerUser = false;

    JUCE_DECLARE_NON_COPYABLE (UpdateChecker)
};

/** The check made once when the processing window's editor is created. */
void startBackgroundUpdateCheck();

/** The check behind "Check for Updates...". */
void checkForUpdatesNow();
