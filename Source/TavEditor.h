#pragma once

#include "TavLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TavAudioProcessor;
class TavPreferences;
class TavUIEditor;

/** The processing panel, 780 x 400.

    For now it shows the panel's background and the busy display (the progress ring over the wash window)
    with its help-tips switch; the restoration controls, the wash window and the meter come with the panel
    itself.
*/
class TavEditor : public juce::Component
{
public:
    TavEditor (TavAudioProcessor& processor, TavUIEditor* owner, TavPreferences* preferences, double* progress);
    ~TavEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Help tips: one tooltip window (700 ms delay) for every window of the application, while on. */
    void setTooltipsEnabled (bool on);

    void setBusy (bool busy);
    bool isBusy() const;
    void setBusyText (const juce::String& text);

private:
    std::unique_ptr<juce::TooltipWindow> tooltipWindow;
    TavUIEditor* owner;
    TavPreferences* preferences;
    TavLookAndFeel lookAndFeel;
    juce::Image backgroundImage;
    std::unique_ptr<juce::ProgressBar> progressBar;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavEditor)
};
