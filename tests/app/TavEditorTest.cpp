#include "EditorTestSupport.h"

#include "CreditsComponent.h"
#include "MeterComponent.h"
#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavPreferences.h"
#include "TavUIEditor.h"
#include "WashWindowComponent.h"

#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace
{
using namespace editor_test;
using P = TavAudioProcessor;

/** The processing panel on a real processor, inside its page set, with a fake transport. */
class TavEditorTest : public ::testing::Test
{
protected:
    TavEditorTest()
    {
        processor.prepareToPlay (44100.0, 512);
        processor.setPlayConfigDetails (2, 2, 44100.0, 512);
        pump(); // the preparation's change message

        editor = std::make_unique<TavUIEditor> (processor, &processor.getProgress());
        editor->showPage (0);
        editor->setHost (&host);
        processor.addListener (&recorder);
    }

    ~TavEditorTest() override
    {
        processor.removeListener (&recorder);
        editor.reset();
    }

    TavEditor& panel() { return editor->getMainPanel(); }
    vesk::ZNoiseReductionBay& bay() { return processor.getNoiseReductionBay(); }
    juce::String caption() { return panel().getWashWindow().getDisplayText(); }

    /** A click through the button's own click path, delivered by the message loop. */
    static void click (juce::Button& button)
    {
        button.triggerClick();
        pump();
    }

    /** LEARN as the mouse works it: pressed, released, then the click that the release makes. */
    void press (juce::Button& button) { button.setState (juce::Button::buttonDown); }
    void release (juce::Button& button)
    {
        button.setState (juce::Button::buttonNormal);
        panel().buttonClicked (&button);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    ScopedSettingsFolder settings;
    P processor;
    FakeHost::State transport;
    FakeHost host { transport };
    ParameterRecorder recorder;
    std::unique_ptr<TavUIEditor> editor;
};

TEST_F (TavEditorTest, DefaultViewAndNoWritesWhileBuilding)
{
    EXPECT_TRUE (recorder.writes.empty());
    EXPECT_EQ (panel().getBounds(), juce::Rectangle<int> (0, 0, 780, 400));
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 780, 400));

    EXPECT_NEAR (panel().getTunerKnob().getValue(), 3.0, 1.0e-5);
    EXPECT_NEAR (panel().getReductionKnob().getValue(), 15.0, 1.0e-5);
    EXPECT_EQ (panel().getHumSlider().getValue(), 0.0); // OFF

    for (auto* slider : { &panel().getDeclickSlider(), &panel().getEnhanceSlider(), &panel().getBoostSlider() })
        EXPECT_EQ (slider->getValue(), 0.0);

    for (auto* button : std::initializer_list<juce::Button*> {
             &panel().getPreserveVoiceToggle(), &panel().getRemoveRumbleToggle(), &panel().getLearnToggle(),
             &panel().getDeclipperToggle(), &panel().getTrackToggle(), &panel().getNoiseOnlyToggle(),
             &panel().getNoiseReductionButton() })
        EXPECT_FALSE (button->getToggleState()) << button->getButtonText();

    EXPECT_FALSE (panel().isBusy());
    EXPECT_TRUE (caption().isEmpty());

    // Nothing on the panel takes the keyboard from the command shortcuts.
    for (auto* child : panel().getChildren())
        EXPECT_FALSE (child->getWantsKeyboardFocus()) << child->getName();
}

TEST_F (TavEditorTest, TooltipsWithTheirTypography)
{
    struct Tip
    {
        juce::SettableTooltipClient* control;
        const char* text; // UTF-8
    };

    const Tip tips[] = {
        { &panel().getRemoveRumbleToggle(),
          "Remove Rumble Button - Takes out low-frequency noise at 40Hz and below– often "
          "found as background noise in video clips." },
        { &panel().getLearnToggle(),
          "Learn Noise Button - The Learn Noise button listens to the audio and determines the frequencies causing a "
          "broadband noise problem. Once this “noise profile” has been determined, Learn Noise also sets the Noise "
          "Tuner "
          "and Noise Reduction knobs automatically.  Hold this button down during a section of the audio that only "
          "contains the noise you want to remove." },
        { &panel().getNoiseOnlyToggle(), "“Noise Only” mode allows you to monitor just the offending broadband noise, "
                                         "providing useful feedback about the frequencies being removed." },
        { &panel().getBoostSlider(),
          "Boost Slider - Use this setting to increase the overall loudness of the audio.  Be "
          "careful not to over-use this setting." },
        { &panel().getNoiseReductionButton(), "Turns the noise reduction on or off." },
        { &panel().getWashWindow(),
          "Wash Window - Tavlin’s unique Wash Window provides a graphical representation of noise reduction. The left "
          "side of the window shows the unprocessed audio signal, and the right side shows the clean signal." },
        { &panel().getCreditsButton(), "" },
        { &panel().getProgressBar(), "" },
    };

    for (const auto& tip : tips)
        EXPECT_EQ (tip.control->getTooltip(), juce::String::fromUTF8 (tip.text));

    // Every control but the credits button carries a tip, and so does the wash window; labels and the
    // meter carry none.
    int withTip = 0;

    for (auto* child : panel().getChildren())
        if (auto* client = dynamic_cast<juce::TooltipClient*> (child))
            withTip += client->getTooltip().isNotEmpty() ? 1 : 0;

    EXPECT_EQ (withTip, 14);
}

TEST_F (TavEditorTest, ControlParameterCaptionTable)
{
    struct Row
    {
        const char* what;
        std::function<void (TavEditor&)> act;
        int parameter;
        float value;
        const char* caption; // null: the caption is not touched
    };

    using E = TavEditor;
    auto slide = [] (auto slider, double v)
    { return [slider, v] (E& p) { (p.*slider)().setValue (v, juce::sendNotificationSync); }; };
    auto toggle = [] (auto button) { return [button] (E& p) { click ((p.*button)()); }; };

    const Row rows[] = {
        { "tuner left end", slide (&E::getTunerKnob, -20.0), P::tunerBroadbandNR, 0.0f, "Tuner : -20dB" },
        { "tuner right end", slide (&E::getTunerKnob, 20.0), P::tunerBroadbandNR, 1.0f, "Tuner :  20dB" },
        { "reduction full", slide (&E::getReductionKnob, 30.0), P::amountBroadbandNR, 1.0f, "Reduction : -30dB" },
        { "reduction 7.5", slide (&E::getReductionKnob, 7.5), P::amountBroadbandNR, 0.25f, "Reduction : - 8dB" },
        { "declick half", slide (&E::getDeclickSlider, 0.5), P::clickCrackleDetection, 0.5f, "Declick :  50%" },
        { "enhance full", slide (&E::getEnhanceSlider, 1.0), P::enhance, 1.0f, "Enhance : 100%" },
        { "boost full", slide (&E::getBoostSlider, 10.0), P::boostVolume, 1.0f, "Boost : +40.0dB" },
        { "boost back to 0", slide (&E::getBoostSlider, 0.0), P::boostVolume, 0.0f, "Boost : +0.0dB" },
        { "boost 2.5", slide (&E::getBoostSlider, 2.5), P::boostVolume, 0.25f, "Boost : +10.0dB" },
        { "hum 50 Hz", slide (&E::getHumSlider, 1.0), P::humRemoval, 0.0f, nullptr },
        { "hum 60 Hz", slide (&E::getHumSlider, 2.0), P::humRemoval, 0.5f, nullptr },
        { "hum off", slide (&E::getHumSlider, 0.0), P::humRemoval, 1.0f, nullptr },
        { "preserve voice", toggle (&E::getPreserveVoiceToggle), P::preserveVoice, 1.0f, nullptr },
        { "remove rumble", toggle (&E::getRemoveRumbleToggle), P::removeRumble, 1.0f, nullptr },
        { "declipper", toggle (&E::getDeclipperToggle), P::declipper, 1.0f, nullptr },
        { "track", toggle (&E::getTrackToggle), P::track, 1.0f, nullptr },
        { "track off", toggle (&E::getTrackToggle), P::track, 0.0f, nullptr },
        { "noise reduction on", toggle (&E::getNoiseReductionButton), P::noiseReductionMode, 0.5f, nullptr },
        { "noise only", toggle (&E::getNoiseOnlyToggle), P::noiseReductionMode, 1.0f, nullptr },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.what);
        panel().getWashWindow().setDisplayText ("unchanged");
        recorder.writes.clear();

        row.act (panel());
        pump();

        ASSERT_EQ (recorder.writes.size(), 1u);
        EXPECT_EQ (recorder.writes[0].first, row.parameter);
        EXPECT_FLOAT_EQ (recorder.writes[0].second, row.value);
        EXPECT_EQ (caption(), row.caption != nullptr ? juce::String (row.caption) : juce::String ("unchanged"));
        EXPECT_FLOAT_EQ (processor.getParameter (row.parameter), row.value);
    }

    // The caption shows only while a slider is dragged.
    panel().getTunerKnob().setValue (-20.0, juce::sendNotificationSync);
    EXPECT_EQ (caption(), "Tuner : -20dB");
    panel().sliderDragEnded (&panel().getTunerKnob());
    EXPECT_TRUE (caption().isEmpty());
}

TEST_F (TavEditorTest, SlidersRenderTheWashWindowAtOnce)
{
    auto& wash = panel().getWashWindow();
    juce::int64 now = 1000000;
    wash.setClock ([&now] { return now; });
    const auto before = wash.getWriteColumn();

    // Even the hum slider, which has no caption, brings a render.
    panel().getHumSlider().setValue (1.0, juce::sendNotificationSync);
    EXPECT_EQ (wash.getWriteColumn(), (before + 1) % WashWindowComponent::size);
    EXPECT_TRUE (caption().isEmpty());
}

TEST_F (TavEditorTest, NoiseReductionButtonAndNoiseOnly)
{
    auto& button = panel().getNoiseReductionButton();
    auto& noiseOnly = panel().getNoiseOnlyToggle();

    click (noiseOnly); // noise only; the refresh shows the button on
    EXPECT_EQ (bay().getMode(), 2);
    EXPECT_TRUE (button.getToggleState());
    EXPECT_TRUE (noiseOnly.getToggleState());

    // Turning the button off writes one value and turns NOISE ONLY off with it.
    recorder.writes.clear();
    click (button);
    EXPECT_EQ (recorder.writes, (std::vector<std::pair<int, float>> { { P::noiseReductionMode, 0.0f } }));
    EXPECT_EQ (bay().getMode(), 0);
    EXPECT_FALSE (button.getToggleState());
    EXPECT_FALSE (noiseOnly.getToggleState());

    // NOISE ONLY off while the button is off turns noise reduction on, and the refresh shows it.
    noiseOnly.setToggleState (true, juce::dontSendNotification);
    recorder.writes.clear();
    click (noiseOnly);
    EXPECT_EQ (recorder.writes, (std::vector<std::pair<int, float>> { { P::noiseReductionMode, 0.5f } }));
    EXPECT_EQ (bay().getMode(), 1);
    EXPECT_TRUE (button.getToggleState());
    EXPECT_FALSE (noiseOnly.getToggleState());
}

TEST_F (TavEditorTest, PresetsResetsAndRestoredStatesShowEverySetting)
{
    // A state with hum removal at 50 Hz, noise-only mode, voice, declipper and boost.
    processor.setParameter (P::humRemoval, 0.0f);
    processor.setParameter (P::noiseReductionMode, 1.0f);
    processor.setParameter (P::preserveVoice, 1.0f);
    processor.setParameter (P::declipper, 1.0f);
    processor.setParameter (P::boostVolume, 0.5f);
    processor.setParameter (P::enhance, 0.75f);
    processor.setParameter (P::clickCrackleDetection, 0.25f);
    juce::MemoryBlock state;
    processor.getStateInformation (state);

    processor.resetToDefaults();
    pump();
    EXPECT_EQ (panel().getHumSlider().getValue(), 0.0);
    EXPECT_FALSE (panel().getNoiseOnlyToggle().getToggleState());
    EXPECT_FALSE (panel().getNoiseReductionButton().getToggleState());

    ASSERT_TRUE (processor.restoreState (state.getData(), (int) state.getSize()));
    pump();
    EXPECT_EQ (panel().getHumSlider().getValue(), 1.0); // 50 Hz
    EXPECT_TRUE (panel().getNoiseOnlyToggle().getToggleState());
    EXPECT_TRUE (panel().getNoiseReductionButton().getToggleState());
    EXPECT_TRUE (panel().getPreserveVoiceToggle().getToggleState());
    EXPECT_TRUE (panel().getDeclipperToggle().getToggleState());
    EXPECT_NEAR (panel().getBoostSlider().getValue(), 5.0, 1.0e-5);
    EXPECT_NEAR (panel().getEnhanceSlider().getValue(), 0.75, 1.0e-6);
    EXPECT_NEAR (panel().getDeclickSlider().getValue(), 0.25, 1.0e-6);

    // 60 Hz, then a reset: back to OFF and noise reduction off.
    processor.setParameter (P::humRemoval, 0.5f);
    pump();
    EXPECT_EQ (panel().getHumSlider().getValue(), 2.0);

    recorder.writes.clear();
    processor.resetToDefaults();
    pump();
    EXPECT_EQ (panel().getHumSlider().getValue(), 0.0);
    EXPECT_FALSE (panel().getNoiseOnlyToggle().getToggleState());
    EXPECT_FALSE (panel().getPreserveVoiceToggle().getToggleState());
    EXPECT_EQ (panel().getBoostSlider().getValue(), 0.0);
    EXPECT_TRUE (recorder.writes.empty()); // the refresh itself writes nothing
}

TEST_F (TavEditorTest, LearnPressAndRelease)
{
    auto& learn = panel().getLearnToggle();
    transport.position = 2.5;

    press (learn);
    EXPECT_EQ (transport.toggles, 1); // playback started
    EXPECT_EQ (processor.getLearnRegion().startSample, 110250);
    EXPECT_EQ (processor.getLearnRegion().lengthSamples, 12288);
    EXPECT_EQ (bay().isLearning(), 1);

    release (learn);
    EXPECT_FALSE (learn.getToggleState());
    pump();
    EXPECT_FALSE (learn.getToggleState());

    // The audio thread ends learning; the refresh shows the result with LEARN unlit.
    feed (processor, 8);
    pump (100);
    EXPECT_EQ (bay().isLearning(), 0);
    EXPECT_EQ (bay().getMode(), 1);
    EXPECT_TRUE (panel().getNoiseReductionButton().getToggleState());
    EXPECT_FALSE (learn.getToggleState());
    EXPECT_NEAR (panel().getTunerKnob().getValue(), bay().getTuner(), 1.0e-5);
    EXPECT_NEAR (panel().getReductionKnob().getValue(), bay().getReduction(), 1.0e-5);

    // Playing already: the next presses do not pause; a position that is no time from the start counts as 0.
    struct Position
    {
        double seconds;
        juce::int64 startSample;
    };

    for (auto p : { Position { 0.0, 0 }, Position { 1.0 / 44100.0, 1 }, Position { -1.0, 0 },
                    Position { std::numeric_limits<double>::quiet_NaN(), 0 } })
    {
        transport.position = p.seconds;
        press (learn);
        EXPECT_EQ (transport.toggles, 1);
        EXPECT_EQ (processor.getLearnRegion().startSample, p.startSample) << p.seconds;
        release (learn);
    }
}

TEST_F (TavEditorTest, LearnNeedsMediaInThePlayer)
{
    auto& learn = panel().getLearnToggle();
    transport.mediaInPlayer = false;
    processor.getLearnRegion() = { 500, 1000 };
    processor.setParameter (P::noiseReductionMode, 0.5f);
    pump();

    press (learn);
    release (learn);
    pump();

    EXPECT_EQ (transport.toggles, 0);
    EXPECT_EQ (bay().isLearning(), 0);
    EXPECT_EQ (bay().getMode(), 1); // learning would have switched noise reduction off for good
    EXPECT_EQ (processor.getLearnRegion().startSample, 500);
    EXPECT_FALSE (learn.getToggleState());
}

TEST_F (TavEditorTest, OptionClickOnLearnClearsWithoutLearning)
{
    auto& learn = panel().getLearnToggle();
    auto* profile = bay().getChannelNoiseProfile (0);
    ASSERT_NE (profile, nullptr);
    juce::FloatVectorOperations::fill (profile->getData(), -70.0f, profile->getLength());
    bay().applyNoiseProfiles();
    processor.getLearnRegion() = { 4410, 12288 };
    transport.option = true;

    press (learn);
    EXPECT_EQ (bay().isLearning(), 0);
    EXPECT_EQ (transport.toggles, 0);
    release (learn);

    EXPECT_TRUE (panel().isTimerRunning (TavEditor::clearProfileTimer));
    EXPECT_EQ (profile->getData()[10], -70.0f); // the clear waits 50 ms

    // Blocks arriving in the meantime install no learned profile over the clear.
    feed (processor, 8);
    panel().timerCallback (TavEditor::clearProfileTimer);

    EXPECT_FALSE (panel().isTimerRunning (TavEditor::clearProfileTimer));
    EXPECT_EQ (processor.getLearnRegion().startSample, 0);
    EXPECT_EQ (processor.getLearnRegion().lengthSamples, 0);

    feed (processor, 8);
    for (int i = 0; i < profile->getLength(); ++i)
        ASSERT_EQ (profile->getData()[i], -48.0f) << i;

    // Without Option a click starts no clear.
    transport.option = false;
    press (learn);
    release (learn);
    EXPECT_FALSE (panel().isTimerRunning (TavEditor::clearProfileTimer));
}

/** Counts the repaint requests that reach a component. */
struct RepaintCounter : public juce::CachedComponentImage
{
    explicit RepaintCounter (int& c) : count (c) {}
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override { return ++count, true; }
    bool invalidate (const juce::Rectangle<int>&) override { return ++count, true; }
    void releaseResources() override {}
    int& count;
};

TEST_F (TavEditorTest, BusyDisplayFreezesTheMeter)
{
    int repaints = 0;
    auto& meter = panel().getMeter();
    meter.setCachedComponentImage (std::make_unique<RepaintCounter> (repaints).release());
    repaints = 0;
    auto& level = processor.getOutputMeter().level[0];

    // Silence: the meter at rest is not repainted.
    panel().timerCallback (TavEditor::meterTimer);
    EXPECT_EQ (repaints, 0);

    level = 0.5f;
    panel().timerCallback (TavEditor::meterTimer);
    EXPECT_EQ (repaints, 1);

    editor->setBusy (true);
    editor->setBusyText ("Exporting");
    EXPECT_TRUE (editor->isBusy());
    EXPECT_TRUE (panel().getProgressBar().isVisible());
    EXPECT_EQ (panel().getProgressBar().getBounds(), panel().getWashWindow().getBounds());
    // A disc on a square: what lies around it must still be painted, so the bar is not opaque.
    EXPECT_FALSE (panel().getProgressBar().isOpaque());

    panel().timerCallback (TavEditor::meterTimer);
    panel().timerCallback (TavEditor::meterTimer);
    EXPECT_EQ (repaints, 1);

    editor->setBusy (false);
    EXPECT_FALSE (editor->isBusy());
    level = 0.5f;
    panel().timerCallback (TavEditor::meterTimer);
    EXPECT_EQ (repaints, 2);
    EXPECT_TRUE (panel().isTimerRunning (TavEditor::meterTimer));
    EXPECT_EQ (panel().getTimerInterval (TavEditor::meterTimer), 80);

    meter.setCachedComponentImage (nullptr);
}

TEST_F (TavEditorTest, PagesAndCreditsSwitches)
{
    auto& credits = editor->getCreditsPage();
    auto& prefs = editor->getPreferences();

    EXPECT_EQ (panel().getParentComponent(), editor.get());
    click (panel().getCreditsButton());
    EXPECT_EQ (credits.getParentComponent(), editor.get());
    EXPECT_EQ (panel().getParentComponent(), nullptr);
    EXPECT_EQ (credits.getVersionLabel().getText(), "Version 5.0.0");

    // Hide help tips: the preference and the panel's tooltip window follow at once.
    EXPECT_TRUE (panel().areTooltipsEnabled());
    click (credits.getHideHelpTipsToggle());
    EXPECT_FALSE (prefs.getHelpTips());
    EXPECT_FALSE (panel().areTooltipsEnabled());
    click (credits.getHideHelpTipsToggle());
    EXPECT_TRUE (prefs.getHelpTips());
    EXPECT_TRUE (panel().areTooltipsEnabled());

    click (credits.getAnalyzeToggle());
    EXPECT_FALSE (prefs.getAnalyze());

    click (credits.getDoneButton());
    EXPECT_EQ (panel().getParentComponent(), editor.get());
    EXPECT_EQ (credits.getParentComponent(), nullptr);

    // Coming back, the page shows what the store holds.
    prefs.setAnalyze (true);
    prefs.setHelpTips (false);
    editor->showPage (1);
    EXPECT_TRUE (credits.getAnalyzeToggle().getToggleState());
    EXPECT_TRUE (credits.getHideHelpTipsToggle().getToggleState());

    editor->showPage (7);
    EXPECT_EQ (editor->getNumChildComponents(), 0);
}

TEST_F (TavEditorTest, HelpTipsOffAtStartMeansNoTooltipWindow)
{
    editor.reset();
    {
        TavPreferences prefs;
        prefs.setHelpTips (false);
        prefs.setFirstLaunch (false);
    }

    editor = std::make_unique<TavUIEditor> (processor, &processor.getProgress());
    EXPECT_FALSE (editor->isFirstLaunch());
    EXPECT_FALSE (panel().areTooltipsEnabled());
    EXPECT_TRUE (editor->getCreditsPage().getAnalyzeToggle().getToggleState());
    EXPECT_TRUE (editor->getCreditsPage().getHideHelpTipsToggle().getToggleState());

    editor->setHelpTips (true);
    EXPECT_TRUE (panel().areTooltipsEnabled());
}

} // namespace
