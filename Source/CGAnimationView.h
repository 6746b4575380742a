#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The waiting animation shown while no media is loaded.

    It plays the composition it was set up with; the one composition it knows, "Tav-Splash", draws a noisy
    waveform that comes out clean as it travels across. Set up with any other name it shows nothing and its
    other operations do nothing.
*/
class CGAnimationView : public juce::Component, private juce::Timer
{
public:
    static inline const juce::String splashComposition { "Tav-Splash" };

    CGAnimationView();
    ~CGAnimationView() override;

    /** Loads a composition by name into the window that shows this view. */
    void setup (juce::Component* window, const juce::String& compositionName);

    /** The area the composition covers. */
    void setLayerSize (juce::Rectangle<int> rect);

    /** Shows and runs the composition, or hides and stops it. */
    void setEnabled (bool shouldRun);

    bool hasComposition() const noexcept { return loaded; }
    bool isRunning() const noexcept { return running; }

    void paint (juce::Graphics& g) override;

private:
    void timerCallback() override;

    juce::Component* window = nullptr;
    bool loaded = false;
    bool running = false;
    double phase = 0.0;

    JUCE_DECLARE_NON_COPYABLE (CGAnimationView)
};
