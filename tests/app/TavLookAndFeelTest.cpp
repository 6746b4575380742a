#include "TavLookAndFeel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
constexpr float pi = juce::MathConstants<float>::pi;

class TavLookAndFeelTest : public ::testing::Test
{
protected:
    juce::Image toggle (bool on, bool enabled)
    {
        juce::ToggleButton button ("LEARN");
        button.setBounds (0, 0, 42, 60);
        button.setToggleState (on, juce::dontSendNotification);
        button.setEnabled (enabled);

        juce::Image image (juce::Image::ARGB, 42, 60, true);
        juce::Graphics g (image);
        lookAndFeel.drawToggleButton (g, button, false, false);
        return image;
    }

    juce::Image knob (int size, float position)
    {
        juce::Slider slider (juce::Slider::RotaryVerticalDrag, juce::Slider::NoTextBox);
        juce::Image image (juce::Image::ARGB, size, size, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colour (0xff808080)); // a mid-grey panel under the knob
        lookAndFeel.drawRotarySlider (g, 0, 0, size, size, position, start, end, slider);
        return image;
    }

    juce::Image progress (double value, const juce::String& text)
    {
        double shown = value;
        juce::ProgressBar bar (shown);
        bar.setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xff000000));
        bar.setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xff0080f0));
        juce::Image image (juce::Image::ARGB, 196, 196, true);
        juce::Graphics g (image);
        lookAndFeel.drawProgressBar (g, bar, 196, 196, value, text);
        return image;
    }

    // A point at angle (clockwise from twelve o'clock) and radius from a centre.
    static juce::Colour at (const juce::Image& image, float centre, float angle, float radius)
    {
        return image.getPixelAt ((int) (centre + radius * std::sin (angle)),
                                 (int) (centre - radius * std::cos (angle)));
    }

    static int blueness (juce::Colour c) { return (int) c.getBlue() - (int) c.getRed(); }

    juce::ScopedJuceInitialiser_GUI juce;
    TavLookAndFeel lookAndFeel;
    const float start = 1.2f * pi, end = 2.8f * pi; // the framework's default rotary angles
};
} // namespace

TEST_F (TavLookAndFeelTest, TogglesShowTheLitOrDarkRingWithTheCaptionUnder)
{
    auto on = toggle (true, true), off = toggle (false, true), disabled = toggle (true, false);

    // The 132-pixel picture is drawn into 42 x 42; its ring lies 16 to 20 px from the centre.
    auto ringOn = on.getPixelAt (21, 3), ringOff = off.getPixelAt (21, 3);
    EXPECT_GT (blueness (ringOn), 60) << ringOn.toDisplayString (true);
    EXPECT_LT (juce::jmax (ringOff.getRed(), ringOff.getGreen(), ringOff.getBlue()), 90)
        << ringOff.toDisplayString (true);
    EXPECT_EQ (ringOff.getAlpha(), 255);

    // A disabled toggle's picture is half transparent...
    for (auto [x, y] : { std::pair { 21, 3 }, { 21, 21 }, { 8, 21 } })
        EXPECT_NEAR (disabled.getPixelAt (x, y).getAlpha(), on.getPixelAt (x, y).getAlpha() / 2, 2) << x << ", " << y;

    // ...while the caption under it, black at half opacity, stays as it is.
    int captionPixels = 0;

    for (int y = 42; y < 60; ++y)
        for (int x = 0; x < 42; ++x)
        {
            auto c = on.getPixelAt (x, y);
            ASSERT_EQ (c, disabled.getPixelAt (x, y)) << x << ", " << y;

            if (c.getAlpha() > 0)
            {
                ++captionPixels;
                EXPECT_LE (c.getAlpha(), 0x80);
                EXPECT_LT (c.getBrightness(), 0.05f);
            }
        }

    EXPECT_GT (captionPixels, 20);
}

TEST_F (TavLookAndFeelTest, LargeKnobDrawsItsValueArcAndEngravedPointer)
{
    auto empty = knob (234, 0.0f), half = knob (234, 0.5f);
    const float c = 117.0f;

    // The arc runs from the start angle to the value's angle (here twelve o'clock), 0.95 to 1 of the radius.
    EXPECT_GT (blueness (at (half, c, 1.5f * pi, 114.0f)) - blueness (at (empty, c, 1.5f * pi, 114.0f)), 30);
    EXPECT_EQ (at (half, c, 0.5f * pi, 114.0f), at (empty, c, 0.5f * pi, 114.0f)) << "nothing past the value";
    EXPECT_EQ (at (half, c, 1.5f * pi, 108.0f), at (empty, c, 1.5f * pi, 108.0f)) << "nothing inside the arc";

    // The pointer: a white dot 2.4 s from the centre turned by the angle + 0.85 (d = r - 35, s = 0.2 d), under
    // a grey copy at alpha 96 one pixel up and left, so that only its lower right rim shows white.
    const float d = 117.0f - 35.0f, s = 0.2f * d, turn = 2.0f * pi + 0.85f;
    const float dotX = c + (-2.4f * s) * std::cos (turn) - (-2.4f * s) * std::sin (turn);
    const float dotY = c + (-2.4f * s) * std::sin (turn) + (-2.4f * s) * std::cos (turn);
    const int grey = (int) (255.0f - 255.0f * (c - std::cos (2.0f * pi) * (c - d)) / 234.0f) & 0xff;
    const int covered = (int) std::lround (255.0 * (1.0 - 96.0 / 255.0) + grey * 96.0 / 255.0);

    auto centre = half.getPixelAt ((int) dotX, (int) dotY);
    EXPECT_NEAR (centre.getRed(), covered, 3) << centre.toDisplayString (true);
    EXPECT_NEAR (centre.getBlue(), covered, 3);

    // Brightest on the lower right rim, darkest on the upper left one.
    float lowerRight = 0.0f, upperLeft = 1.0f;

    for (int dy = -16; dy <= 16; ++dy)
        for (int dx = -16; dx <= 16; ++dx)
        {
            auto b = half.getPixelAt ((int) dotX + dx, (int) dotY + dy).getBrightness();

            if (dx + dy > 8)
                lowerRight = juce::jmax (lowerRight, b);
            else if (dx + dy < -8 && std::hypot ((float) dx, (float) dy) < 0.8f * s)
                upperLeft = juce::jmin (upperLeft, b);
        }

    EXPECT_GT (lowerRight, 0.97f);
    EXPECT_LT (upperLeft, (float) covered / 255.0f + 0.02f);
}

TEST_F (TavLookAndFeelTest, KnobHeightChoosesFaceArcAndPointer)
{
    struct Case
    {
        int size;
        float tintedRadius, plainRadius; // on the arc's side of the face, at nine o'clock
        bool whitePointer;
    };

    // Exactly 100 high: the large face and pointer distance, but the thin arc and the dark pointer.
    const Case cases[] = { { 100, 46.0f, 44.0f, false }, { 101, 49.0f, 46.0f, true }, { 54, 25.0f, 23.0f, false } };

    for (auto& k : cases)
    {
        SCOPED_TRACE (k.size);
        auto empty = knob (k.size, 0.0f), half = knob (k.size, 0.5f);
        auto c = (float) (k.size / 2);

        EXPECT_GT (blueness (at (half, c, 1.5f * pi, k.tintedRadius))
                       - blueness (at (empty, c, 1.5f * pi, k.tintedRadius)),
                   10);
        EXPECT_EQ (at (half, c, 1.5f * pi, k.plainRadius), at (empty, c, 1.5f * pi, k.plainRadius));

        // Compare the pointer's spot with the knob turned away from it.
        const float r = (float) (k.size / 2), d = k.size >= 100 ? r - 35.0f : r - 15.0f, s = 0.2f * d;
        const float turn = 2.0f * pi + 0.85f;
        auto x = (int) (c + (-2.4f * s) * std::cos (turn) - (-2.4f * s) * std::sin (turn));
        auto y = (int) (c + (-2.4f * s) * std::sin (turn) + (-2.4f * s) * std::cos (turn));
        auto withDot = half.getPixelAt (x, y), without = empty.getPixelAt (x, y);

        if (k.whitePointer)
            EXPECT_GT (withDot.getBrightness(), without.getBrightness() + 0.02f);
        else
            EXPECT_LT (withDot.getBrightness(), without.getBrightness() - 0.1f);
    }
}

TEST_F (TavLookAndFeelTest, ProgressRingFillsClockwiseFromTwelve)
{
    const float c = 98.0f;
    auto quarter = progress (0.25, {});
    auto blue = juce::Colour (0xff0080f0);

    EXPECT_EQ (at (quarter, c, 0.4f, 96.0f), blue);
    EXPECT_EQ (at (quarter, c, 1.4f, 96.0f), blue);
    EXPECT_EQ (at (quarter, c, 1.7f, 96.0f), juce::Colour (0xff000000)) << "past a quarter turn: the disc";
    EXPECT_EQ (at (quarter, c, 0.4f, 85.0f), juce::Colour (0xff000000)) << "inside 0.93 of the radius";
    EXPECT_EQ (quarter.getPixelAt (98, 98), juce::Colour (0xff000000));
    EXPECT_EQ (quarter.getPixelAt (2, 2).getAlpha(), 0);

    auto none = progress (0.0, {});
    EXPECT_EQ (at (none, c, 0.4f, 96.0f), juce::Colour (0xff000000)) << "0: the full disc and no ring";

    // -1 (the framework's "busy, no value") draws only the text, in grey, centred.
    auto indeterminate = progress (-1.0, "Saving...");
    EXPECT_EQ (at (indeterminate, c, 0.4f, 96.0f).getAlpha(), 0);
    EXPECT_EQ (indeterminate.getPixelAt (98, 40).getAlpha(), 0);

    int textPixels = 0;

    for (int y = 98 - 16; y < 98 + 16; ++y)
        for (int x = 0; x < 196; ++x)
            if (auto p = indeterminate.getPixelAt (x, y); p.getAlpha() > 200)
            {
                ++textPixels;
                EXPECT_NEAR (p.getRed(), 0x80, 2);
                EXPECT_EQ (p.getRed(), p.getBlue());
            }

    EXPECT_GT (textPixels, 20);
}

TEST_F (TavLookAndFeelTest, ThumbComboBoxAndMenuSeparator)
{
    juce::Slider slider;
    EXPECT_EQ (lookAndFeel.getSliderThumbRadius (slider), 12);

    {
        juce::Image image (juce::Image::ARGB, 180, 24, true);
        juce::Graphics g (image);
        lookAndFeel.drawLinearSliderThumb (g, 0, 1, 180, 24, 50.7f, 0.0f, 180.0f, juce::Slider::LinearHorizontal,
                                           slider);
        EXPECT_EQ (image.getPixelAt (50, 12).getAlpha(), 255) << "the thumb is centred on the position";
        EXPECT_EQ (image.getPixelAt (36, 12).getAlpha(), 0);
        EXPECT_EQ (image.getPixelAt (50, 0).getAlpha(), 0) << "its top is at y";
    }

    {
        juce::ComboBox box;
        box.setBounds (0, 0, 192, 24);
        juce::Image image (juce::Image::ARGB, 192, 24, true);
        juce::Graphics g (image);
        lookAndFeel.drawComboBox (g, 192, 24, false, 168, 0, 24, 24, box);

        auto fill = image.getPixelAt (60, 12);
        EXPECT_NEAR (fill.getAlpha(), 0x80, 1);
        EXPECT_NEAR (fill.getRed(), 0xd0, 2);
        EXPECT_GT (image.getPixelAt (0, 12).getAlpha(), fill.getAlpha()) << "outline";
        EXPECT_LT (image.getPixelAt (180, 6).getBrightness(), fill.getBrightness()) << "arrow";
    }

    {
        juce::Image image (juce::Image::ARGB, 100, 10, true);
        juce::Graphics g (image);
        lookAndFeel.drawPopupMenuItem (g, { 0, 0, 100, 10 }, true, true, false, false, false, {}, {}, nullptr, nullptr);
        EXPECT_NEAR (image.getPixelAt (50, 4).getAlpha(), 0x33, 1);
        EXPECT_LT (image.getPixelAt (50, 4).getBrightness(), 0.05f);
        EXPECT_NEAR (image.getPixelAt (50, 5).getAlpha(), 0x66, 1);
        EXPECT_GT (image.getPixelAt (50, 5).getBrightness(), 0.95f);
        EXPECT_EQ (image.getPixelAt (2, 4).getAlpha(), 0) << "5 px kept free on the left";
    }

    EXPECT_EQ (lookAndFeel.getSmallFont().getHeight(), 10.0f);
    EXPECT_EQ (lookAndFeel.getLargeFont().getHeight(), 12.0f);
    EXPECT_TRUE (lookAndFeel.getLargeFont().isBold());
    EXPECT_TRUE (juce::Font::findAllTypefaceNames().contains (lookAndFeel.getLargeFont().getTypefaceName()))
        << lookAndFeel.getLargeFont().getTypefaceName();
}
