#include "UpdateChecker.h"

#include "UpdateFeed.h"
#include "VersionComparator.h"

UpdateChecker::UpdateChecker (const juce::URL& f, const juce::String& version,
                              std::unique_ptr<tavlin::desktop::HttpFetcher> fetcher, std::unique_ptr<UpdateNotifier> n)
    : feed (f), installedVersion (version), notifier (std::move (n)),
      fetch (std::make_unique<tavlin::desktop::BackgroundFetch> (std::move (fetcher)))
{
    jassert (notifier != nullptr);
}

UpdateChecker::~UpdateChecker()
{
    fetch.reset();
}

void UpdateChecker::checkInBackground()
{
    start (false);
}

void UpdateChecker::checkForUpdates()
{
    start (true);
}

void UpdateChecker::start (bool userAsked)
{
    if (feed.isEmpty())
    {
        if (userAsked)
            notifier->showNoFeed();

        return;
    }

    answerUser = answerUser || userAsked;
    fetch->start (feed, timeoutMs, [this] (const auto& response) { feedArrived (response); });
}

void UpdateChecker::feedArrived (const tavlin::desktop::HttpResponse& response)
{
    const auto tellUser = std::exchange (answerUser, false);

    const auto failed = [&] (const juce::String& reason)
    {
        if (tellUser)
            notifier->showCheckFailed (reason);
    };

    if (response.error.has_value())
        return failed (response.error->description);

    if (response.statusCode != 200)
        return failed ("The update server answered with status " + juce::String (response.statusCode) + ".");

    const auto parsed = UpdateFeed::parse (response.body);

    if (!parsed.newest.has_value())
        return failed (parsed.error);

    if (VersionComparator::isNewer (parsed.newest->version, installedVersion))
    {
        auto release = *parsed.newest;

        if (!isAllowedDownloadPage (release.downloadPage, feed))
            release.downloadPage = {};

        notifier->showUpdateAvailable (release, installedVersion);
    }
    else if (tellUser)
        notifier->showUpToDate (installedVersion);
}

bool UpdateChecker::isAllowedDownloadPage (const juce::URL& page, const juce::URL& feed)
{
    const auto address = page.toString (true);
    const auto host = page.getDomain();

    return address.startsWithIgnoreCase ("https://") && host.isNotEmpty() && !host.containsAnyOf ("@\\")
           && host.equalsIgnoreCase (feed.getDomain());
}
