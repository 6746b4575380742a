#pragma once

#include "RatePromptAppInfo.h"
#include "RatePromptDelegate.h"
#include "RatePromptDesktop.h"
#include "RatePromptLookup.h"
#include "RatePromptTexts.h"
#include "desktop/BackgroundFetch.h"
#include "desktop/Clock.h"
#include "desktop/DefaultsStore.h"

#include <optional>

/** Asks the user, at most once per version and only after enough use, to rate the application in the store.

    The prompt counts launches and keeps its dates in the user's defaults. Once ten days have passed since
    the first use and the application has been launched ten times, it looks the application up in the store
    on a background thread and, when the store knows it and has no newer version, asks with three buttons:
    rate now (opens the store's ratings page), no thanks (never again) and remind me later (again in a day;
    closing the question any other way counts as this). Everything but the lookup runs on the message thread.
*/
class RatePrompt
{
public:
    /** Everything the prompt reaches outside itself. */
    struct Services
    {
        std::unique_ptr<tavlin::desktop::Clock> clock;
        std::unique_ptr<tavlin::desktop::DefaultsStore> defaults;
        std::unique_ptr<tavlin::desktop::HttpFetcher> fetcher;
        std::unique_ptr<RatePromptDesktop> desktop;
    };

    /** Keys of the values kept in the user's defaults. */
    static constexpr const char* firstUsedKey = "RatePromptFirstUsed";
    static constexpr const char* useCountKey = "RatePromptUseCount";
    static constexpr const char* eventCountKey = "RatePromptEventCount";
    static constexpr const char* lastRemindedKey = "RatePromptLastReminded";
    static constexpr const char* declinedVersionKey = "RatePromptDeclinedVersion";
    static constexpr const char* ratedVersionKey = "RatePromptRatedVersionChecked";
    static constexpr const char* lastVersionUsedKey = "RatePromptLastVersionUsed";
    static constexpr const char* appStoreIDKey = "RatePromptAppStoreID";

    /** Store lookups wait this long (in ms) for a stalled connection. */
    static constexpr int lookupTimeoutMs = 60000;

    /** Without a main window the question is tried again after this long (in ms). */
    static constexpr int mainWindowRetryMs = 500;

    RatePrompt (Services services, const RatePromptAppInfo& info);
    ~RatePrompt();

    /** Creates the one instance at the next turn of the message loop. Call it once the framework's message
        loop exists (from the application's start-up); returns false and does nothing before that.
    */
    static bool load();

    /** The one instance on the desktop services, created on first use (message thread). Its launch
        bookkeeping follows at the next turn of the message loop.
    */
    static RatePrompt& sharedInstance();

    /** Runs applicationLaunched() at the next turn of the message loop. */
    void launch();

    //==============================================================================
    juce::uint64 appStoreGenreID = 0;
    juce::String appStoreCountry;
    juce::String applicationName;
    juce::String applicationVersion;
    juce::String applicationBundleID;
    juce::uint64 usesUntilPrompt = 10;
    juce::uint64 eventsUntilPrompt = 10;
    /** In days. */
    float daysUntilPrompt = 10.0f;
    float usesPerWeekForPrompt = 0.0f;
    /** In days. */
    float remindPeriod = 1.0f;
    /** Empty: the translated default texts below. "%@" in the title and the messages is the application name. */
    juce::String messageTitle, message, updateMessage, cancelButtonLabel, remindButtonLabel, rateButtonLabel;
    bool useAllAvailableLanguages = true;
    bool promptForNewVersionIfUserRated = false;
    bool onlyPromptIfLatestVersion = true;
    bool onlyPromptIfMainWindowIsAvailable = true;
    bool promptAtLaunch = true;
    bool verboseLogging = false;
    bool previewMode = false;
    /** Empty: the store's ratings page for getAppStoreID(). */
    juce::URL ratingsURL;

    /** The prompt's own store id, or while that is 0 the one a lookup stored. */
    juce::uint64 getAppStoreID() const;
    void setAppStoreID (juce::uint64 newID) noexcept { appStoreID = newID; }

    juce::String getMessageTitle();
    juce::String getMessage();
    juce::String getUpdateMessage();
    juce::String getCancelButtonLabel();
    juce::String getRemindButtonLabel();
    juce::String getRateButtonLabel();
    juce::URL getRatingsURL() const;

    RatePromptDelegate& getDelegate() noexcept { return delegate != nullptr ? *delegate : defaultDelegate; }
    /** Not owned; null restores the delegate that answers every question with yes. */
    void setDelegate (RatePromptDelegate* newDelegate) noexcept { delegate = newDelegate; }

    //==============================================================================
    std::optional<juce::Time> getFirstUsed() const;
    juce::int64 getUsesCount() const;
    juce::int64 getEventCount() const;
    std::optional<juce::Time> getLastReminded() const;
    bool isDeclinedAnyVersion() const;
    bool isRatedThisVersion() const;
    bool isRatedAnyVersion() const;
    /** Launches per week since the first use. */
    float getUsesPerWeek() const;

    bool isCheckingForPrompt() const noexcept { return checkingForPrompt; }
    bool isCheckingForAppStoreID() const noexcept { return checkingForAppStoreID; }
    bool isAlertVisible() const noexcept { return alertVisible; }
    bool isLookupRunning() const noexcept { return lookup->isRunning(); }

    //==============================================================================
    /** Counts the launch, moves the dates on for a new version, starts a lookup and asks when a prompt is due. */
    void applicationLaunched();

    bool shouldPromptForRating() const;

    /** Starts a lookup in order to ask, unless one was started for a reason already. */
    void promptIfNetworkAvailable();

    /** Starts the store lookup on its own thread; does nothing while one runs. */
    void checkForConnectivityInBackground();

    void connectionSucceeded();
    void connectionError (const std::optional<tavlin::desktop::RequestError>& error);

    /** Shows the question, or tries again shortly while the application has no window. */
    void promptForRating();

    /** The question's answer: 1 rate, 0 decline, anything else remind later. */
    void alertDidEnd (int returnCode);

    void rate();
    void declineThisVersion();
    void remindLater();

    /** Opens the ratings page, first looking up the store id when it is not known. */
    void openRatingsPageInAppStore();

    void setAppStoreIDOnMainThread (const juce::String& storeID);

    static juce::var valueForKey (const juce::String& key, const juce::var& json)
    {
        return RatePromptLookup::valueForKey (key, json);
    }

    juce::String localizedStringForKey (const juce::String& key, const juce::String& defaultText);

private:
    double secondsSince (juce::Time then) const;
    void lookupAnswered (const RatePromptLookup::Request& request, const tavlin::desktop::HttpResponse& response);
    void writeLog (const juce::String& line);

    Services services;
    std::unique_ptr<tavlin::desktop::BackgroundFetch> lookup;
    juce::File textFolder;
    juce::StringArray preferredLanguages;
    juce::String storeLookup, storeRatingsPage;
    std::unique_ptr<RatePromptTexts> texts; // chosen at the first lookup
    RatePromptDelegate defaultDelegate;
    RatePromptDelegate* delegate = nullptr;
    juce::uint64 appStoreID = 0;
    bool alertVisible = false;
    bool checkingForPrompt = false;
    bool checkingForAppStoreID = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (RatePrompt)
    JUCE_DECLARE_NON_COPYABLE (RatePrompt)
};
