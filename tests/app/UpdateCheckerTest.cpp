// The update check against a feed that this test serves itself on 127.0.0.1, and without a feed. Every
// connection and name lookup of the program is watched: none may leave the machine.

#include "UpdateChecker.h"
#include "AlertUpdateNotifier.h"
#include "LocalHttpServer.h"
#include "MessageLoop.h"
#include "SocketWatch.h"
#include "TavlinAddresses.h"
#include "desktop/WebHttpFetcher.h"

#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
using tavlin::test::LocalHttpServer;

juce::String feedWithVersions (std::initializer_list<const char*> versions,
                               const char* link = "https://127.0.0.1/download/",
                               const char* enclosureFolder = "https://127.0.0.1/download/")
{
    juce::String items;

    for (const auto* version : versions)
        items << "<item><title>Tavlin " << version << "</title><link>" << link << "</link>"
              << "<enclosure url=\"" << enclosureFolder << "tavlin-" << version
              << ".tar.xz\" type=\"application/x-xz\" length=\"1000\" tavlin:version=\"" << version << "\"/></item>";

    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<rss version=\"2.0\" xmlns:tavlin=\"https://www.tavlin.org/xml-namespaces/update\"><channel>"
           "<title>Tavlin</title>"
           + items + "</channel></rss>";
}

// What the checker told the user.
struct Told
{
    juce::StringArray events;
    juce::String downloadPage;
};

class RecordingNotifier : public UpdateNotifier
{
public:
    explicit RecordingNotifier (Told& t) : told (t) {}

    void showUpdateAvailable (const UpdateFeedItem& release, const juce::String& installed) override
    {
        told.events.add ("update " + release.version + " over " + installed);
        told.downloadPage = release.downloadPage.toString (false);
    }

    void showUpToDate (const juce::String& installed) override { told.events.add ("up to date " + installed); }
    void showCheckFailed (const juce::String&) override { told.events.add ("failed"); }
    void showNoFeed() override { told.events.add ("no feed"); }

private:
    Told& told;
};

class UpdateCheckerTest : public ::testing::Test
{
protected:
    std::unique_ptr<UpdateChecker> makeChecker (const juce::URL& feed)
    {
        return std::make_unique<UpdateChecker> (feed, "5.0.0", std::make_unique<tavlin::desktop::WebHttpFetcher>(),
                                                std::make_unique<RecordingNotifier> (told));
    }

    // Runs one check and waits until it has ended.
    void check (UpdateChecker& checker, bool userAsked)
    {
        if (userAsked)
            checker.checkForUpdates();
        else
            checker.checkInBackground();

        ASSERT_TRUE (checker.isChecking());
        ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return !checker.isChecking(); }));
    }

    void TearDown() override
    {
        EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineConnections()), "");
        EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineLookups()), "");
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
    LocalHttpServer server;
    Told told;
};

struct FeedCase
{
    const char* name;
    int status;
    juce::String body;
    bool unreachable;
    const char* toldInBackground; // empty: nothing
    const char* toldOnDemand;
};

TEST_F (UpdateCheckerTest, AnswersTheUserOnlyWhenAskedUnlessANewerVersionExists)
{
    ASSERT_TRUE (server.isListening());

    const FeedCase cases[] = {
        { "newer", 200, feedWithVersions ({ "5.1.0" }), false, "update 5.1.0 over 5.0.0", "update 5.1.0 over 5.0.0" },
        { "same", 200, feedWithVersions ({ "5.0.0" }), false, "", "up to date 5.0.0" },
        { "same, fewer parts", 200, feedWithVersions ({ "5.0" }), false, "", "up to date 5.0.0" },
        { "older", 200, feedWithVersions ({ "4.9.9" }), false, "", "up to date 5.0.0" },
        { "newest of several, numerically", 200, feedWithVersions ({ "5.0.1", "5.10.0", "5.2" }), false,
          "update 5.10.0 over 5.0.0", "update 5.10.0 over 5.0.0" },
        { "malformed", 200, "<rss><channel><item>", false, "", "failed" },
        { "not a feed", 200, "{\"version\": \"9.0\"}", false, "", "failed" },
        { "no version in the items", 200, "<rss version=\"2.0\"><channel><item><title>x</title></item></channel></rss>",
          false, "", "failed" },
        { "server error", 500, feedWithVersions ({ "9.0" }), false, "", "failed" },
        { "not found", 404, "missing", false, "", "failed" },
        { "too large", 200, juce::String::repeatedString ("x", (int) tavlin::desktop::WebHttpFetcher::maxBodyBytes + 1),
          false, "", "failed" },
        { "unreachable", 0, {}, true, "", "failed" },
    };

    const auto closedPort = LocalHttpServer::closedPort();

    for (const auto& c : cases)
    {
        for (const bool userAsked : { false, true })
        {
            SCOPED_TRACE (juce::String (c.name) + (userAsked ? ", asked" : ", in the background"));
            server.setReply ({ c.status, c.body });
            told = {};

            const auto feed = c.unreachable ? juce::URL ("http://127.0.0.1:" + juce::String (closedPort) + "/feed.rss")
                                            : server.getURL ("/feed.rss");
            auto checker = makeChecker (feed);
            check (*checker, userAsked);

            const juce::String expected = userAsked ? c.toldOnDemand : c.toldInBackground;
            EXPECT_EQ (told.events.joinIntoString ("; "), expected);
        }
    }

    EXPECT_EQ (server.getLastRequestLine(), "GET /feed.rss HTTP/1.1");

    // The watch saw the checks go to this test's server, and nowhere else (checked as the test ends).
    const auto feedServer = "inet 127.0.0.1:" + std::to_string (server.getURL ("/").getPort());
    const auto seen = tavlin::test::SocketWatch::connections();
    EXPECT_NE (std::find (seen.begin(), seen.end(), feedServer), seen.end()) << tavlin::test::SocketWatch::join (seen);
}

TEST_F (UpdateCheckerTest, OffersOnlyHttpsAddressesOnTheFeedsOwnHostAsTheDownloadPage)
{
    // The feed is served from 127.0.0.1; a release's page must be an https address there.
    const struct
    {
        const char* link;
        const char* enclosureFolder;
        const char* expected; // empty: no download page is offered
    } cases[] = {
        { "https://127.0.0.1/download/", "https://127.0.0.1/download/", "https://127.0.0.1/download/" },
        { "https://127.0.0.1:8443/download/", "https://127.0.0.1/download/", "https://127.0.0.1:8443/download/" },
        { "javascript:alert(1)", "https://127.0.0.1/download/", "https://127.0.0.1/download/tavlin-5.1.0.tar.xz" },
        { "file:///etc/passwd", "https://127.0.0.1/download/", "https://127.0.0.1/download/tavlin-5.1.0.tar.xz" },
        { "http://127.0.0.1/download/", "http://127.0.0.1/download/", "" },
        { "https://www.tavlin.org/download/", "https://www.tavlin.org/download/", "" },
        { "https://127.0.0.1@elsewhere.example/", "https://127.0.0.1.elsewhere.example/", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.link);
        server.setReply ({ 200, feedWithVersions ({ "5.1.0" }, c.link, c.enclosureFolder) });
        told = {};
        auto checker = makeChecker (server.getURL ("/feed.rss"));
        check (*checker, true);
        EXPECT_EQ (told.downloadPage, c.expected);
    }
}

TEST_F (UpdateCheckerTest, WithoutAFeedNothingIsFetchedAndAskingSaysSo)
{
    EXPECT_STREQ (TavlinAddresses::updateFeed, "") << "a default build names no feed";
    tavlin::test::SocketWatch::clear();

    auto checker = makeChecker ({});
    checker->checkInBackground();
    EXPECT_FALSE (checker->isChecking());
    tavlin::test::runMessageLoopFor (200);
    EXPECT_TRUE (told.events.isEmpty()) << "the background check is silent";

    checker->checkForUpdates();
    EXPECT_FALSE (checker->isChecking());
    EXPECT_EQ (told.events.joinIntoString ("; "), "no feed");
    EXPECT_TRUE (AlertUpdateNotifier::noFeedMessage.contains ("checks no update feed"));

    // The program's own checker, on this build's settings, likewise opens no connection at all.
    startBackgroundUpdateCheck();
    EXPECT_FALSE (UpdateChecker::getShared().isChecking());
    tavlin::test::runMessageLoopFor (200);
    EXPECT_EQ (server.getRequestCount(), 0);
    EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::connections()), "");
    EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::lookups()), "");
}

TEST_F (UpdateCheckerTest, AskingDuringABackgroundCheckAnswersWhenThatCheckEnds)
{
    server.setReply ({ 200, feedWithVersions ({ "5.0.0" }) });
    server.holdReplies();
    auto checker = makeChecker (server.getURL ("/feed.rss"));

    checker->checkInBackground();
    ASSERT_TRUE (server.waitForRequest());
    checker->checkForUpdates();
    server.release();

    ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return !checker->isChecking(); }));
    EXPECT_EQ (server.getRequestCount(), 1);
    EXPECT_EQ (told.events.joinIntoString ("; "), "up to date 5.0.0");

    // The next background check is silent again.
    check (*checker, false);
    EXPECT_EQ (told.events.joinIntoString ("; "), "up to date 5.0.0");
}

TEST_F (UpdateCheckerTest, DestroyingTheCheckerEndsAWaitingCheckAndDropsItsAnswer)
{
    server.setReply ({ 200, feedWithVersions ({ "6.0" }) });
    server.holdReplies();
    auto checker = makeChecker (server.getURL ("/feed.rss"));

    checker->checkForUpdates();
    ASSERT_TRUE (server.waitForRequest());
    checker.reset(); // returns although the server has not answered

    server.release();
    tavlin::test::runMessageLoopFor (200);
    EXPECT_TRUE (told.events.isEmpty());
}
} // namespace
