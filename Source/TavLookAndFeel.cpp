#include "TavLookAndFeel.h"

#include "FontFallback.h"
#include "TavlinResources.h"

#include <cmath>

namespace
{
constexpr float fullTurn = 6.28f;
constexpr int toggleFace = 42; // toggle picture drawn into (0, 0, 42, 42)
constexpr int largeKnobMin = 100; // from this height the large knob face is used
const juce::Colour captionColour (0x80000000);

juce::Image loadImage (const char* data, int size)
{
    return juce::ImageFileFormat::loadFrom (data, (size_t) size);
}
} // namespace

TavLookAndFeel::TavLookAndFeel()
    : toggleOnImage (loadImage (TavlinResources::toggle_on_png, TavlinResources::toggle_on_pngSize)),
      toggleOffImage (loadImage (TavlinResources::toggle_off_png, TavlinResources::toggle_off_pngSize)),
      largeKnobImage (loadImage (TavlinResources::knob_large_png, TavlinResources::knob_large_pngSize)),
      smallKnobImage (loadImage (TavlinResources::knob_small_png, TavlinResources::knob_small_pngSize)),
      sliderThumbImage (loadImage (TavlinResources::slider_thumb_png, TavlinResources::slider_thumb_pngSize)),
      smallFont (FontFallback::make ("Trebuchet MS", 10.0f, juce::Font::bold)),
      largeFont (FontFallback::make ("Trebuchet MS", 12.0f, juce::Font::bold))
{
}

TavLookAndFeel::~TavLookAndFeel() = default;

void TavLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool buttonDown)
{
    if (!button.isEnabled())
        g.setOpacity (0.5f);

    auto& image = (button.getToggleState() || buttonDown) ? toggleOnImage : toggleOffImage;
    g.drawImage (image, 0, 0, toggleFace, toggleFace, 0, 0, image.getWidth(), image.getHeight());

    // Setting the colour ends the reduced opacity: a disabled toggle keeps its caption colour.
    g.setColour (captionColour);
    g.setFont (smallFont);
    g.drawFittedText (button.getButtonText(), 0, toggleFace, button.getWidth(), button.getHeight() - toggleFace,
                      juce::Justification::centredTop, 10, 0.0f);
}

void TavLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height, double progress,
                                      const juce::String& text)
{
    if (progress >= 0.0 && progress <= 1.0)
    {
        auto r = (float) juce::jmin (width / 2, height / 2);
        auto x = (float) width * 0.5f - r;
        auto y = (float) height * 0.5f - r;

        juce::Path disc;
        disc.addPieSegment (x, y, 2.0f * r, 2.0f * r, 0.0f, fullTurn, 0.0f);
        g.setColour (bar.findColour (juce::ProgressBar::backgroundColourId));
        g.fillPath (disc);

        juce::Path ring;
        ring.addPieSegment (x, y, 2.0f * r, 2.0f * r, 0.0f, (float) progress * fullTurn, 0.93f);
        g.setColour (bar.findColour (juce::ProgressBar::foregroundColourId));
        g.fillPath (ring);
    }

    if (text.isNotEmpty())
    {
        g.setColour (juce::Colour (0xff808080));
        g.setFont (largeFont);
        g.drawText (text, width / 2 - 100, height / 2 - 16, 200, 32, juce::Justification::centred, false);
    }
}

void TavLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator,
                                        bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                                        const juce::String& text, const juce::String& shortcutKeyText,
                                        const juce::Drawable* icon, const juce::Colour* textColourToUse)
{
    if (isSeparator)
    {
        auto r = area.reduced (5, 0);
        r.removeFromTop (r.getHeight() / 2 - 1);

        g.setColour (juce::Colour (0x33000000));
        g.fillRect (r.removeFromTop (1));
        g.setColour (juce::Colour (0x66ffffff));
        g.fillRect (r.removeFromTop (1));
        return;
    }

    auto textColour = textColourToUse != nullptr ? *textColourToUse : findColour (juce::PopupMenu::textColourId);
    auto r = area.reduced (1);

    if (isHighlighted)
    {
        g.setColour (findColour (juce::PopupMenu::highlightedBackgroundColourId));
        g.fillRect (r);
        g.setColour (findColour (juce::PopupMenu::highlightedTextColourId));
    }
    else
    {
        g.setColour (textColour);
    }

    if (!isActive)
        g.setOpacity (0.3f);

    auto font = largeFont;
    auto maxFontHeight = (float) area.getHeight() / 1.3f;

    if (font.getHeight() > maxFontHeight)
        font.setHeight (maxFontHeight);

    g.setFont (font);

    auto iconArea = r.removeFromLeft ((r.getHeight() * 5) / 4).reduced (3).toFloat();

    if (icon != nullptr)
    {
        icon->drawWithin (g, iconArea, juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize,
                          1.0f);
    }
    else if (isTicked)
    {
        auto tick = getTickShape (1.0f);
        g.fillPath (tick, tick.getTransformToScaleToFit (iconArea, true));
    }

    if (hasSubMenu)
    {
        auto arrowH = 0.6f * getPopupMenuFont().getAscent();
        auto x = (float) r.removeFromRight ((int) arrowH).getX();
        auto centreY = (float) r.getCentreY();

        juce::Path arrow;
        arrow.addTriangle (x, centreY - arrowH * 0.5f, x, centreY + arrowH * 0.5f, x + arrowH * 0.6f, centreY);
        g.fillPath (arrow);
    }

    r.removeFromRight (3);
    g.drawFittedText (text, r, juce::Justification::centredLeft, 1);

    if (shortcutKeyText.isNotEmpty())
    {
        auto shortcutFont = font;
        shortcutFont.setHeight (font.getHeight() * 0.75f);
        shortcutFont.setHorizontalScale (0.95f);
        g.setFont (shortcutFont);
        g.drawText (shortcutKeyText, r, juce::Justification::centredRight, true);
    }
}

void TavLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX,
                                   int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    g.fillAll (juce::Colour (0x80d0d0d0));

    if (box.isEnabled() && box.hasKeyboardFocus (false))
    {
        g.setColour (juce::Colour (0x80404040));
        g.drawRect (0, 0, width, height, 2);
    }
    else
    {
        g.setColour (juce::Colour (0x60404040));
        g.drawRect (0, 0, width, height, 1);
    }

    auto t = !box.isEnabled() ? 0.3f : (isButtonDown ? 1.2f : 0.5f);
    auto bx = (float) buttonX, by = (float) buttonY, bw = (float) buttonW, bh = (float) buttonH;

    drawGlassLozenge (g, bx + t, by + t, bw - 2.0f * t, bh - 2.0f * t, juce::Colour (0xff808080), t, -1.0f, true, true,
                      true, true);

    if (box.isEnabled())
    {
        juce::Path arrows;
        arrows.addTriangle (bx + 0.5f * bw, by + 0.25f * bh, bx + 0.7f * bw, by + 0.45f * bh, bx + 0.3f * bw,
                            by + 0.45f * bh);
        arrows.addTriangle (bx + 0.5f * bw, by + 0.75f * bh, bx + 0.7f * bw, by + 0.55f * bh, bx + 0.3f * bw,
                            by + 0.55f * bh);
        g.setColour (juce::Colour (0x80303030));
        g.fillPath (arrows);
    }
}

void TavLookAndFeel::drawLabel (juce::Graphics& g, juce::Label& label)
{
    g.fillAll (label.findColour (juce::Label::backgroundColourId));

    if (!label.isBeingEdited())
    {
        auto alpha = label.isEnabled() ? 1.0f : 0.5f;
        auto textArea = label.getBorderSize().subtractedFrom (label.getLocalBounds());
        auto lines = juce::jmax (1, (int) ((float) textArea.getHeight() / label.getFont().getHeight()));

        g.setColour (label.findColour (juce::Label::textColourId).withMultipliedAlpha (alpha));
        g.setFont (largeFont);
        g.drawFittedText (label.getText(), textArea, label.getJustificationType(), lines,
                          label.getMinimumHorizontalScale());

        g.setColour (label.findColour (juce::Label::outlineColourId).withMultipliedAlpha (alpha));
    }
    else if (label.isEnabled())
    {
        g.setColour (label.findColour (juce::Label::outlineColourId));
    }

    g.drawRect (label.getLocalBounds());
}

void TavLookAndFeel::drawLinearSliderThumb (juce::Graphics& g, int, int y, int, int, float sliderPos, float, float,
                                            const juce::Slider::SliderStyle, juce::Slider&)
{
    g.setColour (juce::Colours::white);
    g.drawImageAt (sliderThumbImage, (int) (sliderPos - 11.0f), y);
}

void TavLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                       float startAngle, float endAngle, juce::Slider&)
{
    const bool largeFace = height >= largeKnobMin;
    const bool tall = height >= largeKnobMin + 1;

    g.drawImageAt (largeFace ? largeKnobImage : smallKnobImage, 0, 0);

    auto r = (float) juce::jmin (width / 2, height / 2);
    auto centreX = (float) x + 0.5f * (float) width;
    auto centreY = (float) y + 0.5f * (float) height;
    auto angle = startAngle + sliderPos * (endAngle - startAngle);

    juce::Path arc;
    arc.addPieSegment (centreX - r, centreY - r, 2.0f * r, 2.0f * r, startAngle, angle, tall ? 0.95f : 0.90f);
    g.setColour (juce::Colour (0x401070d0));
    g.fillPath (arc);

    auto d = largeFace ? r - 35.0f : r - 15.0f;
    auto s = 0.2f * d;

    juce::Path dot;
    dot.addEllipse (-3.2f * s, -3.2f * s, 1.6f * s, 1.6f * s);

    g.setColour (tall ? juce::Colours::white : juce::Colour (0x50101010));
    g.fillPath (dot, juce::AffineTransform::rotation (angle + 0.85f).translated (centreX, centreY));

    if (tall)
    {
        // A darker copy one pixel up and left gives the dot its engraved rim; lighter where the dot faces down.
        auto level = (int) (255.0f - 255.0f * (centreY - std::cos (angle) * (centreY - d)) / (float) height);
        auto grey = (juce::uint8) (level & 0xff);
        g.setColour (juce::Colour (grey, grey, grey, (juce::uint8) 96));
        g.fillPath (dot, juce::AffineTransform::rotation (angle + 0.85f).translated (centreX - 1.0f, centreY - 1.0f));
    }
}

int TavLookAndFeel::getSliderThumbRadius (juce::Slider&)
{
    return 12;
}
