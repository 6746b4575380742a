#include "TavlinResources.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

namespace
{
juce::Image load (const char* name)
{
    int size = 0;
    auto* data = TavlinResources::getNamedResource (name, size);
    return data != nullptr ? juce::ImageFileFormat::loadFrom (data, (size_t) size) : juce::Image();
}
} // namespace

TEST (EmbeddedImagesTest, EveryPictureIsThereAtItsSize)
{
    juce::ScopedJuceInitialiser_GUI juce;

    struct Picture
    {
        const char* name;
        int width, height;
        bool opaque;
    };

    const Picture pictures[] = {
        { "toggle_on_png", 132, 132, false },
        { "toggle_off_png", 132, 132, false },
        { "knob_large_png", 234, 234, false },
        { "knob_small_png", 54, 54, false },
        { "slider_thumb_png", 22, 22, false },
        { "panel_background_png", 780, 400, true },
        { "wash_mask_png", 196, 196, false },
        { "noise_reduction_on_png", 132, 132, false },
        { "noise_reduction_off_png", 132, 132, false },
        { "wordmark_png", 205, 50, false },
        { "credits_background_png", 780, 400, true },
        { "play_glyph_png", 128, 128, false },
        { "pause_glyph_png", 128, 128, false },
        { "forward_glyph_png", 128, 128, false },
        { "rewind_glyph_png", 128, 128, false },
        { "power_symbol_png", 96, 96, false },
        { "film_strip_png", 74, 95, false },
        { "dark_toggle_on_png", 26, 26, false },
        { "dark_toggle_off_png", 26, 26, false },
        { "record_normal_png", 38, 38, true },
        { "record_down_png", 38, 38, true },
        { "share_glyph_png", 64, 64, false },
    };

    for (auto& picture : pictures)
    {
        SCOPED_TRACE (picture.name);
        auto image = load (picture.name);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), picture.width);
        EXPECT_EQ (image.getHeight(), picture.height);

        int transparent = 0;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                transparent += image.getPixelAt (x, y).getAlpha() < 255 ? 1 : 0;

        if (picture.opaque)
            EXPECT_EQ (transparent, 0);
        else
            EXPECT_GT (transparent, 0) << "round pictures and glyphs keep the panel visible around them";
    }
}

TEST (EmbeddedImagesTest, WashMaskIsAHoleInThePanelOverTheWashWindow)
{
    juce::ScopedJuceInitialiser_GUI juce;
    auto panel = load ("panel_background_png");
    auto mask = load ("wash_mask_png");
    const int left = 290, top = 32; // the wash window's bounds on the panel

    for (int y = 0; y < 196; ++y)
        for (int x = 0; x < 196; ++x)
        {
            auto d = std::hypot ((float) x + 0.5f - 98.0f, (float) y + 0.5f - 98.0f);
            auto alpha = mask.getPixelAt (x, y).getAlpha();

            if (d < 95.0f)
            {
                ASSERT_EQ (alpha, 0) << x << ", " << y;
            }
            else if (d > 97.0f)
            {
                ASSERT_EQ (mask.getPixelAt (x, y), panel.getPixelAt (left + x, top + y))
                    << "outside the circle the mask repeats the panel, at " << x << ", " << y;
            }
        }

    // the panel is dark inside the recess, metal outside it
    EXPECT_LT (panel.getPixelAt (388, 130).getBrightness(), 0.1f);
    EXPECT_GT (panel.getPixelAt (388, 20).getBrightness(), 0.6f);
}
