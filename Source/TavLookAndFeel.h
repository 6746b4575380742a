#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The look of the processing panel and the save-format chooser: picture toggles with their caption
    underneath, picture knobs with a translucent blue value arc and a pointer dot, a picture slider thumb,
    a ring-shaped progress display and fixed combo-box colours. Everything else is LookAndFeel_V2's.
*/
class TavLookAndFeel : public juce::LookAndFeel_V2
{
public:
    TavLookAndFeel();
    ~TavLookAndFeel() override;

    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool shouldDrawButtonAsHighlighted,
                           bool shouldDrawButtonAsDown) override;

    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height, double progress,
                          const juce::String& textToShow) override;

    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                            bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                            const juce::String& shortcutKeyText, const juce::Drawable* icon,
                            const juce::Colour* textColour) override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY, int buttonW,
                       int buttonH, juce::ComboBox&) override;

    void drawLabel (juce::Graphics&, juce::Label&) override;

    void drawLinearSliderThumb (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                                float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle,
                                juce::Slider&) override;

    /** sliderPos is the proportional position 0..1; angles in radians clockwise from twelve o'clock. */
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;

    int getSliderThumbRadius (juce::Slider&) override;

    const juce::Font& getSmallFont() const noexcept { return smallFont; }
    const juce::Font& getLargeFont() const noexcept { return largeFont; }

private:
    juce::Image toggleOnImage; // 132 x 132, lit blue ring
    juce::Image toggleOffImage; // 132 x 132, dark ring
    juce::Image largeKnobImage; // 234 x 234
    juce::Image smallKnobImage; // 54 x 54
    juce::Image sliderThumbImage; // 22 x 22
    juce::Font smallFont; // "Trebuchet MS" 10 bold
    juce::Font largeFont; // "Trebuchet MS" 12 bold

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavLookAndFeel)
};
