#include "TavDarkLookAndFeel.h"

#include "FontFallback.h"
#include "TavlinResources.h"

TavDarkLookAndFeel::TavDarkLookAndFeel()
    : toggleOnImage (juce::ImageFileFormat::loadFrom (TavlinResources::dark_toggle_on_png,
                                                      (size_t) TavlinResources::dark_toggle_on_pngSize)),
      toggleOffImage (juce::ImageFileFormat::loadFrom (TavlinResources::dark_toggle_off_png,
                                                       (size_t) TavlinResources::dark_toggle_off_pngSize)),
      labelFont (FontFallback::make ("Myriad Pro", 10.0f, juce::Font::bold))
{
}

TavDarkLookAndFeel::~TavDarkLookAndFeel() = default;

void TavDarkLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool,
                                           bool shouldDrawButtonAsDown)
{
    if (!button.isEnabled())
        g.setOpacity (0.5f);

    const auto& image = button.getToggleState() || shouldDrawButtonAsDown ? toggleOnImage : toggleOffImage;
    g.drawImage (image, 0, 0, 24, 24, 0, 0, 24, 24);

    g.setFont (labelFont);
    g.setColour (juce::Colour (0x80000000));
    g.drawFittedText (button.getButtonText(), 0, 24, button.getWidth(), button.getHeight() - 24,
                      juce::Justification::centredTop, 10, 0.0f);
}
