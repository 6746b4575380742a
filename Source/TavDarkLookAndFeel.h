#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The transport bar's look: the framework's second look with lit and unlit ring images for toggles, their
    text small and bold underneath.
*/
class TavDarkLookAndFeel : public juce::LookAndFeel_V2
{
public:
    TavDarkLookAndFeel();
    ~TavDarkLookAndFeel() override;

    void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool shouldDrawButtonAsHighlighted,
                           bool shouldDrawButtonAsDown) override;

    const juce::Image& getToggleOnImage() const noexcept { return toggleOnImage; }
    const juce::Image& getToggleOffImage() const noexcept { return toggleOffImage; }

private:
    juce::Image toggleOnImage, toggleOffImage;
    juce::Font labelFont;
};
