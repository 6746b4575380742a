// The media window inside the running application on the virtual display (the suite runs under xvfb-run),
// without a sound card: a later launch names a movie, which opens, plays through the processor, shows its
// picture and its waveform with the noise-selection marker; screenshots of the screen are checked by pixel.

#include "MediaWindow.h"
#include "../platform/MediaFixtures.h"
#include "AnimationComponent.h"
#include "CustomBoundsConstrainer.h"
#include "FakeAudioIODeviceType.h"
#include "GradNSVComponent.h"
#include "MediaContainerComponent.h"
#include "MediaControlsComponent.h"
#include "MediaSession.h"
#include "RecorderComponent.h"
#include "StandaloneTestMain.h"
#include "TavAudioProcessor.h"
#include "TavPreferences.h"
#include "TavlinApplication.h"
#include "TavlinDocument.h"
#include "TemporaryFiles.h"
#include "TransportComponent.h"

#include "gui/VideoPictureImage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
const bool standalone = []
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new TavlinApplication(); };
    return true;
}();

juce::File processTemp()
{
    static const juce::File folder = []
    {
        auto f = juce::File::createTempFile ("tmpdir");
        f.createDirectory();
        setenv ("TMPDIR", f.getFullPathName().toRawUTF8(), 1);
        return f;
    }();
    return folder;
}

void pump (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

bool pumpUntil (const std::function<bool()>& done, int limitMs = 20000)
{
    for (int waited = 0; !done() && waited < limitMs; waited += 10)
        pump (10);

    return done();
}

/** The whole virtual screen as xwd sees it, kept as a PNG beside the test's working folder. */
juce::Image screenshot (const juce::File& png)
{
    png.deleteFile();
    juce::ChildProcess shot;
    const auto command = "xwd -root -silent | convert xwd:- png:" + png.getFullPathName().quoted();

    if (!shot.start (juce::StringArray { "sh", "-c", command }) || !shot.waitForProcessToFinish (30000)
        || shot.getExitCode() != 0)
    {
        ADD_FAILURE() << "xwd and convert are needed for the screenshot";
        return {};
    }

    return juce::ImageFileFormat::loadFrom (png);
}

/** Counts the pixels of an area whose colour passes a test. */
int countPixels (const juce::Image& image, juce::Rectangle<int> area, const std::function<bool (juce::Colour)>& test)
{
    int n = 0;
    area = area.getIntersection (image.getBounds());

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            n += test (image.getPixelAt (x, y)) ? 1 : 0;

    return n;
}

bool nearColour (juce::Colour c, juce::uint32 argb, int tolerance)
{
    const auto want = juce::Colour (argb);
    return std::abs (c.getRed() - want.getRed()) <= tolerance && std::abs (c.getGreen() - want.getGreen()) <= tolerance
           && std::abs (c.getBlue() - want.getBlue()) <= tolerance;
}

class MediaWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (standalone);
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";
        processTemp();
        root = juce::File::createTempFile ("media-window");
        ASSERT_TRUE (root.createDirectory());
        auto config = root.getChildFile ("config");
        auto runtime = root.getChildFile ("runtime");
        ASSERT_TRUE (config.createDirectory());
        ASSERT_TRUE (runtime.createDirectory());
        setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_RUNTIME_DIR", runtime.getFullPathName().toRawUTF8(), 1);
        TavPreferences (config).setFirstLaunch (false);

        // A picture that moves, with a steady tone.
        movie = root.getChildFile ("interview.mov");
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=640x360:rate=25:duration=4 -f lavfi -i "
                                              "sine=frequency=330:sample_rate=48000:duration=4 -af volume=4 -c:v "
                                              "mpeg4 -q:v 3 -c:a aac -shortest "
                                              + movie.getFullPathName().quoted()));

        app = std::make_unique<TavlinApplication>();
        app->initialise ({});
        ASSERT_TRUE (pumpUntil ([&] { return window().getName() == "Media Player"; }));
    }

    void TearDown() override
    {
        if (app != nullptr)
            app->shutdown();

        app.reset();
        root.deleteRecursively();
    }

    MediaWindow& window() { return *app->getMediaWindow(); }
    MediaControlsComponent& controls() { return window().getControls(); }
    TransportComponent& transport() { return *controls().transport; }
    MediaContainerComponent& view() { return transport().getMediaView(); }
    MediaSession& session() { return *app->getSession(); }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File root, movie;
    std::unique_ptr<TavlinApplication> app;
};

TEST_F (MediaWindowTest, OpensAMovieNamedByALaterLaunchAndPlaysItThroughTheProcessor)
{
    // Player mode without media: the waiting animation, "Media Player".
    EXPECT_TRUE (controls().playerMode);
    EXPECT_TRUE (transport().getAnimation().isVisible());
    ASSERT_TRUE (pumpUntil ([&] { return transport().getAnimation().getView().isRunning(); }));
    pump (200);
    const auto waitingArea = transport().getAnimation().getScreenBounds();
    auto waiting = screenshot (juce::File::getCurrentWorkingDirectory().getChildFile ("media-window-waiting.png"));
    ASSERT_TRUE (waiting.isValid());
    EXPECT_GT (countPixels (waiting, waitingArea,
                            [] (juce::Colour c) { return c.getBlue() > 120 && c.getBlue() > c.getRed() + 60; }),
               200)
        << "the waiting animation's blue waves in " << waitingArea.toString();
    const auto before = window().getBounds();

    app->anotherInstanceStarted (movie.getFullPathName().quoted());
    ASSERT_TRUE (pumpUntil (
        [&]
        {
            return app->getDocument()->analysisFile.existsAsFile() && app->isIdle()
                   && session().getMediaPlayer() != nullptr && session().getMediaPlayer()->getCurrentItem() != nullptr;
        }))
        << "the movie opens and its sound is extracted";

    EXPECT_EQ (window().getName(), "interview.mov");
    EXPECT_FALSE (transport().getAnimation().isVisible());
    EXPECT_TRUE (view().isVideoVisible());
    ASSERT_NE (view().getVideoLayer(), nullptr);
    EXPECT_TRUE (view().getVideoLayer()->isVisible());
    EXPECT_FALSE (app->getDocument()->hasChangedSinceSaved()) << "opening is no change of the settings";

    // The window takes the picture's height and the picture's aspect for resizing.
    EXPECT_EQ (window().getWidth(), before.getWidth());
    EXPECT_EQ (window().getHeight(), 360);
    auto* constrainer = dynamic_cast<CustomBoundsConstrainer*> (window().getConstrainer());
    ASSERT_NE (constrainer, nullptr);
    EXPECT_DOUBLE_EQ (constrainer->getFixedAspectRatio(), 640.0 / 360.0);
    EXPECT_EQ (transport().getBounds(), controls().getLocalBounds());

    // Play without a sound card: the clock advances, the processor hears the tone, the picture moves.
    auto& processor = *app->getProcessor();
    app->togglePlayPause();
    ASSERT_TRUE (app->isPlaying());
    float loudest = 0.0f;
    juce::Image firstFrame;

    ASSERT_TRUE (pumpUntil (
        [&]
        {
            loudest = std::max (loudest, processor.getOutputMeter().level[0].load());

            if (!firstFrame.isValid())
                firstFrame = toImage (session().getMediaPlayer()->getCurrentVideoFrame()).createCopy();

            return view().getCurrentTime() > 2.0 && loudest > 0.05f;
        },
        15000))
        << "time " << view().getCurrentTime() << ", loudest output " << loudest;

    EXPECT_EQ (processor.getSampleRate(), 48000.0) << "the tap prepared the processor for the movie's sound";

    // Without a sound card the window says so, once, and where to choose a device; a click puts it away.
    ASSERT_FALSE (window().hasSoundOutput());
    auto& notice = window().getSoundNotice();
    EXPECT_TRUE (notice.isShowing());
    EXPECT_TRUE (notice.getText().startsWith ("No sound output device"));
    EXPECT_TRUE (notice.getText().contains ("Media > Media Recorder")) << "where to choose one";
    EXPECT_EQ (notice.getBounds(), controls().getLocalBounds().withHeight (notice.getHeight()));
    static_cast<juce::Component&> (notice).mouseUp (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(),
                                                                      {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &notice,
                                                                      &notice, {}, {}, {}, 1, false));
    EXPECT_FALSE (notice.isVisible());
    const auto laterFrame = toImage (session().getMediaPlayer()->getCurrentVideoFrame());
    ASSERT_TRUE (firstFrame.isValid());
    ASSERT_TRUE (laterFrame.isValid());
    EXPECT_EQ (laterFrame.getWidth(), 640);
    EXPECT_GT (countPixels (laterFrame, laterFrame.getBounds(), [&] (juce::Colour c) { return c != juce::Colour(); }),
               0);

    int differing = 0;

    for (int y = 0; y < 360; y += 4)
        for (int x = 0; x < 640; x += 4)
            differing += firstFrame.getPixelAt (x, y) != laterFrame.getPixelAt (x, y) ? 1 : 0;

    EXPECT_GT (differing, 20) << "the picture moved";

    // The label and slider follow.
    pump (300);
    EXPECT_NE (transport().getTimeLabel().getText(), TransportComponent::initialTimeText);
    EXPECT_GT (transport().getPositionSlider().getValue(), 0.0);

    app->togglePlayPause();
    EXPECT_FALSE (app->isPlaying());
    pump (200);

    // Screenshot with the picture: the picture area holds the test picture's colours, the strip its controls.
    const auto mediaArea = view().getScreenBounds();
    const auto strip = transport().getGradientStrip().getScreenBounds();
    auto shot = screenshot (juce::File::getCurrentWorkingDirectory().getChildFile ("media-window-video.png"));
    ASSERT_TRUE (shot.isValid());
    EXPECT_GT (countPixels (shot, mediaArea,
                            [] (juce::Colour c) { return c.getSaturation() > 0.5f && c.getBrightness() > 0.5f; }),
               mediaArea.getWidth() * mediaArea.getHeight() / 20)
        << "coloured picture in " << mediaArea.toString();
    const auto playArea = transport().getPlayButton().getScreenBounds();
    EXPECT_GT (countPixels (shot, playArea, [] (juce::Colour c) { return c.getBrightness() > 0.85f; }), 40)
        << "the white play glyph at " << playArea.toString();
    EXPECT_GT (countPixels (shot, strip,
                            [] (juce::Colour c) { return c.getBrightness() > 0.05f && c.getSaturation() < 0.1f; }),
               strip.getWidth() * 10)
        << "the grey strip";

    // The waveform with the noise-selection marker 1 s in.
    transport().getVideoButton().setToggleState (false, juce::sendNotificationSync);
    ASSERT_FALSE (view().isVideoVisible());
    ASSERT_TRUE (pumpUntil ([&] { return view().getThumbnail().isFullyLoaded(); }));
    EXPECT_GT (view().getThumbnail().getTotalLength(), 3.5);
    processor.getLearnRegion() = { 48000, 12288 };
    view().repaint();
    pump (300);

    shot = screenshot (juce::File::getCurrentWorkingDirectory().getChildFile ("media-window-waveform.png"));
    ASSERT_TRUE (shot.isValid());
    EXPECT_GT (countPixels (shot, mediaArea, [] (juce::Colour c) { return nearColour (c, 0xff206ee2, 40); }),
               mediaArea.getWidth() * 10)
        << "the blue waveform";
    const int markerX =
        mediaArea.getX() + (int) (mediaArea.getWidth() * (48000.0 / 48000.0 / view().getPlayableDuration()));
    EXPECT_GT (countPixels (shot, { markerX, mediaArea.getY(), 1, mediaArea.getHeight() },
                            [] (juce::Colour c) { return nearColour (c, 0xffff4500, 40); }),
               mediaArea.getHeight() * 3 / 4)
        << "the orange marker at x " << markerX;

    // Closing: the window keeps its own limits again, the temporary files go, the animation returns.
    ASSERT_TRUE (app->closeMediaDocument().wasOk());
    EXPECT_EQ (dynamic_cast<CustomBoundsConstrainer*> (window().getConstrainer()), nullptr);
    ASSERT_NE (window().getConstrainer(), nullptr) << "the window's own 640 x 280 minimum holds";
    EXPECT_EQ (window().getConstrainer()->getMinimumWidth(), 640);
    EXPECT_EQ (window().getConstrainer()->getMinimumHeight(), 280);
    EXPECT_EQ (session().getMediaPlayer(), nullptr);
    EXPECT_TRUE (TemporaryFiles::getFolder().findChildFiles (juce::File::findFiles, false, "*TempClean*").isEmpty());
    EXPECT_EQ (window().getName(), "Media Player");
    EXPECT_TRUE (transport().getAnimation().isVisible());

    // The recorder face: the transport bar and its animation hidden, "Recorder".
    app->setPlayerMode (false);
    EXPECT_EQ (window().getName(), "Recorder");
    EXPECT_FALSE (transport().isVisible());
    EXPECT_FALSE (transport().getAnimation().getView().isRunning() && transport().isShowing());
    EXPECT_EQ (controls().recorderPanel->getBounds(), controls().getLocalBounds()) << "both faces laid out";
    app->setPlayerMode (true);
    EXPECT_TRUE (transport().isVisible());
}
} // namespace

// Without a sound output device the notice is given once in a run: it goes as soon as a device opens, and
// when the device goes again, however often playback starts after that, it does not come back.
TEST_F (MediaWindowTest, TheNoSoundDeviceNoticeIsGivenOnceAndGoesWhenADeviceOpens)
{
    app->anotherInstanceStarted (movie.getFullPathName().quoted());
    ASSERT_TRUE (pumpUntil ([&] { return app->getDocument()->analysisFile.existsAsFile() && app->isIdle(); }));
    ASSERT_FALSE (window().hasSoundOutput());

    auto& notice = window().getSoundNotice();

    struct ShownCount : juce::ComponentListener
    {
        int times = 0;
        void componentVisibilityChanged (juce::Component& c) override { times += c.isVisible() ? 1 : 0; }
    } shown;

    notice.addComponentListener (&shown);
    EXPECT_FALSE (notice.isVisible()) << "nothing has played yet";

    const auto playAWhile = [&]
    {
        app->togglePlayPause();
        EXPECT_TRUE (app->isPlaying());
        const auto from = view().getCurrentTime();
        EXPECT_TRUE (pumpUntil ([&] { return view().getCurrentTime() > from + 0.3; }, 10000)) << "playback stopped";
    };

    playAWhile();
    EXPECT_TRUE (notice.isShowing());
    EXPECT_EQ (shown.times, 1);

    // A device opens (here one without hardware): the notice goes at once, playing or not.
    auto& devices = app->getDeviceManager();
    devices.addAudioDeviceType (std::make_unique<FakeAudioIODeviceType>());
    devices.setCurrentAudioDeviceType ("Test", true);
    ASSERT_TRUE (window().hasSoundOutput()) << devices.getCurrentAudioDeviceType();
    ASSERT_TRUE (pumpUntil ([&] { return !notice.isVisible(); }, 5000)) << "the notice stayed with a device open";
    app->togglePlayPause();

    // The device goes again: playback runs on the silent clock, and the notice, given once, stays away.
    devices.closeAudioDevice();
    ASSERT_FALSE (window().hasSoundOutput());

    for (int start = 0; start < 2; ++start)
    {
        SCOPED_TRACE (start);
        playAWhile();
        pump (300);
        EXPECT_FALSE (notice.isVisible());
        app->togglePlayPause();
    }

    EXPECT_EQ (shown.times, 1);
    notice.removeComponentListener (&shown);
}
