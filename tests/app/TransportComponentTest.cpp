// The transport bar without a window: its time text, its layout, the bypass switch against the processor,
// the play glyph, the waiting animation and the slider's pause while dragging.

#include "TransportComponent.h"
#include "AnimationComponent.h"
#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"

#include <gtest/gtest.h>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pump;
using player_test::pumpUntil;

namespace
{
class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (tavlin::test::writeWav (
            wav, 44100.0, 2, 88200, 16, [] (int64_t n, int ch) { return tavlin::test::sineSample (n, ch, 44100.0); }));
    }

    bool openWav()
    {
        if (!transport.loadMedia (wav.getFullPathName(), nullptr, true))
            return false;

        return pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); });
    }

    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
    FakeSession session { host };
    juce::File wav = scratch.file ("tone.wav");
    TransportComponent transport { session, host.processor, host };
};

/** Counts what reaches the processor's parameter listeners. */
struct ParameterWrites : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        writes.push_back ({ index, value });
    }

    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    std::vector<std::pair<int, float>> writes;
};

TEST (TransportTime, FormatsMillisecondsAsHoursMinutesSecondsAndMilliseconds)
{
    struct Case
    {
        juce::int64 ms;
        const char* text;
    };

    for (auto c : { Case { 0, "00:00:00.000" }, Case { 999, "00:00:00.999" }, Case { 59999, "00:00:59.999" },
                    Case { 61500, "00:01:01.500" }, Case { 83250, "00:01:23.250" }, Case { 3599999, "00:59:59.999" },
                    Case { 3725500, "01:02:05.500" }, Case { 360000000, "100:00:00.000" } })
        EXPECT_EQ (TransportComponent::formatTimeMs (c.ms), c.text) << c.ms;
}

TEST_F (TransportTest, LaysOutTheStripUnderThePicture)
{
    transport.setBounds (0, 0, 780, 490);

    struct Case
    {
        const char* name;
        juce::Component& component;
        juce::Rectangle<int> bounds;
    };

    const Case cases[] = {
        { "media view", transport.getMediaView(), { 0, 0, 780, 440 } },
        { "animation", transport.getAnimation(), { 5, 5, 770, 430 } },
        { "play", transport.getPlayButton(), { 649, 444, 42, 42 } },
        { "play glyph", transport.getPlayGlyph(), { 649, 444, 42, 42 } },
        { "rewind", transport.getRewindButton(), { 614, 450, 28, 28 } },
        { "forward", transport.getForwardButton(), { 698, 450, 28, 28 } },
        { "slider", transport.getPositionSlider(), { 46, 452, 440, 24 } },
        { "label", transport.getTimeLabel(), { 496, 452, 80, 24 } },
        { "video switch", transport.getVideoButton(), { 580, 451, 26, 26 } },
        { "bypass", transport.getBypassButton(), { 10, 452, 26, 26 } },
    };

    for (const auto& c : cases)
        EXPECT_EQ (c.component.getBounds(), c.bounds) << c.name;

    EXPECT_EQ (transport.getTimeLabel().getText(), "00:00:00.00") << "two decimals until the first position";
    EXPECT_FALSE (transport.getPlayButton().getWantsKeyboardFocus());
    EXPECT_FALSE (transport.getPositionSlider().getWantsKeyboardFocus());
    EXPECT_EQ (&transport.getLookAndFeel(), &transport.getBypassButton().getLookAndFeel());
}

TEST_F (TransportTest, BypassSwitchWritesTheParameterAndFollowsTheProcessor)
{
    ParameterWrites listener;
    host.processor.addListener (&listener);
    auto& bypass = transport.getBypassButton();

    EXPECT_TRUE (bypass.getToggleState()) << "on while processing is heard";
    EXPECT_TRUE (bypass.getClickingTogglesState());

    bypass.setToggleState (false, juce::sendNotificationSync); // as a click does
    EXPECT_TRUE (host.processor.isBypassed());
    ASSERT_EQ (listener.writes.size(), 1u);
    EXPECT_EQ (listener.writes[0], std::make_pair ((int) TavAudioProcessor::bypassParameter, 1.0f));

    bypass.setToggleState (true, juce::sendNotificationSync);
    EXPECT_FALSE (host.processor.isBypassed());
    ASSERT_EQ (listener.writes.size(), 2u);
    EXPECT_EQ (listener.writes[1].second, 0.0f);

    // A restored state that bypasses comes back through a change message: the switch follows, writing nothing.
    host.processor.setParameter (TavAudioProcessor::bypassParameter, 1.0f);
    host.processor.sendSynchronousChangeMessage();
    EXPECT_FALSE (bypass.getToggleState());
    host.processor.setParameter (TavAudioProcessor::bypassParameter, 0.0f);
    host.processor.sendSynchronousChangeMessage();
    EXPECT_TRUE (bypass.getToggleState());
    EXPECT_EQ (listener.writes.size(), 2u);

    host.processor.removeListener (&listener);
}

TEST_F (TransportTest, VideoSwitchShowsVideoOrWaveform)
{
    auto& video = transport.getVideoButton();
    EXPECT_TRUE (video.getToggleState()) << "the view starts with its video shown";

    video.setToggleState (false, juce::sendNotificationSync);
    EXPECT_FALSE (transport.getMediaView().isVideoVisible());
    video.setToggleState (true, juce::sendNotificationSync);
    EXPECT_TRUE (transport.getMediaView().isVideoVisible());

    // Audio-only media switches the view to its waveform; "video" brings the switch along.
    ASSERT_TRUE (openWav());
    pump (20);
    EXPECT_FALSE (transport.getMediaView().isVideoVisible());
    transport.changeListenerCallback (nullptr);
    EXPECT_FALSE (video.getToggleState());
}

TEST_F (TransportTest, PlayGlyphFollowsThePlayStateAndLoadsOnlyOnAChange)
{
    EXPECT_EQ (transport.getGlyphState(), 0);
    EXPECT_EQ (transport.getGlyphLoads(), 1);
    EXPECT_TRUE (transport.getPlayGlyph().getImage().isValid());

    transport.actionListenerCallback ("time");
    EXPECT_EQ (transport.getGlyphLoads(), 1) << "still stopped: nothing loaded again";

    ASSERT_TRUE (openWav());
    EXPECT_FALSE (transport.togglePlayPause()) << "it played";
    EXPECT_TRUE (transport.isPlaying());

    for (int i = 0; i < 3; ++i)
        transport.actionListenerCallback ("time");

    EXPECT_EQ (transport.getGlyphState(), 1);
    EXPECT_EQ (transport.getGlyphLoads(), 2);

    EXPECT_TRUE (transport.togglePlayPause()) << "it paused";
    transport.actionListenerCallback ("time");
    EXPECT_EQ (transport.getGlyphState(), 0);
    EXPECT_EQ (transport.getGlyphLoads(), 3);
    transport.actionListenerCallback ("something else");
    EXPECT_EQ (transport.getGlyphLoads(), 3);
}

TEST_F (TransportTest, TimeLabelAndSliderFollowThePlayerAndResetWhenShownAgain)
{
    transport.setVisible (true);
    ASSERT_TRUE (openWav());
    transport.actionListenerCallback ("time");
    EXPECT_EQ (transport.getTimeLabel().getText(), "00:00:00.600") << "the player starts 0.6 s in";
    EXPECT_NEAR (transport.getPositionSlider().getValue(), 0.6 / transport.getMediaView().getPlayableDuration() * 1.0e8,
                 1.0);

    transport.setVisible (false);
    EXPECT_EQ (transport.getTimeLabel().getText(), "00:00:00.00");
    EXPECT_EQ (transport.getPositionSlider().getValue(), 0.0);
    EXPECT_NEAR (transport.getCurrentTime(), 0.6, 1.0e-3) << "the player did not move";
}

TEST_F (TransportTest, SliderPausesWhileDraggedAndSeeks)
{
    ASSERT_TRUE (openWav());
    auto& slider = transport.getPositionSlider();

    for (const bool playing : { true, false })
    {
        SCOPED_TRACE (playing ? "playing" : "paused");

        if (playing != transport.isPlaying())
            transport.togglePlayPause();

        transport.sliderDragStarted (&slider);
        EXPECT_FALSE (transport.isPlaying());
        slider.setValue (0.5e8, juce::sendNotificationSync);
        EXPECT_NEAR (transport.getCurrentTime(), 0.5 * transport.getMediaView().getPlayableDuration(), 1.0e-3);
        transport.sliderDragEnded (&slider);
        EXPECT_EQ (transport.isPlaying(), playing) << "resumes only if it was playing";
    }
}

TEST_F (TransportTest, WaitingAnimationShowsWithoutMedia)
{
    transport.startAnimation ("Tav-Splash");
    ASSERT_TRUE (pumpUntil ([&] { return transport.getAnimation().getView().hasComposition(); }));
    EXPECT_FALSE (transport.isTimerRunning()) << "the timer fires once";

    EXPECT_FALSE (transport.loadMedia ({}, nullptr, true)) << "the empty path unloads";
    EXPECT_TRUE (transport.getAnimation().isVisible());
    EXPECT_TRUE (transport.getAnimation().getView().isRunning());

    EXPECT_TRUE (transport.loadMedia (wav.getFullPathName(), nullptr, true));
    EXPECT_TRUE (transport.mediaLoaded);
    EXPECT_TRUE (transport.getAnimation().isVisible()) << "hidden only once \"video\" arrives";
    ASSERT_TRUE (pumpUntil ([&] { return !transport.getAnimation().isVisible(); }));
    EXPECT_FALSE (transport.getAnimation().getView().isRunning());
    ASSERT_TRUE (pumpUntil ([&] { return host.isIdle() && host.analyzed.size() == 1; }));

    const auto text = scratch.file ("words.mov");
    ASSERT_TRUE (text.replaceWithText ("words"));
    EXPECT_FALSE (transport.loadMedia ({}, nullptr, true));
    EXPECT_FALSE (transport.loadMedia (text.getFullPathName(), nullptr, true));
    EXPECT_FALSE (transport.mediaLoaded);
    EXPECT_TRUE (transport.getAnimation().isVisible()) << "a refused file leaves the animation showing";

    transport.setLooping (true);
    transport.setLooping (false);
    EXPECT_FALSE (host.looping) << "the loop flag is the application's";
}
} // namespace
