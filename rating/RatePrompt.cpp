#include "RatePrompt.h"

using tavlin::desktop::RequestError;

namespace
{
constexpr double secondsPerDay = 86400.0;
constexpr double secondsPerWeek = 604800.0;
constexpr juce::uint64 gameGenreID = 6014;
} // namespace

RatePrompt::RatePrompt (Services s, const RatePromptAppInfo& info)
    : appStoreCountry (RatePromptLookup::countryForLookup (info.localeCountry)), applicationName (info.applicationName),
      applicationVersion (info.applicationVersion), applicationBundleID (info.applicationBundleID),
      services (std::move (s)),
      lookup (std::make_unique<tavlin::desktop::BackgroundFetch> (std::move (services.fetcher))),
      textFolder (info.textFolder), preferredLanguages (info.preferredLanguages), storeLookup (info.storeLookup),
      storeRatingsPage (info.storeRatingsPage)
{
    jassert (services.clock != nullptr && services.defaults != nullptr && services.desktop != nullptr);
}

RatePrompt::~RatePrompt()
{
    // Ends a lookup that still waits before anything it could answer to goes.
    lookup.reset();
}

bool RatePrompt::load()
{
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        return false;

    return juce::MessageManager::callAsync ([] { sharedInstance(); });
}

void RatePrompt::launch()
{
    juce::WeakReference<RatePrompt> self (this);
    juce::MessageManager::callAsync (
        [self]
        {
            if (self != nullptr)
                self->applicationLaunched();
        });
}

//==============================================================================
juce::uint64 RatePrompt::getAppStoreID() const
{
    if (appStoreID != 0)
        return appStoreID;

    return (juce::uint64) juce::jmax ((juce::int64) 0, services.defaults->getInteger (appStoreIDKey));
}

juce::String RatePrompt::localizedStringForKey (const juce::String& key, const juce::String& defaultText)
{
    if (texts == nullptr)
        texts = std::make_unique<RatePromptTexts> (textFolder, preferredLanguages, useAllAvailableLanguages);

    return texts->lookup (key, defaultText);
}

juce::String RatePrompt::getMessageTitle()
{
    const auto text =
        messageTitle.isNotEmpty() ? messageTitle : localizedStringForKey ("RatePromptMessageTitle", "Rate %@");
    return text.replace ("%@", applicationName);
}

juce::String RatePrompt::getMessage()
{
    auto text = message;

    if (text.isEmpty())
    {
        // The texts say "won't" with a typographic apostrophe.
        const juce::String tail (juce::CharPointer_UTF8 (
            ", would you mind taking a moment to rate it? It won\xe2\x80\x99t take more than a minute. "
            "Thanks for your support!"));

        text = appStoreGenreID == gameGenreID
                   ? localizedStringForKey ("RatePromptGameMessage", "If you enjoy playing %@" + tail)
                   : localizedStringForKey ("RatePromptAppMessage", "If you enjoy using %@" + tail);
    }

    return text.replace ("%@", applicationName);
}

juce::String RatePrompt::getUpdateMessage()
{
    const auto text =
        updateMessage.isNotEmpty() ? updateMessage : localizedStringForKey ("RatePromptUpdateMessage", getMessage());
    return text.replace ("%@", applicationName);
}

juce::String RatePrompt::getCancelButtonLabel()
{
    return cancelButtonLabel.isNotEmpty() ? cancelButtonLabel
                                          : localizedStringForKey ("RatePromptCancelButton", "No, Thanks");
}

juce::String RatePrompt::getRemindButtonLabel()
{
    return remindButtonLabel.isNotEmpty() ? remindButtonLabel
                                          : localizedStringForKey ("RatePromptRemindButton", "Remind Me Later");
}

juce::String RatePrompt::getRateButtonLabel()
{
    return rateButtonLabel.isNotEmpty() ? rateButtonLabel
                                        : localizedStringForKey ("RatePromptRateButton", "Rate It Now");
}

juce::URL RatePrompt::getRatingsURL() const
{
    if (!ratingsURL.isEmpty())
        return ratingsURL;

    if (storeRatingsPage.isEmpty())
        return {};

    return juce::URL (storeRatingsPage + juce::String (getAppStoreID()));
}

//==============================================================================
double RatePrompt::secondsSince (juce::Time then) const
{
    return (services.clock->now() - then).inSeconds();
}

std::optional<juce::Time> RatePrompt::getFirstUsed() const
{
    return services.defaults->getDate (firstUsedKey);
}

juce::int64 RatePrompt::getUsesCount() const
{
    return services.defaults->getInteger (useCountKey);
}

juce::int64 RatePrompt::getEventCount() const
{
    return services.defaults->getInteger (eventCountKey);
}

std::optional<juce::Time> RatePrompt::getLastReminded() const
{
    return services.defaults->getDate (lastRemindedKey);
}

bool RatePrompt::isDeclinedAnyVersion() const
{
    return services.defaults->getString (declinedVersionKey).isNotEmpty();
}

bool RatePrompt::isRatedThisVersion() const
{
    return services.defaults->getString (ratedVersionKey) == applicationVersion;
}

bool RatePrompt::isRatedAnyVersion() const
{
    return services.defaults->getString (ratedVersionKey).isNotEmpty();
}

float RatePrompt::getUsesPerWeek() const
{
    const auto firstUsed = getFirstUsed().value_or (services.clock->now());
    return (float) ((double) getUsesCount() / (secondsSince (firstUsed) / secondsPerWeek));
}

//==============================================================================
void RatePrompt::applicationLaunched()
{
    auto& defaults = *services.defaults;
    const auto now = services.clock->now();
    const auto firstUsed = getFirstUsed();

    if (!firstUsed.has_value() || defaults.getString (lastVersionUsedKey) != applicationVersion)
    {
        defaults.setString (lastVersionUsedKey, applicationVersion);

        if (!firstUsed.has_value() || isRatedAnyVersion())
        {
            defaults.setDate (firstUsedKey, now);
            defaults.setInteger (useCountKey, 0);
            defaults.setInteger (eventCountKey, 0);
            defaults.remove (lastRemindedKey);
        }
        else
        {
            // A new version: let at least one more day pass before the question.
            const auto waitSeconds = ((double) daysUntilPrompt - 1.0) * secondsPerDay;

            if (secondsSince (*firstUsed) > waitSeconds)
                defaults.setDate (firstUsedKey, now - juce::RelativeTime::seconds (waitSeconds));
        }

        defaults.synchronise();
        getDelegate().RatePromptDidDetectAppUpdate();
    }

    defaults.setInteger (useCountKey, getUsesCount() + 1);
    defaults.synchronise();

    checkForConnectivityInBackground();

    if (promptAtLaunch && shouldPromptForRating())
        promptIfNetworkAvailable();
}

bool RatePrompt::shouldPromptForRating() const
{
    if (previewMode)
        return true;

    if (isRatedThisVersion())
        return false;

    if (isRatedAnyVersion() && !promptForNewVersionIfUserRated)
        return false;

    if (isDeclinedAnyVersion())
        return false;

    const auto firstUsed = getFirstUsed();

    if (!firstUsed.has_value() || secondsSince (*firstUsed) < (double) daysUntilPrompt * secondsPerDay)
        return false;

    if (getUsesCount() < (juce::int64) usesUntilPrompt && getEventCount() < (juce::int64) eventsUntilPrompt)
        return false;

    if (getUsesPerWeek() < usesPerWeekForPrompt)
        return false;

    const auto lastReminded = getLastReminded();

    if (!lastReminded.has_value())
        return true;

    return secondsSince (*lastReminded) >= (double) remindPeriod * secondsPerDay;
}

void RatePrompt::promptIfNetworkAvailable()
{
    if (checkingForPrompt || checkingForAppStoreID)
        return;

    checkingForPrompt = true;
    checkForConnectivityInBackground();
}

void RatePrompt::checkForConnectivityInBackground()
{
    JUCE_ASSERT_MESSAGE_THREAD

    RatePromptLookup::Request request;
    request.country = appStoreCountry;
    request.bundleID = applicationBundleID;
    request.installedVersion = applicationVersion;
    request.ownStoreID = appStoreID;
    request.genreKnown = appStoreGenreID != 0;
    request.onlyPromptIfLatestVersion = onlyPromptIfLatestVersion;
    request.previewMode = previewMode;

    const auto address = RatePromptLookup::makeAddress (storeLookup, appStoreCountry, appStoreID, applicationBundleID);

    if (address.isEmpty())
    {
        // This build names no store: there is nothing to ask, so no question either.
        checkingForPrompt = false;
        checkingForAppStoreID = false;
        return;
    }

    if (lookup->start (address, lookupTimeoutMs,
                       [this, request] (const auto& response) { lookupAnswered (request, response); }))
    {
        if (verboseLogging)
            writeLog ("RatePrompt is checking " + address.toString (true) + " for the latest version");
    }
}

void RatePrompt::lookupAnswered (const RatePromptLookup::Request& request,
                                 const tavlin::desktop::HttpResponse& response)
{
    const auto outcome = RatePromptLookup::evaluate (request, response);

    if (outcome.genreID.has_value() && appStoreGenreID == 0)
        appStoreGenreID = *outcome.genreID;

    if (outcome.storeID.has_value() && appStoreID == 0)
        setAppStoreIDOnMainThread (*outcome.storeID);

    if (outcome.error.has_value())
        connectionError (outcome.error);
    else if (getAppStoreID() != 0 || previewMode)
        connectionSucceeded();
}

void RatePrompt::connectionSucceeded()
{
    if (checkingForAppStoreID)
    {
        checkingForPrompt = false;
        checkingForAppStoreID = false;
        openRatingsPageInAppStore();
    }
    else if (checkingForPrompt)
    {
        checkingForPrompt = false;

        if (getDelegate().RatePromptShouldPromptForRating())
            promptForRating();
    }
}

void RatePrompt::connectionError (const std::optional<RequestError>& error)
{
    if (!checkingForPrompt && !checkingForAppStoreID)
        return;

    checkingForPrompt = false;
    checkingForAppStoreID = false;

    if (error.has_value())
        writeLog ("RatePrompt rating process failed because: " + error->description);
    else
        writeLog ("RatePrompt rating process failed because an unknown error occured");

    getDelegate().RatePromptCouldNotConnectToAppStore (error.value_or (RequestError {}));
}

void RatePrompt::promptForRating()
{
    if (alertVisible)
        return;

    const auto text = isRatedAnyVersion() ? getUpdateMessage() : getMessage();

    if (onlyPromptIfMainWindowIsAvailable && !services.desktop->hasMainWindow())
    {
        juce::WeakReference<RatePrompt> self (this);
        juce::Timer::callAfterDelay (mainWindowRetryMs,
                                     [self]
                                     {
                                         if (self != nullptr)
                                             self->promptForRating();
                                     });
        return;
    }

    RatePromptAlert alert;
    alert.title = getMessageTitle();
    alert.message = text;
    alert.rateButton = getRateButtonLabel();
    alert.cancelButton = getCancelButtonLabel();
    alert.remindButton = getRemindButtonLabel();

    alertVisible = true;
    services.desktop->showAlert (alert, [this] (int answer) { alertDidEnd (answer); });
    getDelegate().RatePromptDidPromptForRating();
}

void RatePrompt::alertDidEnd (int returnCode)
{
    if (returnCode == RatePromptAlert::rated)
        rate();
    else if (returnCode == RatePromptAlert::declined)
        declineThisVersion();
    else
        remindLater();

    alertVisible = false;
}

void RatePrompt::rate()
{
    services.defaults->setString (ratedVersionKey, applicationVersion);
    services.defaults->synchronise();
    getDelegate().RatePromptUserDidAttemptToRateApp();

    if (getDelegate().RatePromptShouldOpenAppStore())
        openRatingsPageInAppStore();
}

void RatePrompt::declineThisVersion()
{
    services.defaults->setString (declinedVersionKey, applicationVersion);
    services.defaults->synchronise();
    getDelegate().RatePromptUserDidDeclineToRateApp();
}

void RatePrompt::remindLater()
{
    services.defaults->setDate (lastRemindedKey, services.clock->now());
    services.defaults->synchronise();
    getDelegate().RatePromptUserDidRequestReminderToRateApp();
}

void RatePrompt::openRatingsPageInAppStore()
{
    if (ratingsURL.isEmpty() && getAppStoreID() == 0)
    {
        checkingForAppStoreID = true;

        if (!checkingForPrompt)
            checkForConnectivityInBackground();

        return;
    }

    const auto page = getRatingsURL();

    if (page.isEmpty())
        return;

    services.desktop->openURL (page);
    getDelegate().RatePromptDidOpenAppStore();
}

void RatePrompt::setAppStoreIDOnMainThread (const juce::String& storeID)
{
    appStoreID = (juce::uint64) juce::jmax ((juce::int64) 0, storeID.getLargeIntValue());
    services.defaults->setInteger (appStoreIDKey, (juce::int64) appStoreID);
    services.defaults->synchronise();
}

void RatePrompt::writeLog (const juce::String& line)
{
    services.desktop->log (line);
}
