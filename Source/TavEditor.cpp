#include "TavEditor.h"

#include "EditorPages.h"
#include "MeterComponent.h"
#include "PanelHost.h"
#include "ProcessorParameter.h"
#include "TavAudioProcessor.h"
#include "TavAudioTapProcessor.h"
#include "TavPreferences.h"
#include "TavlinResources.h"
#include "WashWindowComponent.h"

#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZEnhancementBay.h"
#include "ZMaximizer.h"
#include "ZNoiseReductionBay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <mutex>

namespace
{
constexpr int learnLengthSamples = 12288;
constexpr int clearDelayMs = 50;
constexpr int meterPeriodMs = 80;

const juce::Colour labelColour (0x80000000);

juce::Image loadImage (const void* data, int size)
{
    return juce::ImageFileFormat::loadFrom (data, (size_t) size);
}

std::unique_ptr<juce::ToggleButton> makeToggle (const char* text, const char* tip)
{
    auto toggle = std::make_unique<juce::ToggleButton> ("new toggle button");
    toggle->setButtonText (text);
    toggle->setTooltip (juce::String::fromUTF8 (tip));
    return toggle;
}

std::unique_ptr<juce::Slider> makeSlider (juce::Slider::SliderStyle style, double minimum, double maximum,
                                          double interval, const char* tip)
{
    auto slider = std::make_unique<juce::Slider> ("new slider");
    slider->setSliderStyle (style);
    slider->setTextBoxStyle (juce::Slider::NoTextBox, false, 80, 20);
    slider->setRange (minimum, maximum, interval);
    slider->setTooltip (juce::String::fromUTF8 (tip));
    return slider;
}

/** A continuous slider over the DSP range of a parameter. */
std::unique_ptr<juce::Slider> makeParameterSlider (juce::Slider::SliderStyle style, int parameter, const char* tip)
{
    const auto& range = ProcessorParameter::table[parameter];
    return makeSlider (style, range.minimum, range.maximum, 0.0, tip);
}

std::unique_ptr<juce::Label> makeLabel (const char* text, float height, juce::Justification justification)
{
    auto label = std::make_unique<juce::Label> ("new label", text);
    label->setFont (juce::Font (height, juce::Font::plain));
    label->setJustificationType (justification);
    label->setEditable (false, false, false);
    label->setColour (juce::Label::textColourId, labelColour);
    return label;
}

std::unique_ptr<juce::ImageButton> makeImageButton (const juce::Image& normal, const juce::Image& down)
{
    auto button = std::make_unique<juce::ImageButton> ("new button");
    button->setImages (false, true, true, normal, 1.0f, juce::Colours::transparentBlack, juce::Image(), 1.0f,
                       juce::Colours::transparentBlack, down, 1.0f, juce::Colours::transparentBlack, 0.0f);
    return button;
}

/** The noise-reduction bay's modes, the DSP values of "Noise Reduction Mode". */
enum NoiseReductionMode
{
    modeOff,
    modeOn,
    modeNoiseOnly
};

/** Hum slider positions 0 (off), 1 (50 Hz) and 2 (60 Hz) and the bay's hum modes they select. */
constexpr int humModeForPosition[] = { 2, 0, 1 };

/** The slider position that shows the bay's hum mode (0 = 50 Hz, 1 = 60 Hz, 2 = off). */
int humPositionForMode (int mode)
{
    const auto* found = std::find (std::begin (humModeForPosition), std::end (humModeForPosition), mode);
    return found != std::end (humModeForPosition) ? (int) (found - std::begin (humModeForPosition)) : 0;
}

const char* const tips[] = {
    "Preserve Voice Button - This is a special pre- filtering mode which removes frequencies above the range of the "
    "human voice.",
    "Remove Rumble Button - Takes out low-frequency noise at 40Hz and below\xe2\x80\x93 often found as background "
    "noise in video clips.",
    "Learn Noise Button - The Learn Noise button listens to the audio and determines the frequencies causing a "
    "broadband noise problem. Once this \xe2\x80\x9cnoise profile\xe2\x80\x9d has been determined, Learn Noise also "
    "sets the Noise Tuner and Noise Reduction knobs automatically.  Hold this button down during a section of the "
    "audio that only contains the noise you want to remove.",
    "Noise Tuner Knob - Helps you \xe2\x80\x9ctune in\xe2\x80\x9d the hiss and background noise you want to remove. "
    "(The Learn Noise button sets this control automatically \xe2\x80\x93 or you can adjust it manually)",
    "Noise Reduction Knob - Controls the amount of noise reduction being applied. (The Learn Noise button sets this "
    "control automatically \xe2\x80\x93 or you can adjust it manually)",
    "Remove Click & Crackle Slider - This single slider controls the threshold level for both click and crackle "
    "reduction. (Moving it right removes more clicks and crackles \xe2\x80\x93 moving it left removes fewer clicks "
    "and crackles)",
    "Enhance Slider - The Enhance slider is used to add \xe2\x80\x9csparkle\xe2\x80\x9d back into the audio signal. It "
    "can help to restore frequencies that may have been lost in old or degraded media.",
    "Remove Hum Controls - Used for eliminating hum introduced into digital audio & video files from electrical "
    "interference. Use 60Hz for regions using 60Hz electrical systems (North/South America), and 50Hz in regions "
    "using 50Hz systems (Africa/ Asia/Australia/Europe).",
    "Declipper - Fix distortion in the audio that can happen when it was recorded too loud.",
    "Boost Slider - Use this setting to increase the overall loudness of the audio.  Be careful not to over-use this "
    "setting.",
    "The Track setting automatically applies less noise reduction on louder parts of the audio.",
    "Turns the noise reduction on or off.",
    "\xe2\x80\x9cNoise Only\xe2\x80\x9d mode allows you to monitor just the offending broadband noise, providing "
    "useful feedback about the frequencies being removed.",
    "Wash Window - Tavlin\xe2\x80\x99s unique Wash Window provides a graphical representation of noise reduction. The "
    "left side of the window shows the unprocessed audio signal, and the right side shows the clean signal.",
};

enum TipIndex
{
    preserveVoiceTip,
    removeRumbleTip,
    learnTip,
    tunerTip,
    reductionTip,
    declickTip,
    enhanceTip,
    humTip,
    declipperTip,
    boostTip,
    trackTip,
    noiseReductionTip,
    noiseOnlyTip,
    washWindowTip
};
} // namespace

//==============================================================================
TavEditor::TavEditor (TavAudioProcessor& processorToUse, EditorPages* ownerToUse, TavPreferences* preferencesToUse,
                      double* progress)
    : owner (ownerToUse), preferences (preferencesToUse), processor (processorToUse)
{
    using J = juce::Justification;
    using S = juce::Slider;

    preserveVoiceToggle = makeToggle ("PRESERVE VOICE", tips[preserveVoiceTip]);
    removeRumbleToggle = makeToggle ("REMOVE RUMBLE", tips[removeRumbleTip]);
    learnToggle = makeToggle ("LEARN", tips[learnTip]);
    tunerKnob = makeParameterSlider (S::RotaryVerticalDrag, TavAudioProcessor::tunerBroadbandNR, tips[tunerTip]);
    reductionKnob =
        makeParameterSlider (S::RotaryVerticalDrag, TavAudioProcessor::amountBroadbandNR, tips[reductionTip]);
    declickSlider =
        makeParameterSlider (S::LinearHorizontal, TavAudioProcessor::clickCrackleDetection, tips[declickTip]);
    enhanceSlider = makeParameterSlider (S::LinearHorizontal, TavAudioProcessor::enhance, tips[enhanceTip]);
    tunerLabel = makeLabel ("NOISE TUNER", 18.0f, J::centred);
    reductionLabel = makeLabel ("NOISE REDUCTION", 18.0f, J::centred);
    declickLabel = makeLabel ("DECLICK", 15.0f, J::centred);
    enhanceLabel = makeLabel ("ENHANCE", 15.0f, J::centred);
    humSlider = makeSlider (S::LinearHorizontal, 0.0, 2.0, 1.0, tips[humTip]);
    humOffLabel = makeLabel ("OFF", 15.0f, J::centredLeft);
    hum50Label = makeLabel ("50", 15.0f, J::centredLeft);
    hum60Label = makeLabel ("60", 15.0f, J::centredLeft);
    humLabel = makeLabel ("REMOVE HUM", 15.0f, J::centredLeft);
    noiseReductionLabel = makeLabel ("NOISE REDUCTION", 15.0f, J::centredLeft);
    creditsButton =
        makeImageButton (loadImage (TavlinResources::wordmark_png, TavlinResources::wordmark_pngSize), juce::Image());
    declipperToggle = makeToggle ("DECLIPPER", tips[declipperTip]);
    boostSlider = makeSlider (S::LinearHorizontal, 0.0, 10.0, 0.0, tips[boostTip]);
    boostLabel = makeLabel ("BOOST", 15.0f, J::centred);
    trackToggle = makeToggle ("TRACK", tips[trackTip]);
    noiseReductionButton = makeImageButton (
        loadImage (TavlinResources::noise_reduction_off_png, TavlinResources::noise_reduction_off_pngSize),
        loadImage (TavlinResources::noise_reduction_on_png, TavlinResources::noise_reduction_on_pngSize));
    noiseReductionButton->setTooltip (tips[noiseReductionTip]);
    noiseOnlyToggle = makeToggle ("NOISE ONLY", tips[noiseOnlyTip]);

    for (auto* button : std::initializer_list<juce::Button*> {
             preserveVoiceToggle.get(), removeRumbleToggle.get(), learnToggle.get(), creditsButton.get(),
             declipperToggle.get(), trackToggle.get(), noiseReductionButton.get(), noiseOnlyToggle.get() })
    {
        addAndMakeVisible (*button);
        button->addListener (this);
    }

    for (auto* slider : { tunerKnob.get(), reductionKnob.get(), declickSlider.get(), enhanceSlider.get(),
                          humSlider.get(), boostSlider.get() })
    {
        addAndMakeVisible (*slider);
        slider->addListener (this);
    }

    for (auto* label :
         { tunerLabel.get(), reductionLabel.get(), declickLabel.get(), enhanceLabel.get(), humOffLabel.get(),
           hum50Label.get(), hum60Label.get(), humLabel.get(), noiseReductionLabel.get(), boostLabel.get() })
        addAndMakeVisible (*label);

    meter = std::make_unique<MeterComponent> (&processor.getOutputMeter());
    addAndMakeVisible (*meter);

    startTimer (meterTimer, meterPeriodMs);

    processor.addChangeListener (this);

    washWindow = std::make_unique<WashWindowComponent> (&processor);
    washWindow->setTooltip (juce::String::fromUTF8 (tips[washWindowTip]));
    addAndMakeVisible (*washWindow);

    progressBar = std::make_unique<juce::ProgressBar> (*progress);
    addAndMakeVisible (*progressBar);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xff000000));
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xff0080f0));
    progressBar->setVisible (false);

    // The wash window's square reaches 4 px into TRACK and LEARN; the toggles stay whole above it.
    trackToggle->toFront (false);
    learnToggle->toFront (false);

    refresh();

    learnHeld = false;
    tooltipWindow = nullptr;
    setTooltipsEnabled (preferences == nullptr || preferences->getHelpTips());

    for (auto* control : std::initializer_list<juce::Component*> {
             preserveVoiceToggle.get(), removeRumbleToggle.get(), learnToggle.get(), tunerKnob.get(),
             reductionKnob.get(), declickSlider.get(), enhanceSlider.get(), humSlider.get(), creditsButton.get(),
             declipperToggle.get(), boostSlider.get(), trackToggle.get(), noiseReductionButton.get(),
             noiseOnlyToggle.get() })
    {
        control->setWantsKeyboardFocus (false);
        control->setMouseClickGrabsKeyboardFocus (false);
    }

    for (auto* slider : { declickSlider.get(), enhanceSlider.get(), humSlider.get(), boostSlider.get() })
        slider->setColour (juce::Slider::trackColourId, juce::Colour (0xffffffff));

    noiseReductionButton->setClickingTogglesState (true);
    noiseOnlyToggle->setClickingTogglesState (true);

    // LEARN is lit only while it is held or while the bay learns: a click never toggles it.
    learnToggle->setClickingTogglesState (false);

    setSize (780, 400);
    setLookAndFeel (&lookAndFeel);
    backgroundImage = loadImage (TavlinResources::panel_background_png, TavlinResources::panel_background_pngSize);

    // The framework counts a bar with an opaque background colour as opaque, but ours is a disc: the
    // corners must show the round recess behind it, so the panel and the wash window paint under it.
    progressBar->setOpaque (false);
}

TavEditor::~TavEditor()
{
    stopTimer (clearProfileTimer);
    stopTimer (meterTimer);

    preserveVoiceToggle.reset();
    removeRumbleToggle.reset();
    learnToggle.reset();
    tunerKnob.reset();
    reductionKnob.reset();
    declickSlider.reset();
    enhanceSlider.reset();
    tunerLabel.reset();
    reductionLabel.reset();
    declickLabel.reset();
    enhanceLabel.reset();
    humSlider.reset();
    humOffLabel.reset();
    hum50Label.reset();
    hum60Label.reset();
    humLabel.reset();
    noiseReductionLabel.reset();
    creditsButton.reset();
    declipperToggle.reset();
    boostSlider.reset();
    boostLabel.reset();
    trackToggle.reset();
    noiseReductionButton.reset();
    noiseOnlyToggle.reset();

    washWindow.reset(); // detaches from the processor first
    progressBar.reset();
    meter.reset();
    tooltipWindow.reset();

    processor.removeChangeListener (this);
    setLookAndFeel (nullptr);
}

//==============================================================================
void TavEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
    g.drawImageAt (backgroundImage, 0, 0);
}

void TavEditor::resized()
{
    tunerKnob->setBounds (20, 16, 234, 234);
    reductionKnob->setBounds (520, 16, 234, 234);
    declickSlider->setBounds (70, 284, 180, 24);
    enhanceSlider->setBounds (544, 284, 180, 24);
    humSlider->setBounds (193, 339, 76, 24);
    boostSlider->setBounds (344, 339, 128, 24);
    preserveVoiceToggle->setBounds (32, 328, 42, 60);
    removeRumbleToggle->setBounds (104, 328, 42, 60);
    declipperToggle->setBounds (247, 16, 42, 50);
    trackToggle->setBounds (482, 16, 42, 50);
    noiseOnlyToggle->setBounds (247, 195, 42, 50);
    learnToggle->setBounds (482, 195, 42, 50);
    noiseReductionButton->setBounds (363, 230, 54, 54);
    creditsButton->setBounds (520, 336, 220, 48);

    tunerLabel->setBounds (64, 248, 150, 24);
    reductionLabel->setBounds (562, 248, 150, 24);
    declickLabel->setBounds (12, 284, 64, 24);
    enhanceLabel->setBounds (480, 284, 72, 24);
    humOffLabel->setBounds (177, 320, 40, 24);
    hum50Label->setBounds (219, 320, 32, 24);
    hum60Label->setBounds (252, 320, 32, 24);
    humLabel->setBounds (185, 364, 104, 24);
    noiseReductionLabel->setBounds (340, 284, 136, 24);
    boostLabel->setBounds (296, 338, 48, 24);

    washWindow->setBounds (290, 32, 196, 196);
    progressBar->setBounds (290, 32, 196, 196);
    meter->setBounds (308, 320, 160, 14);
}

//==============================================================================
void TavEditor::setTooltipsEnabled (bool on)
{
    if (on)
        tooltipWindow = std::make_unique<juce::TooltipWindow> (nullptr, 700);
    else
        tooltipWindow.reset();
}

void TavEditor::setBusy (bool busy)
{
    progressBar->setVisible (busy);
}

bool TavEditor::isBusy() const
{
    return progressBar->isVisible();
}

void TavEditor::setBusyText (const juce::String& text)
{
    progressBar->setTextToDisplay (text);
}

//==============================================================================
void TavEditor::write (int parameter, float value)
{
    processor.setParameterNotifyingHost (parameter, value);
}

void TavEditor::writeValue (int parameter, double value)
{
    write (parameter, ProcessorParameter::table[parameter].toNormalised (value));
}

void TavEditor::showCaption (const char* format, double value)
{
    char text[64];
    std::snprintf (text, sizeof (text), format, value);
    washWindow->setDisplayText (text);
}

void TavEditor::buttonClicked (juce::Button* button)
{
    const auto on = button->getToggleState();

    if (button == noiseReductionButton.get())
    {
        writeValue (TavAudioProcessor::noiseReductionMode, on ? modeOn : modeOff);

        if (!on)
            noiseOnlyToggle->setToggleState (false, juce::dontSendNotification);
    }
    else if (button == noiseOnlyToggle.get())
    {
        writeValue (TavAudioProcessor::noiseReductionMode, on ? modeNoiseOnly : modeOn);
    }
    else if (button == preserveVoiceToggle.get())
    {
        writeValue (TavAudioProcessor::preserveVoice, on);
    }
    else if (button == removeRumbleToggle.get())
    {
        writeValue (TavAudioProcessor::removeRumble, on);
    }
    else if (button == declipperToggle.get())
    {
        writeValue (TavAudioProcessor::declipper, on);
    }
    else if (button == trackToggle.get())
    {
        writeValue (TavAudioProcessor::track, on);
    }
    else if (button == creditsButton.get())
    {
        if (owner != nullptr)
            owner->showPage (1);
    }
    else if (button == learnToggle.get())
    {
        // An Option press learned nothing; the clear follows 50 ms after its click.
        if (clearPress)
            startTimer (clearProfileTimer, clearDelayMs);
    }
}

void TavEditor::sliderValueChanged (juce::Slider* slider)
{
    auto& bay = processor.getNoiseReductionBay();
    const auto v = slider->getValue();

    if (slider == tunerKnob.get())
    {
        writeValue (TavAudioProcessor::tunerBroadbandNR, v);
        showCaption ("Tuner : %3.0fdB", (double) bay.getTuner());
    }
    else if (slider == reductionKnob.get())
    {
        writeValue (TavAudioProcessor::amountBroadbandNR, v);
        showCaption ("Reduction : -%2.0fdB", (double) bay.getReduction());
    }
    else if (slider == declickSlider.get())
    {
        writeValue (TavAudioProcessor::clickCrackleDetection, v);
        showCaption ("Declick : %3.0f%%", v * 100.0);
    }
    else if (slider == enhanceSlider.get())
    {
        writeValue (TavAudioProcessor::enhance, v);
        showCaption ("Enhance : %3.0f%%", v * 100.0);
    }
    else if (slider == humSlider.get())
    {
        const auto position = (int) v;

        if (juce::isPositiveAndBelow (position, 3))
            writeValue (TavAudioProcessor::humRemoval, humModeForPosition[position]);
    }
    else if (slider == boostSlider.get())
    {
        write (TavAudioProcessor::boostVolume, (float) (v / 10.0));
        const auto gainDb = 20.0f * std::log10 (processor.getMaximizer (0).getMakeupGain());
        showCaption ("Boost : +%2.1fdB", (double) gainDb + 0.31);
    }

    washWindow->renderImage();
    washWindow->repaint();
}

void TavEditor::sliderDragEnded (juce::Slider*)
{
    washWindow->setDisplayText (juce::String());
}

void TavEditor::buttonStateChanged (juce::Button* button)
{
    if (button != learnToggle.get())
        return;

    auto& bay = processor.getNoiseReductionBay();
    const auto down = learnToggle->isDown();
    const auto released = learnHeld && !down;

    if (released)
    {
        if (learnStarted)
            bay.stopLearning();

        learnStarted = false;
    }
    else if (!learnHeld && down)
    {
        // An Option press only clears (at its click): a learn would install its profile over the clear.
        // Without media playing in the player nothing would feed a learn, so none starts.
        clearPress = host != nullptr && host->isOptionKeyDown();

        if (!clearPress && host != nullptr && host->canLearnFromPlayback())
        {
            if (!host->isPlaying())
                host->togglePlayPause();

            // A position that is not a finite time from the start counts as the start.
            const auto start = host->getPlayerPosition() * processor.getSampleRate();
            auto& region = processor.getLearnRegion();
            region.startSample = std::isfinite (start) && start > 0.0 ? (juce::int64) juce::jmin (start, 4.0e18) : 0;
            region.lengthSamples = learnLengthSamples;

            bay.startLearning();
            learnStarted = true;
        }
    }

    learnHeld = down;

    if (released)
        learnToggle->setToggleState (false, juce::dontSendNotification);
}

void TavEditor::timerCallback (int timerID)
{
    if (timerID == clearProfileTimer)
    {
        processor.getNoiseReductionBay().clearNoiseProfiles();
        stopTimer (clearProfileTimer);
        processor.getLearnRegion() = {};
    }
    else if (timerID == meterTimer)
    {
        // A meter at rest shows what it would draw again: silence draws nothing new.
        if (!isBusy() && !meter->isAtRest())
            meter->repaint();
    }
}

//==============================================================================
void TavEditor::changeListenerCallback (juce::ChangeBroadcaster*)
{
    refresh();
}

void TavEditor::refresh()
{
    auto& bay = processor.getNoiseReductionBay();
    const auto n = juce::dontSendNotification;
    const auto mode = bay.getMode();

    learnToggle->setToggleState (bay.isLearning() != 0, n);
    preserveVoiceToggle->setToggleState (bay.getPreserveVoice(), n);
    removeRumbleToggle->setToggleState (bay.getRemoveRumble(), n);
    declipperToggle->setToggleState (processor.getDeclipper (0).enabled.load(), n);
    reductionKnob->setValue (bay.getReduction(), n);
    tunerKnob->setValue (bay.getTuner(), n);
    enhanceSlider->setValue (processor.getEnhancementBay().getAmount(), n);
    declickSlider->setValue (processor.getClickAndCrackleBay().getAmount(), n);
    boostSlider->setValue (processor.getParameter (TavAudioProcessor::boostVolume) * 10.0, n);
    trackToggle->setToggleState (bay.getTrack(), n);
    noiseReductionButton->setToggleState (mode != modeOff, n);

    // The hum slider and NOISE ONLY follow the processor too, so that a preset, a reset or a restored
    // state shows every setting it holds.
    humSlider->setValue (humPositionForMode (bay.getHumMode()), n);
    noiseOnlyToggle->setToggleState (mode == modeNoiseOnly, n);

    // The tap that prepares the processor sets its block size on its own thread (an export's), under this lock.
    const auto blockSize = [this]
    {
        const std::lock_guard<std::mutex> hold (TavAudioTapProcessor::getProcessorLock());
        return processor.getBlockSize();
    }();

    washWindow->attachToProcessor (blockSize);
}
