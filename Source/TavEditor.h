#pragma once

#include "TavLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class EditorPages;
class MeterComponent;
class PanelHost;
class TavAudioProcessor;
class TavPreferences;
class WashWindowComponent;

/** The main processing panel, 780 x 400, at fixed pixel bounds.

    Every control writes one processor parameter through the notify-host path; the processor's change
    messages bring a refresh that reads every control back from the DSP objects, so that learning, a
    preset, a reset or a restored state show on the panel. LEARN learns the noise profile while it is
    held; an Option-click on it clears the profile instead. A progress bar over the wash window is the
    busy display, and the meter is repainted every 80 ms while the panel is not busy.
*/
class TavEditor : public juce::Component,
                  public juce::ChangeListener,
                  public juce::Button::Listener,
                  public juce::Slider::Listener,
                  public juce::MultiTimer
{
public:
    enum TimerIds
    {
        clearProfileTimer = 0,
        meterTimer = 1
    };

    /** owner: the page set holding the panel (the credits button asks it for the credits page); progress:
        the processor's progress value, shown by the busy display.
    */
    TavEditor (TavAudioProcessor& processor, EditorPages* owner, TavPreferences* preferences, double* progress);
    ~TavEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    void timerCallback (int timerID) override;
    void sliderDragEnded (juce::Slider* slider) override;
    void buttonClicked (juce::Button* button) override;
    void sliderValueChanged (juce::Slider* slider) override;
    void buttonStateChanged (juce::Button* button) override;

    /** Help tips: while on, one tooltip window (700 ms delay) serves every window of the application. */
    void setTooltipsEnabled (bool on);
    bool areTooltipsEnabled() const noexcept { return tooltipWindow != nullptr; }

    /** The busy display: the progress bar over the wash window. */
    void setBusy (bool busy);
    bool isBusy() const;
    void setBusyText (const juce::String& text);

    /** The application around the panel, for LEARN; not owned. Without one, LEARN learns nothing from
        playback and an Option press clears nothing.
    */
    void setHost (PanelHost* newHost) noexcept { host = newHost; }

    //==============================================================================
    juce::ToggleButton& getPreserveVoiceToggle() noexcept { return *preserveVoiceToggle; }
    juce::ToggleButton& getRemoveRumbleToggle() noexcept { return *removeRumbleToggle; }
    juce::ToggleButton& getLearnToggle() noexcept { return *learnToggle; }
    juce::ToggleButton& getDeclipperToggle() noexcept { return *declipperToggle; }
    juce::ToggleButton& getTrackToggle() noexcept { return *trackToggle; }
    juce::ToggleButton& getNoiseOnlyToggle() noexcept { return *noiseOnlyToggle; }
    juce::Slider& getTunerKnob() noexcept { return *tunerKnob; }
    juce::Slider& getReductionKnob() noexcept { return *reductionKnob; }
    juce::Slider& getDeclickSlider() noexcept { return *declickSlider; }
    juce::Slider& getEnhanceSlider() noexcept { return *enhanceSlider; }
    juce::Slider& getHumSlider() noexcept { return *humSlider; }
    juce::Slider& getBoostSlider() noexcept { return *boostSlider; }
    juce::ImageButton& getNoiseReductionButton() noexcept { return *noiseReductionButton; }
    juce::ImageButton& getCreditsButton() noexcept { return *creditsButton; }
    WashWindowComponent& getWashWindow() noexcept { return *washWindow; }
    MeterComponent& getMeter() noexcept { return *meter; }
    juce::ProgressBar& getProgressBar() noexcept { return *progressBar; }

private:
    void refresh();
    void write (int parameter, float value);
    /** Writes a parameter from its DSP value (dB, mode, on or off ...) through the parameter table. */
    void writeValue (int parameter, double value);
    void showCaption (const char* format, double value);

    std::unique_ptr<juce::TooltipWindow> tooltipWindow;
    EditorPages* owner;
    TavPreferences* preferences;
    TavLookAndFeel lookAndFeel;
    juce::Image backgroundImage;
    std::unique_ptr<WashWindowComponent> washWindow;
    std::unique_ptr<MeterComponent> meter;
    std::unique_ptr<juce::ProgressBar> progressBar;
    bool learnHeld = false;
    std::unique_ptr<juce::ToggleButton> preserveVoiceToggle, removeRumbleToggle, learnToggle;
    std::unique_ptr<juce::Slider> tunerKnob, reductionKnob, declickSlider, enhanceSlider;
    std::unique_ptr<juce::Label> tunerLabel, reductionLabel, declickLabel, enhanceLabel;
    std::unique_ptr<juce::Slider> humSlider;
    std::unique_ptr<juce::Label> humOffLabel, hum50Label, hum60Label, humLabel, noiseReductionLabel;
    std::unique_ptr<juce::ImageButton> creditsButton;
    std::unique_ptr<juce::ToggleButton> declipperToggle;
    std::unique_ptr<juce::Slider> boostSlider;
    std::unique_ptr<juce::Label> boostLabel;
    std::unique_ptr<juce::ToggleButton> trackToggle;
    std::unique_ptr<juce::ImageButton> noiseReductionButton;
    std::unique_ptr<juce::ToggleButton> noiseOnlyToggle;

    TavAudioProcessor& processor;
    PanelHost* host = nullptr;
    // The press that began this hold of LEARN started a learn, or was an Option press that clears instead.
    bool learnStarted = false;
    bool clearPress = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavEditor)
};
