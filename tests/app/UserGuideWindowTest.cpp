// The user guide's window with its browser on the virtual display (the suite runs under xvfb-run).

#include "UserGuideWindow.h"
#include "MessageLoop.h"
#include "NullWindowHost.h"
#include "StandaloneTestMain.h"
#include "UserGuidePages.h"

#include <gtest/gtest.h>

#include <csignal>

#include "XDisplayClient.h"

namespace
{
// Before the framework opens the display, as a window manager would have.
const bool windowManagerAtoms = tavlin::test::XDisplayClient::makeWindowManagerAtoms();

class UserGuideWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "this test opens windows: run it under xvfb-run";
        ASSERT_TRUE (UserGuidePages::getFolder().getChildFile ("index.html").existsAsFile());
        ASSERT_TRUE (UserGuidePages::getFolder().getChildFile ("quickstart.html").existsAsFile());
    }

    static TavWebBrowserComponent& browserOf (UserGuideWindow& window)
    {
        EXPECT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return window.getGuide()->getBrowser() != nullptr; }));
        return *window.getGuide()->getBrowser();
    }

    static bool waitForPage (TavWebBrowserComponent& browser, const juce::URL& page, int pagesLoaded)
    {
        return tavlin::test::runMessageLoopUntil (
            [&] { return browser.getLastPageLoaded() == page.toString (false) && browser.pagesLoaded == pagesLoaded; });
    }

    static bool processExists (int pid) { return ::kill (pid, 0) == 0; }

    /** Destroys a window the way another program on the display can: over a connection of its own. */
    static bool destroyFromOutside (juce::Component& window)
    {
        auto* peer = window.getPeer();
        tavlin::test::XDisplayClient display;

        if (peer == nullptr || !display.isOpen())
            return false;

        display.destroy ((tavlin::test::XDisplayClient::WindowId) (juce::pointer_sized_uint) peer->getNativeHandle());
        return true;
    }

    /** Resizes the page's window from another program on the display and waits until the guide has fitted it
        back to the browser, which it does for the view that embeds that window.
    */
    static ::testing::AssertionResult pageWindowFollowsTheBrowser (UserGuideWindow& window)
    {
        auto* peer = window.getPeer();
        auto* browser = window.getGuide()->getBrowser();
        tavlin::test::XDisplayClient display;

        if (peer == nullptr || browser == nullptr || !display.isOpen())
            return ::testing::AssertionFailure() << "no guide window with a browser";

        const auto top = (tavlin::test::XDisplayClient::WindowId) (juce::pointer_sized_uint) peer->getNativeHandle();
        const auto embedded = display.embeddedIn (top);

        if (embedded.size() != 1)
            return ::testing::AssertionFailure() << embedded.size() << " embedded windows instead of the page's";

        const auto page = embedded.front();
        const auto scale = peer->getPlatformScaleFactor() * window.getDesktopScaleFactor();
        const auto fitted = (browser->getLocalBounds() * scale).withZeroOrigin();
        const auto isFitted = [&] { return display.sizeOf (page) == fitted; };

        if (!tavlin::test::runMessageLoopUntil (isFitted))
            return ::testing::AssertionFailure() << "the page's window is " << display.sizeOf (page).toString()
                                                 << ", the browser " << fitted.toString();

        display.resize (page, fitted.getWidth() / 2, fitted.getHeight() / 3);

        if (!tavlin::test::runMessageLoopUntil (isFitted))
            return ::testing::AssertionFailure()
                   << "resized from outside, the page's window stayed at " << display.sizeOf (page).toString();

        return ::testing::AssertionSuccess();
    }

    // The guide's own link, clicked in the page.
    static void clickLink (TavWebBrowserComponent& browser, const juce::String& id)
    {
        browser.goToURL ("javascript:document.getElementById('" + id + "').click()");
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
    juce::ApplicationCommandManager commands;
    tavlin::test::NullWindowHost host;
};

TEST_F (UserGuideWindowTest, BrowsesTheLocalPagesAndGoesBack)
{
    UserGuideWindow window (commands, host);
    EXPECT_EQ (window.getName(), "Tavlin User Guide");
    EXPECT_TRUE (window.isVisible());
    EXPECT_TRUE (window.isUsingNativeTitleBar());
    const auto userArea = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_EQ (window.getBounds(), userArea.withSizeKeepingCentre (900, 740));

    auto& guide = *window.getGuide();
    EXPECT_EQ (guide.getBackButton()->getButtonText(), "Back");
    EXPECT_EQ (guide.getBackButton()->getBounds(), juce::Rectangle<int> (4, 4, 70, 28));

    // The start page opens from the folder beside the program.
    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 1));
    EXPECT_TRUE (UserGuidePages::getStartPage().isLocalFile());
    EXPECT_EQ (browser.getBounds(), guide.getLocalBounds().withTrimmedTop (UserGuideComponent::buttonStripHeight));

    // A link leads to the quick start; Back returns to the start page.
    clickLink (browser, "quickstart-link");
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getQuickStartPage(), 2));

    guide.buttonClicked (guide.getBackButton());
    EXPECT_EQ (browser.pagesLoaded, 1);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 2)) << "the page reached counts again";

    // Back from the first page stays on it: the web view's blank start page is never shown.
    guide.buttonClicked (guide.getBackButton());
    guide.buttonClicked (guide.getBackButton());
    EXPECT_EQ (browser.pagesLoaded, 0);
    guide.buttonClicked (guide.getBackButton());
    EXPECT_EQ (browser.pagesLoaded, 0) << "no Back without a page to go back from";
    tavlin::test::runMessageLoopFor (500);
    EXPECT_EQ (browser.getLastPageLoaded(), UserGuidePages::getStartPage().toString (false));

    // The quick start reuses the browser.
    window.showQuickStart();
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getQuickStartPage(), 1));
    EXPECT_EQ (guide.getBrowser(), &browser);
}

TEST_F (UserGuideWindowTest, ClosingEndsThePageProcessAndShowingAgainReturnsToThePage)
{
    UserGuideWindow window (commands, host);
    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 1));
    clickLink (browser, "quickstart-link");
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getQuickStartPage(), 2));
    EXPECT_TRUE (pageWindowFollowsTheBrowser (window));

    const auto pageProcess = browser.getPageProcessID();
    ASSERT_GT (pageProcess, 0);
    EXPECT_TRUE (processExists (pageProcess));

    // Closed, the guide keeps no web view: its page process has ended (and is reaped), its window is gone.
    window.closeButtonPressed();
    EXPECT_FALSE (window.isVisible());
    EXPECT_FALSE (window.isOnDesktop());
    EXPECT_EQ (window.getGuide()->getBrowser(), nullptr);
    EXPECT_FALSE (processExists (pageProcess));

    // Shown again, it opens on the page the reader was at, in a new page process. That process's window may
    // have the id the last one's had: the window's events reach the new view, not the one let go.
    window.showGuide();
    EXPECT_TRUE (window.isShowing());
    auto& again = browserOf (window);
    ASSERT_TRUE (waitForPage (again, UserGuidePages::getQuickStartPage(), 1));
    EXPECT_NE (again.getPageProcessID(), pageProcess);
    EXPECT_TRUE (pageWindowFollowsTheBrowser (window));
}

TEST_F (UserGuideWindowTest, ClosingWhileThePageStillLoadsEndsItsProcessEveryTime)
{
    UserGuideWindow window (commands, host);

    // Closed at once, while the page process starts, while it makes its window and while the page loads.
    for (const int afterMs : { 0, 1, 10, 40, 120, 300 })
    {
        SCOPED_TRACE (afterMs);
        auto& browser = browserOf (window);
        const auto pageProcess = browser.getPageProcessID();
        ASSERT_GT (pageProcess, 0);
        tavlin::test::runMessageLoopFor (afterMs);

        const auto started = juce::Time::getMillisecondCounterHiRes();
        window.closeButtonPressed();
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - started, 3000.0) << "closing never hangs";
        EXPECT_FALSE (window.isVisible());
        EXPECT_FALSE (processExists (pageProcess));

        window.showGuide();
    }

    // Still a working guide.
    ASSERT_TRUE (waitForPage (browserOf (window), UserGuidePages::getStartPage(), 1));
}

TEST_F (UserGuideWindowTest, AWindowDestroyedFromOutsideIsShownAgainOnRequest)
{
    UserGuideWindow window (commands, host);
    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 1));
    const auto pageProcess = browser.getPageProcessID();

    // Another program on the display destroys the guide's window: its page process goes with it, and the
    // guide counts as closed.
    ASSERT_TRUE (destroyFromOutside (window));
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return !window.isVisible(); }, 20000))
        << "the guide never noticed";
    EXPECT_EQ (window.getGuide()->getBrowser(), nullptr);
    EXPECT_FALSE (processExists (pageProcess));

    // Asked for again, it opens in a new window, on the page it showed.
    window.showGuide();
    EXPECT_TRUE (window.isShowing());
    auto& again = browserOf (window);
    ASSERT_TRUE (waitForPage (again, UserGuidePages::getStartPage(), 1));

    // Destroyed from outside once more, it comes back once more.
    const auto secondProcess = again.getPageProcessID();
    ASSERT_TRUE (destroyFromOutside (window));
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return !window.isVisible(); }, 20000))
        << "the guide never noticed";
    EXPECT_FALSE (processExists (secondProcess));
    window.showGuide();
    ASSERT_TRUE (waitForPage (browserOf (window), UserGuidePages::getStartPage(), 1));
}

// The framework's embedding component answers a move of the page's window with a call it posts to itself.
// Closed in the same breath (the page's window reported moved and the close button clicked, in one batch
// from the display) and opened again, over and over, the guide lets each page view go only after such calls
// have run, and the program goes on.
TEST_F (UserGuideWindowTest, ClosedRightAfterItsPageMovedAndOpenedAgainQuicklyTheProgramGoesOn)
{
    ASSERT_TRUE (windowManagerAtoms);
    UserGuideWindow window (commands, host);
    tavlin::test::XDisplayClient display;
    ASSERT_TRUE (display.isOpen());

    for (int round = 0; round < 8; ++round)
    {
        SCOPED_TRACE (round);
        auto& browser = browserOf (window);
        ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 1));
        auto* peer = window.getPeer();
        ASSERT_NE (peer, nullptr);
        const auto top = (tavlin::test::XDisplayClient::WindowId) (juce::pointer_sized_uint) peer->getNativeHandle();
        const auto inside = display.descendantsOf (top);
        ASSERT_FALSE (inside.empty()) << "the page's window is embedded";

        for (auto w : inside)
            display.reportMoved (w);

        display.askToClose (top);
        display.sync();
        ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return !window.isVisible(); }, 10000));
        EXPECT_EQ (window.getGuide()->getBrowser(), nullptr);
        tavlin::test::runMessageLoopFor (round * 20);
        window.showGuide();
    }

    ASSERT_TRUE (waitForPage (browserOf (window), UserGuidePages::getStartPage(), 1));
    tavlin::test::runMessageLoopFor (500);
    EXPECT_TRUE (window.isShowing());
}

TEST_F (UserGuideWindowTest, AQuickStartRightAfterOpeningIsTheFirstPage)
{
    UserGuideWindow window (commands, host);
    window.showQuickStart();

    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getQuickStartPage(), 1));
}
} // namespace
