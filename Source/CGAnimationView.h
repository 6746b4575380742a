#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The waiting animation shown while no media is loaded.

    It plays the composition it was set up with; the one composition it knows, "Tav-Splash", draws a noisy
    waveform that comes out clean as it travels across. Set up with any other name it shows nothing and its
    other operations do nothing.

    Each time it is enabled the composition plays for playSeconds at 30 frames per second and then rests on its
    last, clean picture: the program draws nothing while nothing moves. While the view is not on the screen
    (hidden, or its window minimised) no frame is drawn; the play goes on from where it was once the view is
    painted again.
*/
class CGAnimationView : public juce::Component, private juce::Timer
{
public:
    static inline const juce::String splashComposition { "Tav-Splash" };

    /** How long (in seconds) the composition moves after it is enabled. */
    static constexpr double playSeconds = 8.0;
    static constexpr int framesPerSecond = 30;

    CGAnimationView();
    ~CGAnimationView() override;

    /** Loads a composition by name into the window that shows this view. */
    void setup (juce::Component* window, const juce::String& compositionName);

    /** The area the composition covers. */
    void setLayerSize (juce::Rectangle<int> rect);

    /** Shows and runs the composition, or hides and stops it. */
    void setEnabled (bool shouldRun);

    bool hasComposition() const noexcept { return loaded; }

    /** Enabled: shown, playing or resting on its last picture. */
    bool isRunning() const noexcept { return running; }

    /** Drawing frames now (enabled, on the screen and not yet at rest). */
    bool isMoving() const noexcept { return isTimerRunning(); }

    /** Seconds played since it was enabled, up to playSeconds. */
    double getPlayedSeconds() const noexcept { return phase; }

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void timerCallback() override;
    void drawBackground();

    juce::Component* window = nullptr;
    bool loaded = false;
    bool running = false;
    double phase = 0.0;
    juce::Image background; // the still part of every frame, drawn once per size

    JUCE_DECLARE_NON_COPYABLE (CGAnimationView)
};
