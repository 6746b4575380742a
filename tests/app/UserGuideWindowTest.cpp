// The user guide's window with its browser on the virtual display (the suite runs under xvfb-run).

#include "UserGuideWindow.h"
#include "MessageLoop.h"
#include "StandaloneTestMain.h"
#include "UserGuidePages.h"

#include <gtest/gtest.h>

namespace
{
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

    // The guide's own link, clicked in the page.
    static void clickLink (TavWebBrowserComponent& browser, const juce::String& id)
    {
        browser.goToURL ("javascript:document.getElementById('" + id + "').click()");
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
};

TEST_F (UserGuideWindowTest, BrowsesTheLocalPagesAndGoesBack)
{
    UserGuideWindow window;
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

TEST_F (UserGuideWindowTest, ClosingHidesTheWindowAndKeepsItsPage)
{
    UserGuideWindow window;
    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getStartPage(), 1));

    window.closeButtonPressed();
    EXPECT_FALSE (window.isVisible());

    window.setVisible (true);
    tavlin::test::runMessageLoopFor (300);
    EXPECT_EQ (window.getGuide()->getBrowser(), &browser);
    EXPECT_EQ (browser.getLastPageLoaded(), UserGuidePages::getStartPage().toString (false));
    EXPECT_EQ (browser.pagesLoaded, 1) << "kept while hidden, not loaded again";
}

TEST_F (UserGuideWindowTest, AQuickStartRightAfterOpeningIsTheFirstPage)
{
    UserGuideWindow window;
    window.showQuickStart();

    auto& browser = browserOf (window);
    ASSERT_TRUE (waitForPage (browser, UserGuidePages::getQuickStartPage(), 1));
}
} // namespace
