#include "EditorTestSupport.h"
#include "LocalHttpServer.h"
#include "NullWindowHost.h"
#include "SocketWatch.h"
#include "StandaloneTestMain.h"

#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavEditorWindow.h"
#include "TavPreferences.h"
#include "TavUIEditor.h"
#include "TavlinResources.h"
#include "WashWindowComponent.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>

// These tests open the processing window on an X display: run them under xvfb-run.
namespace
{
using namespace editor_test;

/** The processing window on the display, and pictures of what it paints. */
class ProcessingWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE (std::getenv ("DISPLAY"), nullptr) << "needs an X display: run under xvfb-run";

        // Building the panel starts the background update check: whatever a build's feed, its request ends
        // at this test's own server, and no socket leaves the machine.
        ASSERT_TRUE (webProxy.isListening());
        webProxy.setReply ({ 503, "offline" });
        webProxy.routeWebRequestsHere();
    }

    void TearDown() override
    {
        EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineConnections()), "");
        EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineLookups()), "");
    }

    void open (bool helpTips)
    {
        {
            TavPreferences prefs;
            prefs.setHelpTips (helpTips);
        }

        window = std::make_unique<TavEditorWindow> (processor, commands, host, panelHost);
        // Shown, and the wash window's timer has rendered at least once.
        ASSERT_TRUE (waitFor ([this] { return window->isShowing() && panel().getWashWindow().getWriteColumn() > 0; }))
            << "the processing window never came up";
        pump (100);
    }

    TavUIEditor& editor() { return *dynamic_cast<TavUIEditor*> (window->getContentComponent()); }
    TavEditor& panel() { return editor().getMainPanel(); }

    /** Runs the message loop until the condition holds, for at most 5 s. */
    static bool waitFor (const std::function<bool()>& condition)
    {
        for (int i = 0; i < 250 && !condition(); ++i)
            pump (20);

        return condition();
    }

    /** The window's content as it paints itself on the display, also written to a PNG for a person to
        look at. Other test programs share the virtual display and may cover the window, so the picture is
        taken from the window's own painting rather than read back from the screen.
    */
    juce::Image shoot (const juce::String& name)
    {
        auto shot = panel().createComponentSnapshot (panel().getLocalBounds(), true, 1.0f);
        auto file = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile (name + ".png");
        file.deleteFile();

        if (auto stream = file.createOutputStream())
            juce::PNGImageFormat().writeImageToStream (shot, *stream);

        std::cout << "picture: " << file.getFullPathName() << std::endl;
        return shot;
    }

    /** The share of pixels inside r that differ clearly from the bare panel background. */
    static double drawnShare (const juce::Image& shot, juce::Rectangle<int> r)
    {
        static const auto background = juce::ImageFileFormat::loadFrom (
            TavlinResources::panel_background_png, (size_t) TavlinResources::panel_background_pngSize);
        int differing = 0;

        for (int y = r.getY(); y < r.getBottom(); ++y)
            for (int x = r.getX(); x < r.getRight(); ++x)
            {
                auto a = shot.getPixelAt (x, y);
                auto b = background.getPixelAt (x, y);
                auto d = std::abs ((int) a.getRed() - (int) b.getRed())
                         + std::abs ((int) a.getGreen() - (int) b.getGreen())
                         + std::abs ((int) a.getBlue() - (int) b.getBlue());
                differing += d > 24 ? 1 : 0;
            }

        return (double) differing / (double) (r.getWidth() * r.getHeight());
    }

    static bool tooltipShowing()
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* tip = dynamic_cast<juce::TooltipWindow*> (desktop.getComponent (i)))
                if (tip->isVisible())
                    return true;

        return false;
    }

    tavlin::test::LocalHttpServer webProxy;
    juce::ScopedJuceInitialiser_GUI juce;
    ScopedSettingsFolder settings;
    TavAudioProcessor processor;
    juce::ApplicationCommandManager commands;
    tavlin::test::NullWindowHost host;
    FakeHost::State transport;
    FakeHost panelHost { transport };
    std::unique_ptr<TavEditorWindow> window;
};

TEST_F (ProcessingWindowTest, ShowsThePanelAsDescribed)
{
    ASSERT_NO_FATAL_FAILURE (open (false));

    auto& area = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    ASSERT_GE (area.getHeight(), 890) << "the screen must leave room for the media window below";
    EXPECT_EQ (window->getContentComponent()->getBounds().getWidth(), 780);
    EXPECT_EQ (window->getContentComponent()->getBounds().getHeight(), 400);
    EXPECT_EQ (window->getScreenY(), area.getY() + 64);
    EXPECT_NEAR (window->getBounds().getCentreX(), area.getCentreX(), 1);
    EXPECT_EQ (window->getName(), "Tavlin");

    auto shot = shoot ("processing-window");
    ASSERT_TRUE (shot.isValid());
    ASSERT_EQ (shot.getWidth(), 780);

    struct Probe
    {
        const char* what;
        juce::Rectangle<int> bounds;
        double minimumDrawn; // the share of pixels that differ from the bare background
    };

    // Each control draws something of its own inside its bounds.
    const Probe probes[] = {
        { "tuner knob", { 20, 16, 234, 234 }, 0.3 },
        { "reduction knob", { 520, 16, 234, 234 }, 0.3 },
        { "declick slider thumb", { 70, 284, 24, 24 }, 0.2 },
        { "enhance slider thumb", { 544, 284, 24, 24 }, 0.2 },
        { "hum slider thumb", { 193, 339, 24, 24 }, 0.2 },
        { "boost slider thumb", { 344, 339, 24, 24 }, 0.2 },
        { "preserve voice toggle", { 32, 328, 42, 42 }, 0.3 },
        { "remove rumble toggle", { 104, 328, 42, 42 }, 0.3 },
        { "declipper toggle", { 247, 16, 42, 42 }, 0.3 },
        { "track toggle", { 482, 16, 42, 42 }, 0.3 },
        { "noise only toggle", { 247, 195, 42, 42 }, 0.3 },
        { "learn toggle", { 482, 195, 42, 42 }, 0.3 },
        { "noise reduction button", { 363, 230, 54, 54 }, 0.3 },
        { "credits word mark", { 520, 336, 220, 48 }, 0.05 },
        { "meter", { 308, 320, 160, 14 }, 0.5 },
        { "wash window inside its circle", { 340, 82, 96, 96 }, 0.5 },
    };

    for (const auto& probe : probes)
        EXPECT_GE (drawnShare (shot, probe.bounds), probe.minimumDrawn) << probe.what;

    // The wash window is black inside its circle before any sound, and round: its corners show the
    // recess of the panel around it, not black.
    EXPECT_EQ (shot.getPixelAt (360, 130), juce::Colours::black);
    EXPECT_EQ (shot.getPixelAt (420, 100), juce::Colours::black);
    EXPECT_GT (shot.getPixelAt (388, 130).getBrightness(), 0.4f); // the divider
    EXPECT_NE (shot.getPixelAt (292, 34), juce::Colours::black);
    EXPECT_NE (shot.getPixelAt (483, 225), juce::Colours::black);
    EXPECT_LT (drawnShare (shot, { 292, 34, 12, 12 }), 0.5);

    // TRACK and LEARN are whole: the wash window's square, which reaches into them, lies below.
    for (auto y : { 37, 216 })
        EXPECT_LT (shot.getPixelAt (484, y).getBrightness(), 0.5f) << y;

    // The meter's two rows are white between their scale lines; the gap between them is the panel's.
    EXPECT_EQ (shot.getPixelAt (310, 322), juce::Colours::white);
    EXPECT_EQ (shot.getPixelAt (310, 329), juce::Colours::white);
    EXPECT_LT (drawnShare (shot, { 308, 326, 160, 1 }), 0.5);

    // Captions under the toggles and the labels are dark text on the metal.
    EXPECT_GT (drawnShare (shot, { 247, 58, 42, 8 }), 0.05); // "DECLIPPER"
    EXPECT_GT (drawnShare (shot, { 64, 248, 150, 24 }), 0.05); // "NOISE TUNER"
}

TEST_F (ProcessingWindowTest, BusyDisplayCoversTheWashWindow)
{
    ASSERT_NO_FATAL_FAILURE (open (false));
    processor.getProgress() = 0.25;
    editor().setBusy (true);
    editor().setBusyText ("Exporting");
    pump (300);

    auto shot = shoot ("processing-window-busy");
    ASSERT_TRUE (shot.isValid());
    // A quarter of the ring in the progress colour, over the black disc that hides the wash window; the
    // corners outside the disc still show the recess.
    EXPECT_EQ (shot.getPixelAt (388, 100), juce::Colours::black); // the divider is covered
    EXPECT_NE (shot.getPixelAt (292, 34), juce::Colours::black);
    EXPECT_NE (shot.getPixelAt (483, 225), juce::Colours::black);
    int blue = 0;
    for (int y = 32; y < 228; ++y)
        for (int x = 290; x < 486; ++x)
            blue += shot.getPixelAt (x, y) == juce::Colour (0xff0080f0) ? 1 : 0;
    EXPECT_GT (blue, 30);
}

TEST_F (ProcessingWindowTest, CreditsPageInTheSameWindow)
{
    ASSERT_NO_FATAL_FAILURE (open (false));
    editor().showPage (1);
    pump (200);

    auto shot = editor().createComponentSnapshot (editor().getLocalBounds(), true, 1.0f);
    auto file = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("credits-page.png");
    if (auto stream = file.createOutputStream())
        juce::PNGImageFormat().writeImageToStream (shot, *stream);
    std::cout << "picture: " << file.getFullPathName() << std::endl;

    const auto background = juce::ImageFileFormat::loadFrom (TavlinResources::credits_background_png,
                                                             (size_t) TavlinResources::credits_background_pngSize);
    auto differs = [&] (juce::Rectangle<int> r)
    {
        int n = 0;
        for (int y = r.getY(); y < r.getBottom(); ++y)
            for (int x = r.getX(); x < r.getRight(); ++x)
                n += shot.getPixelAt (x, y) != background.getPixelAt (x, y) ? 1 : 0;
        return (double) n / (double) (r.getWidth() * r.getHeight());
    };

    EXPECT_GT (differs ({ 592, 352, 150, 24 }), 0.3) << "Done";
    EXPECT_GT (differs ({ 32, 352, 150, 24 }), 0.3) << "User Guide...";
    EXPECT_GT (differs ({ 608, 312, 150, 24 }), 0.05) << "Hide help tips";
    EXPECT_GT (differs ({ 608, 288, 150, 24 }), 0.05) << "Analyze Media";
    EXPECT_GT (differs ({ 219, 344, 364, 36 }), 0.02) << "version";
    EXPECT_EQ (window->getContentComponent()->getWidth(), 780);
}

TEST_F (ProcessingWindowTest, TooltipsOnlyWhileHelpTipsAreOn)
{
    ASSERT_NO_FATAL_FAILURE (open (true));

    // Off the spot where other test programs open their windows, so that the pointer meets this one.
    window->setTopLeftPosition (0, 780);
    window->toFront (false);
    ASSERT_TRUE (waitFor ([this] { return window->getScreenY() == 780; }));

    auto overTuner = panel().localPointToGlobal (juce::Point<int> (137, 133));

    // Moving the pointer from here, the framework's own connection to the display may read the pointer's
    // events while it waits for something else, and then handles them only when the display next sends
    // something. An idle panel repaints nothing by itself, so the test keeps repainting the window while it
    // waits, which makes the display send something.
    const auto waitWhileRepainting = [this] (const std::function<bool()>& condition, int limitMs)
    {
        for (int waited = 0; waited < limitMs; waited += 20)
        {
            window->repaint();
            pump (20);

            if (condition())
                return true;
        }

        return condition();
    };

    const auto movePointer = [&] (juce::Point<int> to)
    {
        juce::Desktop::getInstance().setMousePosition (to);
        waitWhileRepainting ([] { return false; }, 100);
    };

    movePointer (overTuner + juce::Point<int> (3, 0));
    movePointer (overTuner);
    EXPECT_TRUE (waitWhileRepainting ([] { return tooltipShowing(); }, 5000));

    // Hide help tips: the tooltip window goes at once and no tip comes back.
    editor().setHelpTips (false);
    EXPECT_FALSE (tooltipShowing());
    movePointer (overTuner + juce::Point<int> (0, 40));
    movePointer (overTuner + juce::Point<int> (0, 41));
    EXPECT_FALSE (waitWhileRepainting ([] { return tooltipShowing(); }, 1500));
}

} // namespace
