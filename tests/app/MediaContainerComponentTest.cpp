// The media view's mouse and drop handling on a window of the virtual display (the suite runs under
// xvfb-run): scrubbing, grabbing the noise-selection marker, the learn pass on release, and drops.

#include "MediaContainerComponent.h"
#include "FakePlayerHost.h"
#include "StandaloneTestMain.h"

#include <gtest/gtest.h>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pump;
using player_test::pumpUntil;

namespace
{
constexpr int viewWidth = 800;

class MediaViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";

        // Two seconds of sound: the playable duration is known exactly.
        ASSERT_TRUE (tavlin::test::writeWav (wav, rate, 2, (int64_t) (2 * rate), 16,
                                             [] (int64_t n, int ch)
                                             { return tavlin::test::sineSample (n, ch, rate); }));

        window = std::make_unique<juce::DocumentWindow> ("media view", juce::Colours::black, 0);
        view = std::make_unique<MediaContainerComponent> (session, host.processor, host);
        view->setSize (viewWidth, 200);
        window->setContentNonOwned (view.get(), true);
        window->setVisible (true);
    }

    void TearDown() override
    {
        if (window != nullptr)
            window->clearContentComponent();

        view.reset();
        window.reset();
    }

    void open()
    {
        ASSERT_TRUE (view->loadMedia (wav.getFullPathName(), nullptr, true));
        ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() == 1 && host.isIdle(); }));
        ASSERT_FALSE (view->isVideoVisible()) << "sound alone shows the waveform";
        ASSERT_NEAR (view->getPlayableDuration(), 2.0, 1.0e-6);
    }

    juce::MouseEvent event (int x, bool dragged = false) const
    {
        const auto position = juce::Point<float> ((float) x, 100.0f);
        return { juce::Desktop::getInstance().getMainMouseSource(),
                 position,
                 {},
                 juce::MouseInputSource::defaultPressure,
                 0.0f,
                 0.0f,
                 0.0f,
                 0.0f,
                 view.get(),
                 view.get(),
                 juce::Time::getCurrentTime(),
                 position,
                 juce::Time::getCurrentTime(),
                 1,
                 dragged };
    }

    void press (int x) { view->mouseDown (event (x)); }
    void drag (int x) { view->mouseDrag (event (x, true)); }
    void release (int x) { view->mouseUp (event (x)); }

    LearnRegion& region() { return host.processor.getLearnRegion(); }

    static int xOf (juce::int64 sample) { return (int) (viewWidth * ((double) sample / (2.0 * rate))); }

    static constexpr double rate = 44100.0;
    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
    FakeSession session { host };
    juce::File wav = scratch.file ("voice.wav");
    std::unique_ptr<juce::DocumentWindow> window;
    std::unique_ptr<MediaContainerComponent> view;
};

TEST_F (MediaViewTest, APressNearTheMarkerMovesItAndLearnsOnReleaseAnyOtherScrubs)
{
    open();

    struct Case
    {
        const char* name;
        juce::int64 markerAt; // learn region start before the press (0: no region)
        int pressX, dragX;
        bool grabs;
        juce::int64 expectedStart; // after the drag, when grabbed
        double expectedTime; // after the drag, when scrubbing
    };

    const juce::int64 total = (juce::int64) (2 * rate);
    const Case cases[] = {
        { "no region: the marker counts as at 0", 0, 5, 200, true, (juce::int64) (200.0 / viewWidth * total), 0.0 },
        { "within 9 px", 44100, xOf (44100) + 9, 600, true, (juce::int64) (600.0 / viewWidth * total), 0.0 },
        { "10 px off scrubs", 44100, xOf (44100) + 10, 600, false, 0, 600.0 / viewWidth * 2.0 },
        { "dragged past the right edge", 44100, xOf (44100) - 3, viewWidth + 300, true, total - 12288, 0.0 },
        { "scrubbed past the left edge", 88200, 20, -300, false, 0, 0.0 },
        { "scrubbed past the right edge", 0, 400, viewWidth + 300, false, 0, 2.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        region() = { c.markerAt, c.markerAt != 0 ? 12288 : 0 };
        view->rewindToStart();
        const int before = host.selections;

        press (c.pressX);
        drag (c.dragX);

        if (c.grabs)
        {
            EXPECT_EQ (region().startSample, c.expectedStart);
            EXPECT_EQ (region().lengthSamples, MediaContainerComponent::learnLength);
            EXPECT_NEAR (view->getCurrentTime(), 0.0, 1.0e-3) << "a marker move does not scrub";
        }
        else
        {
            EXPECT_NEAR (view->getCurrentTime(), c.expectedTime, 2.0e-3);
            EXPECT_EQ (region().startSample, c.markerAt) << "a scrub leaves the marker";
        }

        release (c.dragX);
        EXPECT_EQ (host.selections - before, c.grabs ? 1 : 0) << "a learn pass follows a marker move only";
    }
}

TEST_F (MediaViewTest, OverTheVideoOrWithoutMediaPressesDoNothing)
{
    // Without media there is nothing to scrub or mark.
    region() = {};
    press (5);
    drag (300);
    release (300);
    EXPECT_EQ (region().startSample, 0);
    EXPECT_EQ (host.selections, 0);

    open();
    view->setVideoVisible (true);
    press (5);
    drag (300);
    EXPECT_EQ (region().startSample, 0);
    EXPECT_NEAR (view->getCurrentTime(), 0.6, 1.0e-3);
    release (300);
    EXPECT_EQ (host.selections, 0) << "a release after a press over the video is no marker move";

    // A marker press on the waveform, then a press over the video: that release learns nothing either.
    view->setVideoVisible (false);
    press (5);
    release (5);
    EXPECT_EQ (host.selections, 1);
    view->setVideoVisible (true);
    press (5);
    release (5);
    EXPECT_EQ (host.selections, 1);
}

TEST_F (MediaViewTest, AReleaseDuringPlaybackPausesLearnsAndPlaysOnWithNothingElseTakingTheMouse)
{
    open();
    region() = {};
    view->togglePlayPause();
    ASSERT_TRUE (view->isPlaying());

    bool checked = false;
    host.onAnalyzeSelection = [&]
    {
        checked = true;
        EXPECT_FALSE (view->isPlaying()) << "paused for the learn pass";
        EXPECT_TRUE (view->isHandlingRelease());
        EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), view.get()) << "other components are blocked";

        // A second mouse action while the pass runs is ignored.
        const auto start = region().startSample;
        press (700);
        drag (720);
        release (720);
        EXPECT_EQ (region().startSample, start);
    };

    press (3);
    drag (100);
    release (100);
    EXPECT_TRUE (checked);
    EXPECT_EQ (host.selections, 1) << "the nested release did not learn again";
    EXPECT_TRUE (view->isPlaying()) << "plays on";
    EXPECT_FALSE (view->isHandlingRelease());
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr);

    // After a scrub as well: paused for the wait, then playing.
    host.onAnalyzeSelection = nullptr;
    press (700);
    release (700);
    EXPECT_EQ (host.selections, 1);
    EXPECT_TRUE (view->isPlaying());
    view->togglePlayPause();
}

TEST_F (MediaViewTest, DropsOpenTheFirstFileThroughTheCloseGate)
{
    const juce::StringArray files { wav.getFullPathName(), scratch.file ("b.wav").getFullPathName(),
                                    scratch.file ("c.txt").getFullPathName() };

    EXPECT_TRUE (view->isInterestedInFileDrag (files));
    view->fileDragEnter (files, 10, 10);
    view->filesDropped (files, 10, 10);
    EXPECT_EQ (host.closeCalls, 1);
    ASSERT_EQ (host.opened.size(), 1);
    EXPECT_EQ (host.opened[0], wav);

    host.closeResult = juce::Result::fail ("Cancelled.");
    view->filesDropped (files, 10, 10);
    EXPECT_EQ (host.closeCalls, 2);
    EXPECT_EQ (host.opened.size(), 1) << "the gate refused: nothing opens";

    host.closeResult = juce::Result::ok();
    host.showProgress ("Working...");
    view->filesDropped (files, 10, 10);
    EXPECT_EQ (host.closeCalls, 2) << "nothing is dropped on a running operation";
    host.hideProgress();
}
} // namespace
