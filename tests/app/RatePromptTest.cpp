// The rating prompt's rules over a fake clock, a fake defaults store, a fake store lookup and a fake desktop.

#include "RatePrompt.h"
#include "MessageLoop.h"
#include "RatePromptLauncher.h"

#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

namespace
{
using tavlin::desktop::HttpResponse;
using tavlin::desktop::RequestError;

const juce::Time start (2024, 0, 15, 12, 0, 0, 0, false);
constexpr double day = 86400.0;

juce::Time daysAfterStart (double days)
{
    return start + juce::RelativeTime::seconds (days * day);
}

juce::String storeRecord (const juce::String& version, const juce::String& bundleID = "org.tavlin.Tavlin",
                          int genre = 6016)
{
    return "{\"resultCount\":1,\"results\":[{\"bundleId\":\"" + bundleID
           + "\",\"trackId\":4242,\"primaryGenreId\":" + juce::String (genre) + ",\"version\":\"" + version + "\"}]}";
}

// Everything the fakes share with the test.
struct World
{
    World() { fetchGate.signal(); } // lookups answer at once unless a test holds them

    juce::Time now = start;

    std::map<juce::String, juce::Time> dates;
    std::map<juce::String, juce::String> strings;
    std::map<juce::String, juce::int64> integers;
    int synchronised = 0;

    juce::CriticalSection fetchLock;
    HttpResponse answer { 200, storeRecord ("5.0.0"), std::nullopt };
    juce::StringArray requested;
    juce::WaitableEvent fetchGate { true };

    bool mainWindow = true;
    std::vector<RatePromptAlert> alerts;
    std::function<void (int)> answerAlert;
    juce::StringArray opened;
    juce::StringArray logged;

    juce::StringArray delegateHeard;
    std::optional<RequestError> delegateError;

    // Back to a first launch: nothing stored, nothing asked or heard.
    void forget()
    {
        now = start;
        dates.clear();
        strings.clear();
        integers.clear();
        synchronised = 0;
        alerts.clear();
        delegateHeard.clear();
        delegateError.reset();
    }
};

class FakeClock : public tavlin::desktop::Clock
{
public:
    explicit FakeClock (World& w) : world (w) {}
    juce::Time now() const override { return world.now; }

private:
    World& world;
};

class FakeDefaults : public tavlin::desktop::DefaultsStore
{
public:
    explicit FakeDefaults (World& w) : world (w) {}

    std::optional<juce::Time> getDate (const juce::String& key) const override
    {
        const auto found = world.dates.find (key);
        return found != world.dates.end() ? std::optional<juce::Time> (found->second) : std::nullopt;
    }

    void setDate (const juce::String& key, std::optional<juce::Time> value) override
    {
        if (value.has_value())
            world.dates[key] = *value;
        else
            world.dates.erase (key);
    }

    juce::String getString (const juce::String& key) const override
    {
        const auto found = world.strings.find (key);
        return found != world.strings.end() ? found->second : juce::String();
    }

    void setString (const juce::String& key, const juce::String& value) override { world.strings[key] = value; }

    juce::int64 getInteger (const juce::String& key) const override
    {
        const auto found = world.integers.find (key);
        return found != world.integers.end() ? found->second : 0;
    }

    void setInteger (const juce::String& key, juce::int64 value) override { world.integers[key] = value; }

    void remove (const juce::String& key) override
    {
        world.dates.erase (key);
        world.strings.erase (key);
        world.integers.erase (key);
    }

    void synchronise() override { ++world.synchronised; }

private:
    World& world;
};

class FakeFetcher : public tavlin::desktop::HttpFetcher
{
public:
    explicit FakeFetcher (World& w) : world (w) {}

    HttpResponse get (const juce::URL& url, int) override
    {
        {
            const juce::ScopedLock sl (world.fetchLock);
            world.requested.add (url.toString (true));
        }

        world.fetchGate.wait (-1);
        const juce::ScopedLock sl (world.fetchLock);
        return world.answer;
    }

    void cancel() override { world.fetchGate.signal(); }

private:
    World& world;
};

class FakeDesktop : public RatePromptDesktop
{
public:
    explicit FakeDesktop (World& w) : world (w) {}

    bool hasMainWindow() override { return world.mainWindow; }

    void showAlert (const RatePromptAlert& alert, std::function<void (int)> onAnswer) override
    {
        world.alerts.push_back (alert);
        world.answerAlert = std::move (onAnswer);
    }

    void openURL (const juce::URL& url) override { world.opened.add (url.toString (true)); }
    void log (const juce::String& line) override { world.logged.add (line); }

private:
    World& world;
};

class RecordingDelegate : public RatePromptDelegate
{
public:
    explicit RecordingDelegate (World& w) : world (w) {}

    void RatePromptCouldNotConnectToAppStore (const RequestError& error) override
    {
        world.delegateHeard.add ("could not connect");
        world.delegateError = error;
    }

    void RatePromptDidDetectAppUpdate() override { world.delegateHeard.add ("update"); }
    void RatePromptDidPromptForRating() override { world.delegateHeard.add ("prompted"); }
    void RatePromptUserDidAttemptToRateApp() override { world.delegateHeard.add ("rate"); }
    void RatePromptUserDidDeclineToRateApp() override { world.delegateHeard.add ("decline"); }
    void RatePromptUserDidRequestReminderToRateApp() override { world.delegateHeard.add ("remind"); }
    void RatePromptDidOpenAppStore() override { world.delegateHeard.add ("store"); }

private:
    World& world;
};

class RatePromptTest : public ::testing::Test
{
protected:
    RatePromptTest() { makePrompt ("5.0.0"); }

    ~RatePromptTest() override
    {
        world.fetchGate.signal();
        prompt.reset();
    }

    void makePrompt (const juce::String& version, bool withStore = true)
    {
        prompt.reset();

        RatePrompt::Services services;
        services.clock = std::make_unique<FakeClock> (world);
        services.defaults = std::make_unique<FakeDefaults> (world);
        services.fetcher = std::make_unique<FakeFetcher> (world);
        services.desktop = std::make_unique<FakeDesktop> (world);

        RatePromptAppInfo info;
        info.applicationName = "Tavlin";
        info.applicationVersion = version;
        info.applicationBundleID = "org.tavlin.Tavlin";
        info.localeCountry = "DE";
        info.textFolder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("no-such-folder");

        if (withStore)
        {
            info.storeLookup = "https://store.tavlin.org";
            info.storeRatingsPage = "https://store.tavlin.org/app/id";
        }

        prompt = std::make_unique<RatePrompt> (std::move (services), info);
        prompt->setDelegate (&delegate);
    }

    void waitForLookups()
    {
        ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([this] { return !prompt->isLookupRunning(); }));
    }

    // One launch of the application at a time after the first use (in days); the lookup is answered.
    void launchAt (double days)
    {
        world.now = daysAfterStart (days);
        prompt->applicationLaunched();
        waitForLookups();
    }

    void answer (int code)
    {
        ASSERT_TRUE (world.answerAlert != nullptr);
        auto onAnswer = std::exchange (world.answerAlert, nullptr);
        onAnswer (code);
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
    World world;
    RecordingDelegate delegate { world };
    std::unique_ptr<RatePrompt> prompt;
};

//==============================================================================
struct RuleCase
{
    const char* name;
    double daysSinceFirstUse;
    int uses;
    int events;
    std::optional<double> remindedDaysAgo;
    const char* declinedVersion;
    const char* ratedVersion;
    bool promptForNewVersionIfUserRated;
    float usesPerWeekForPrompt;
    bool previewMode;
    bool expected;
};

TEST_F (RatePromptTest, DecidesByUsesDaysReminderDeclineAndRating)
{
    const RuleCase cases[] = {
        { "ten days, ten uses", 10.0, 10, 0, {}, "", "", false, 0.0f, false, true },
        { "nine uses", 10.0, 9, 0, {}, "", "", false, 0.0f, false, false },
        { "a little under ten days", 9.99, 50, 0, {}, "", "", false, 0.0f, false, false },
        { "ten events instead of uses", 10.0, 3, 10, {}, "", "", false, 0.0f, false, true },
        { "reminded half a day ago", 30.0, 30, 0, 0.5, "", "", false, 0.0f, false, false },
        { "reminded a day ago", 30.0, 30, 0, 1.0, "", "", false, 0.0f, false, true },
        { "declined this version", 30.0, 30, 0, {}, "5.0.0", "", false, 0.0f, false, false },
        { "declined an older version", 30.0, 30, 0, {}, "4.0", "", false, 0.0f, false, false },
        { "rated this version", 30.0, 30, 0, {}, "", "5.0.0", true, 0.0f, false, false },
        { "rated an older version", 30.0, 30, 0, {}, "", "4.0", false, 0.0f, false, false },
        { "rated an older version, asked again for new ones", 30.0, 30, 0, {}, "", "4.0", true, 0.0f, false, true },
        { "too few uses per week", 70.0, 10, 0, {}, "", "", false, 2.0f, false, false },
        { "enough uses per week", 70.0, 20, 0, {}, "", "", false, 2.0f, false, true },
        { "preview, although declined", 0.0, 0, 0, {}, "5.0.0", "", false, 0.0f, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        world.forget();
        world.now = daysAfterStart (c.daysSinceFirstUse);
        world.dates[RatePrompt::firstUsedKey] = start;
        world.integers[RatePrompt::useCountKey] = c.uses;
        world.integers[RatePrompt::eventCountKey] = c.events;
        world.strings[RatePrompt::declinedVersionKey] = c.declinedVersion;
        world.strings[RatePrompt::ratedVersionKey] = c.ratedVersion;

        if (c.remindedDaysAgo.has_value())
            world.dates[RatePrompt::lastRemindedKey] =
                world.now - juce::RelativeTime::seconds (*c.remindedDaysAgo * day);

        prompt->promptForNewVersionIfUserRated = c.promptForNewVersionIfUserRated;
        prompt->usesPerWeekForPrompt = c.usesPerWeekForPrompt;
        prompt->previewMode = c.previewMode;

        EXPECT_EQ (prompt->shouldPromptForRating(), c.expected);
    }
}

struct LaunchCase
{
    const char* name;
    std::optional<double> firstUsedDaysAgo;
    const char* lastVersion;
    const char* ratedVersion;
    int usesBefore;
    std::optional<double> expectedFirstUsedDaysAgo;
    int expectedUses;
    bool reminderKept;
    bool updateDetected;
};

TEST_F (RatePromptTest, LaunchBookkeeping)
{
    const LaunchCase cases[] = {
        { "first launch", {}, "", "", 0, 0.0, 1, false, true },
        { "same version again", 3.0, "5.0.0", "", 4, 3.0, 5, true, false },
        { "new version after twenty days", 20.0, "4.2", "", 30, 9.0, 31, true, true },
        { "new version after three days", 3.0, "4.2", "", 5, 3.0, 6, true, true },
        { "new version after rating", 20.0, "4.2", "4.2", 30, 0.0, 1, false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        world.forget();
        world.now = daysAfterStart (100.0);

        if (c.firstUsedDaysAgo.has_value())
            world.dates[RatePrompt::firstUsedKey] = world.now - juce::RelativeTime::seconds (*c.firstUsedDaysAgo * day);

        world.strings[RatePrompt::lastVersionUsedKey] = c.lastVersion;
        world.strings[RatePrompt::ratedVersionKey] = c.ratedVersion;
        world.integers[RatePrompt::useCountKey] = c.usesBefore;
        world.integers[RatePrompt::eventCountKey] = 2;
        world.dates[RatePrompt::lastRemindedKey] = world.now - juce::RelativeTime::seconds (0.1 * day);

        prompt->applicationLaunched();
        waitForLookups();

        ASSERT_TRUE (prompt->getFirstUsed().has_value());
        EXPECT_NEAR ((world.now - *prompt->getFirstUsed()).inSeconds(), *c.expectedFirstUsedDaysAgo * day, 0.001);
        EXPECT_EQ (prompt->getUsesCount(), c.expectedUses);
        EXPECT_EQ (prompt->getLastReminded().has_value(), c.reminderKept);
        EXPECT_EQ (world.strings[RatePrompt::lastVersionUsedKey], "5.0.0");
        EXPECT_EQ (world.delegateHeard.contains ("update"), c.updateDetected);
        EXPECT_GT (world.synchronised, 0);
        EXPECT_TRUE (world.alerts.empty());
    }
}

TEST_F (RatePromptTest, AsksOnceTenDaysAndTenLaunchesHavePassedAndFollowsTheAnswers)
{
    for (int d = 0; d < 10; ++d)
        launchAt (d);

    EXPECT_TRUE (world.alerts.empty()) << "ten launches, but only nine days";

    launchAt (10.0);
    ASSERT_EQ (world.alerts.size(), 1u);
    const auto& alert = world.alerts.front();
    EXPECT_EQ (alert.title, "Rate Tavlin");
    EXPECT_EQ (alert.message, juce::String (juce::CharPointer_UTF8 (
                                  "If you enjoy using Tavlin, would you mind taking a moment to rate "
                                  "it? It won\xe2\x80\x99t take more than a minute. Thanks for "
                                  "your support!")));
    EXPECT_EQ (alert.rateButton, "Rate It Now");
    EXPECT_EQ (alert.cancelButton, "No, Thanks");
    EXPECT_EQ (alert.remindButton, "Remind Me Later");
    EXPECT_TRUE (prompt->isAlertVisible());
    EXPECT_EQ (prompt->getAppStoreID(), 4242u) << "taken from the lookup";

    // Remind me later: not again the same day, again a day later.
    answer (RatePromptAlert::remindLater);
    EXPECT_FALSE (prompt->isAlertVisible());
    EXPECT_EQ (prompt->getLastReminded(), daysAfterStart (10.0));
    launchAt (10.5);
    EXPECT_EQ (world.alerts.size(), 1u);
    launchAt (11.0);
    ASSERT_EQ (world.alerts.size(), 2u);

    // No thanks: never again, not for a new version either.
    answer (RatePromptAlert::declined);
    EXPECT_EQ (world.strings[RatePrompt::declinedVersionKey], "5.0.0");
    launchAt (12.0);
    launchAt (40.0);
    makePrompt ("5.1.0");
    launchAt (60.0);
    launchAt (70.0);
    EXPECT_EQ (world.alerts.size(), 2u);
    EXPECT_TRUE (world.opened.isEmpty());
    world.delegateHeard.removeString ("update");
    EXPECT_EQ (world.delegateHeard.joinIntoString (","), "prompted,remind,prompted,decline");
}

TEST_F (RatePromptTest, RatingOpensTheRatingsPageAndEndsThePromptsForLaterVersions)
{
    world.dates[RatePrompt::firstUsedKey] = start;
    world.strings[RatePrompt::lastVersionUsedKey] = "5.0.0";
    world.integers[RatePrompt::useCountKey] = 20;

    launchAt (15.0);
    ASSERT_EQ (world.alerts.size(), 1u);
    answer (RatePromptAlert::rated);

    EXPECT_EQ (world.strings[RatePrompt::ratedVersionKey], "5.0.0");
    EXPECT_EQ (world.opened, juce::StringArray ("https://store.tavlin.org/app/id4242"));
    EXPECT_TRUE (world.delegateHeard.contains ("rate"));
    EXPECT_TRUE (world.delegateHeard.contains ("store"));

    makePrompt ("5.1.0");
    world.answer.body = storeRecord ("5.1.0");

    for (double d = 16.0; d < 40.0; d += 1.0)
        launchAt (d);

    EXPECT_EQ (world.alerts.size(), 1u);
}

TEST_F (RatePromptTest, LooksUpOverHttpsByCountryAndByStoreIDOnceKnown)
{
    launchAt (0.0);
    EXPECT_EQ (world.requested, juce::StringArray ("https://store.tavlin.org/DE/lookup?bundleId=org.tavlin.Tavlin"));

    prompt->setAppStoreID (77);
    prompt->checkForConnectivityInBackground();
    waitForLookups();
    EXPECT_EQ (world.requested[1], "https://store.tavlin.org/DE/lookup?id=77");
}

TEST_F (RatePromptTest, ABuildWithoutAStoreAsksNothingAndOpensNothing)
{
    makePrompt ("5.0.0", false);
    world.dates[RatePrompt::firstUsedKey] = start;
    world.strings[RatePrompt::lastVersionUsedKey] = "5.0.0";
    world.integers[RatePrompt::useCountKey] = 20;

    // Due for the question by every rule, yet without a store there is no lookup and so no question.
    for (double d = 15.0; d < 20.0; d += 1.0)
        launchAt (d);

    EXPECT_TRUE (prompt->shouldPromptForRating());
    EXPECT_TRUE (world.requested.isEmpty());
    EXPECT_TRUE (world.alerts.empty());
    EXPECT_FALSE (prompt->isCheckingForPrompt());
    EXPECT_EQ (world.integers[RatePrompt::useCountKey], 25) << "the launches are still counted";

    // Asked to rate all the same (its store id known from before): no page to open, nothing looked up.
    prompt->setAppStoreID (4242);
    prompt->rate();
    prompt->openRatingsPageInAppStore();
    EXPECT_TRUE (world.opened.isEmpty());
    EXPECT_TRUE (world.requested.isEmpty());
    EXPECT_FALSE (prompt->isCheckingForAppStoreID());
}

TEST_F (RatePromptTest, StartsOneLookupAtATime)
{
    world.fetchGate.reset();
    prompt->checkForConnectivityInBackground();
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil (
        [this]
        {
            const juce::ScopedLock sl (world.fetchLock);
            return world.requested.size() == 1;
        }));

    prompt->checkForConnectivityInBackground();
    prompt->promptIfNetworkAvailable();
    EXPECT_TRUE (prompt->isLookupRunning());
    EXPECT_TRUE (prompt->isCheckingForPrompt()) << "the running lookup answers the prompt";

    world.fetchGate.signal();
    waitForLookups();
    EXPECT_EQ (world.requested.size(), 1);

    prompt->checkForConnectivityInBackground();
    waitForLookups();
    EXPECT_EQ (world.requested.size(), 2);
}

TEST_F (RatePromptTest, AFailedLookupIsLoggedAndReportedAndChangesNothingElse)
{
    world.dates[RatePrompt::firstUsedKey] = start;
    world.strings[RatePrompt::lastVersionUsedKey] = "5.0.0";
    world.integers[RatePrompt::useCountKey] = 20;
    world.answer = { 404, "not here", std::nullopt };

    launchAt (15.0);

    EXPECT_TRUE (world.alerts.empty());
    EXPECT_EQ (world.logged,
               juce::StringArray ("RatePrompt rating process failed because: The server returned a 404 error"));
    ASSERT_TRUE (world.delegateError.has_value());
    EXPECT_EQ (*world.delegateError,
               (RequestError { "HTTPResponseErrorDomain", 404, "The server returned a 404 error" }));
    EXPECT_FALSE (prompt->isCheckingForPrompt());
    EXPECT_FALSE (prompt->getLastReminded().has_value());
    EXPECT_TRUE (world.strings[RatePrompt::declinedVersionKey].isEmpty());

    // The next launch decides again.
    world.answer = { 200, storeRecord ("5.0.0"), std::nullopt };
    launchAt (16.0);
    EXPECT_EQ (world.alerts.size(), 1u);
}

TEST_F (RatePromptTest, WaitsForAMainWindowBeforeAsking)
{
    world.dates[RatePrompt::firstUsedKey] = start;
    world.strings[RatePrompt::lastVersionUsedKey] = "5.0.0";
    world.integers[RatePrompt::useCountKey] = 20;
    world.mainWindow = false;

    launchAt (15.0);
    tavlin::test::runMessageLoopFor (3 * RatePrompt::mainWindowRetryMs);
    EXPECT_TRUE (world.alerts.empty());

    world.mainWindow = true;
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([this] { return !world.alerts.empty(); }));
    EXPECT_EQ (world.alerts.size(), 1u);
}

TEST_F (RatePromptTest, FindsTheStoreIDBeforeOpeningTheRatingsPage)
{
    world.answer = { 200, storeRecord ("5.0.0"), std::nullopt };
    prompt->openRatingsPageInAppStore();
    EXPECT_TRUE (prompt->isCheckingForAppStoreID());
    waitForLookups();

    EXPECT_EQ (world.opened, juce::StringArray ("https://store.tavlin.org/app/id4242"));
    EXPECT_EQ (world.integers[RatePrompt::appStoreIDKey], 4242);
    EXPECT_FALSE (prompt->isCheckingForAppStoreID());
}

TEST_F (RatePromptTest, TextsFollowTheGenreAndAnEarlierRating)
{
    world.answer = { 200, storeRecord ("5.0.0", "org.tavlin.Tavlin", 6014), std::nullopt };
    launchAt (0.0);
    EXPECT_EQ (prompt->appStoreGenreID, 6014u);
    EXPECT_TRUE (prompt->getMessage().startsWith ("If you enjoy playing Tavlin,"));

    prompt->messageTitle = "Enjoying %@?";
    EXPECT_EQ (prompt->getMessageTitle(), "Enjoying Tavlin?");

    // After a rating of an older version the question uses the update text (by default the message).
    world.strings[RatePrompt::ratedVersionKey] = "4.0";
    prompt->updateMessage = "%@ got better. Rate the new version?";
    prompt->promptForRating();
    ASSERT_EQ (world.alerts.size(), 1u);
    EXPECT_EQ (world.alerts.front().message, "Tavlin got better. Rate the new version?");
}

//==============================================================================
struct LookupCase
{
    const char* name;
    HttpResponse response;
    juce::uint64 ownStoreID;
    bool onlyLatest;
    std::optional<RequestError> error;
    std::optional<juce::String> storeID;
};

TEST (RatePromptLookup, ReadsTheStoresAnswer)
{
    const auto ok = [] (const juce::String& body) { return HttpResponse { 200, body, std::nullopt }; };
    const RequestError notFound { "RatePromptErrorDomain", 2, "The application could not be found on the App Store." };
    const RequestError notLatest { "RatePromptErrorDomain", 3, "Installed app is not the latest version available" };

    const LookupCase cases[] = {
        { "the same version", ok (storeRecord ("1.9")), 0, true, {}, juce::String ("4242") },
        { "a newer version, 1.10 after 1.9", ok (storeRecord ("1.10")), 0, true, notLatest, juce::String ("4242") },
        { "a newer version, not checked", ok (storeRecord ("1.10")), 0, false, {}, juce::String ("4242") },
        { "an older version", ok (storeRecord ("1.8.5")), 0, true, {}, juce::String ("4242") },
        { "own store id known", ok (storeRecord ("1.9")), 77, true, {}, {} },
        { "another application",
          ok (storeRecord ("1.9", "com.example.other")),
          0,
          true,
          RequestError { "RatePromptErrorDomain", 1,
                         "Application bundle ID does not match expected value of com.example.other" },
          {} },
        { "the last result counts",
          ok ("{\"results\":[{\"bundleId\":\"com.example.other\"},{\"bundleId\":\"org.tavlin.Tavlin\",\"trackId\":5,"
              "\"version\":\"1.9\"}]}"),
          0,
          true,
          {},
          juce::String ("5") },
        { "no results, own id known", ok ("{\"resultCount\":0,\"results\":[]}"), 77, true, notFound, {} },
        { "no results, own id unknown", ok ("{\"resultCount\":0,\"results\":[]}"), 0, true, {}, {} },
        { "results missing", ok ("{\"resultCount\":0}"), 77, true, notFound, {} },
        { "status 404",
          { 404, "gone", std::nullopt },
          0,
          true,
          RequestError { "HTTPResponseErrorDomain", 404, "The server returned a 404 error" },
          {} },
        { "status 503",
          { 503, "", std::nullopt },
          0,
          true,
          RequestError { "HTTPResponseErrorDomain", 503, "The server returned a 503 error" },
          {} },
        { "no connection",
          { 0, "", RequestError { "NetworkErrorDomain", 1, "Could not connect to store.tavlin.org." } },
          0,
          true,
          RequestError { "NetworkErrorDomain", 1, "Could not connect to store.tavlin.org." },
          {} },
        { "a redirect without an error", { 302, "", std::nullopt }, 0, true, {}, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        RatePromptLookup::Request request;
        request.bundleID = "org.tavlin.Tavlin";
        request.installedVersion = "1.9";
        request.ownStoreID = c.ownStoreID;
        request.onlyPromptIfLatestVersion = c.onlyLatest;

        const auto outcome = RatePromptLookup::evaluate (request, c.response);
        EXPECT_EQ (outcome.error, c.error);
        EXPECT_EQ (outcome.storeID, c.storeID);
    }

    RatePromptLookup::Request request;
    request.bundleID = "org.tavlin.Tavlin";
    const auto broken = RatePromptLookup::evaluate (request, ok ("{\"results\": [ {\"bundleId\": "));
    ASSERT_TRUE (broken.error.has_value());
    EXPECT_EQ (broken.error->domain, "JSONErrorDomain");
}

TEST (RatePromptLookup, CountryOfTheLookupAddress)
{
    const std::pair<const char*, const char*> cases[] = {
        { "DE", "DE" },  { "gb", "gb" }, { "150", "eu" }, { "419", "us" }, { "", "us" },
        { "USA", "us" }, { "d3", "us" }, { "../", "us" }, { "U", "us" },
    };

    for (const auto& [locale, expected] : cases)
        EXPECT_EQ (RatePromptLookup::countryForLookup (locale), expected) << "locale country " << locale;
}

//==============================================================================
TEST (RatePromptTexts, TakesTheFileOfThePreferredLanguage)
{
    const juce::TemporaryFile folderFile;
    const auto& folder = folderFile.getFile();
    ASSERT_TRUE (folder.createDirectory());

    folder.getChildFile ("de.txt").replaceWithText (
        "language: German\n\"RatePromptRateButton\" = \"Jetzt bewerten\"\n");
    folder.getChildFile ("pt-BR.txt")
        .replaceWithText ("language: Portuguese\n\"RatePromptRateButton\" = \"Avaliar\"\n");
    folder.getChildFile ("en.txt").replaceWithText ("language: English\n\"RatePromptRateButton\" = \"Rate now\"\n");

    const struct
    {
        juce::StringArray languages;
        bool useAll;
        const char* expected;
    } cases[] = {
        { { "de-AT", "fr" }, true, "Jetzt bewerten" },
        { { "pt-BR" }, true, "Avaliar" },
        { { "fr", "de" }, true, "Rate It Now" },
        { {}, true, "Rate now" },
        { { "de" }, false, "Rate now" },
        { { "../de" }, true, "Rate It Now" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.languages.joinIntoString (","));
        RatePromptTexts texts (folder, c.languages, c.useAll);
        EXPECT_EQ (texts.lookup ("RatePromptRateButton", "Rate It Now"), c.expected);
        EXPECT_EQ (texts.lookup ("RatePromptCancelButton", "No, Thanks"), "No, Thanks");
    }

    folder.deleteRecursively();
}

TEST (RatePromptTexts, PreferredLanguagesFromTheEnvironment)
{
    const struct
    {
        const char *language, *lcAll, *lcMessages, *lang;
        juce::StringArray expected;
    } cases[] = {
        { "", "", "", "de_AT.UTF-8", { "de-AT" } },
        { "fr:de_DE", "", "", "de_DE.UTF-8", { "fr", "de-DE" } },
        { "", "pt_BR.UTF-8", "en_US.UTF-8", "de_DE", { "pt-BR" } },
        { "", "", "sv_SE@euro", "de_DE", { "sv-SE" } },
        { "fr", "", "", "C", {} },
        { "", "", "", "", {} },
    };

    for (const auto& c : cases)
        EXPECT_EQ (RatePromptAppInfo::languagesFromEnvironment (c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
            << c.language << " / " << c.lang;
}

//==============================================================================
TEST (RatePromptLoad, WaitsForTheMessageLoop)
{
    juce::shutdownJuce_GUI(); // as before the application has set the framework up
    ASSERT_EQ (juce::MessageManager::getInstanceWithoutCreating(), nullptr);
    EXPECT_FALSE (RatePrompt::load());
    EXPECT_EQ (juce::MessageManager::getInstanceWithoutCreating(), nullptr) << "must not create the loop itself";

    {
        juce::ScopedJuceInitialiser_GUI juceInit;
        EXPECT_TRUE (RatePrompt::load());
        EXPECT_EQ (RatePromptLauncher::getInstanceWithoutCreating(), nullptr) << "created at the next turn of the loop";
        // The loop never turns here, so the prompt is never made and reaches no network.
    }
}
} // namespace
