// Draws every picture the application embeds and writes them as PNG files.
//
//     ImageMaker <output folder>
//
// The output is committed under resources/images and compiled into the program; run this again after
// changing a drawing. Everything is computed from fixed seeds, so the same source gives the same pixels.

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>

namespace
{
constexpr float pi = 3.14159265358979f;

//==============================================================================
// Colour arithmetic on straight (not premultiplied) RGBA floats in 0..1.

struct Rgba
{
    float r = 0, g = 0, b = 0, a = 0;
};

Rgba rgb (juce::uint32 argb, float alpha = 1.0f)
{
    return { (float) ((argb >> 16) & 0xff) / 255.0f, (float) ((argb >> 8) & 0xff) / 255.0f,
             (float) (argb & 0xff) / 255.0f, alpha };
}

Rgba grey (float level, float alpha = 1.0f)
{
    return { level, level, level, alpha };
}

Rgba mix (Rgba a, Rgba b, float t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t };
}

Rgba brighten (Rgba c, float amount)
{
    return { c.r + amount, c.g + amount, c.b + amount, c.a };
}

Rgba withAlpha (Rgba c, float alpha)
{
    c.a = alpha;
    return c;
}

// top over bottom
Rgba over (Rgba top, Rgba bottom)
{
    auto a = top.a + bottom.a * (1.0f - top.a);

    if (a <= 0.0f)
        return {};

    auto blend = [&] (float t, float b) { return (t * top.a + b * bottom.a * (1.0f - top.a)) / a; };
    return { blend (top.r, bottom.r), blend (top.g, bottom.g), blend (top.b, bottom.b), a };
}

float clamp01 (float x)
{
    return std::min (1.0f, std::max (0.0f, x));
}

float smoothstep (float edge0, float edge1, float x)
{
    auto t = clamp01 ((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

// 1 inside radius, 0 outside, over one pixel
float disc (float distance, float radius)
{
    return clamp01 (radius - distance + 0.5f);
}

float ring (float distance, float inner, float outer)
{
    return std::min (disc (distance, outer), 1.0f - disc (distance, inner));
}

//==============================================================================
// Noise

uint32_t hash (uint32_t a, uint32_t b, uint32_t seed)
{
    uint32_t h = seed * 0x9e3779b9u ^ (a * 0x85ebca6bu) ^ (b * 0xc2b2ae35u + 0x27d4eb2fu);
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

float random01 (uint32_t a, uint32_t b, uint32_t seed)
{
    return (float) (hash (a, b, seed) >> 8) / 16777216.0f;
}

// Smooth 1-D value noise along t for the line `line`, in -1..1.
float lineNoise (float t, uint32_t line, uint32_t seed)
{
    auto i = std::floor (t);
    auto f = t - i;
    auto k = (uint32_t) (int32_t) i;
    auto s = f * f * (3.0f - 2.0f * f);
    auto v = random01 (k, line, seed) + (random01 (k + 1, line, seed) - random01 (k, line, seed)) * s;
    return v * 2.0f - 1.0f;
}

// Brushed-metal grain: strong change from line to line, slow change along the line.
float brushed (float along, uint32_t line, uint32_t seed)
{
    return 0.55f * lineNoise (along / 70.0f, line, seed) + 0.30f * lineNoise (along / 17.0f, line, seed + 1)
           + 0.15f * (random01 ((uint32_t) (int32_t) along, line, seed + 2) * 2.0f - 1.0f);
}

//==============================================================================
// Pictures from per-pixel functions

using Shader = std::function<Rgba (float x, float y)>;

juce::Image render (int width, int height, const Shader& shader)
{
    juce::Image image (juce::Image::ARGB, width, height, true);

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            auto c = shader ((float) x + 0.5f, (float) y + 0.5f);
            image.setPixelAt (x, y,
                              juce::Colour::fromFloatRGBA (clamp01 (c.r), clamp01 (c.g), clamp01 (c.b), clamp01 (c.a)));
        }

    return image;
}

// Light brushed aluminium with horizontal grain, a little lighter at the top.
Rgba panelMetal (float x, float y, float height, uint32_t seed)
{
    auto band = 0.012f * lineNoise (y / 23.0f, 7, seed + 9);
    auto grain = 0.028f * brushed (x, (uint32_t) y, seed);
    auto level = 0.80f - 0.06f * (y / height) + band + grain;
    return { level - 0.004f, level, level + 0.012f, 1.0f };
}

// Turned metal on a disc: concentric grain and the cone-shaped sheen of a lathe finish.
Rgba turnedMetal (float dx, float dy, float radius, float baseLevel, uint32_t seed)
{
    auto distance = std::sqrt (dx * dx + dy * dy);
    auto angle = std::atan2 (dy, dx);
    auto grain = 0.030f * brushed (angle * distance + 400.0f, (uint32_t) (distance * 1.6f), seed);
    auto sheen = 0.07f * std::cos (2.0f * (angle + pi * 0.25f));
    auto light = -0.06f * (dy / radius) - 0.02f * (dx / radius); // lit from the top left
    auto level = baseLevel + grain + sheen + light;
    return { level - 0.005f, level, level + 0.010f, 1.0f };
}

//==============================================================================
// Round buttons: a turned-metal button sitting in a ring that is either dark or glowing blue.

struct ButtonStyle
{
    float ringInner, ringOuter, buttonRadius;
    bool lit;
    bool engraved; // a fine engraved circle on the button face
};

juce::Image roundButton (int size, ButtonStyle style, uint32_t seed)
{
    const float c = (float) size * 0.5f;

    return render (size, size,
                   [=] (float x, float y)
                   {
                       auto dx = x - c, dy = y - c;
                       auto d = std::sqrt (dx * dx + dy * dy);
                       Rgba out;

                       // The dark seat the ring and the button sit in, with a soft shadow around it.
                       auto seat = disc (d, style.ringOuter + 0.5f);
                       auto shadow = 0.35f * (1.0f - smoothstep (style.ringOuter, style.ringOuter + 3.5f, d - 1.0f));
                       out = over (grey (0.0f, shadow * (1.0f - seat)), out);
                       out = over (withAlpha (rgb (0x141619), seat), out);

                       // The ring.
                       auto ringCover = ring (d, style.ringInner, style.ringOuter);
                       auto across = clamp01 ((d - style.ringInner) / (style.ringOuter - style.ringInner));
                       Rgba ringColour;

                       if (style.lit)
                       {
                           auto core = 1.0f - std::abs (across - 0.45f) * 1.6f;
                           ringColour = mix (rgb (0x0b4fb8), rgb (0x5cc0ff), clamp01 (core));
                           ringColour = brighten (ringColour, 0.10f * std::pow (clamp01 (core), 6.0f));
                       }
                       else
                       {
                           ringColour =
                               mix (rgb (0x2c3035), rgb (0x3d4248), clamp01 (1.0f - std::abs (across - 0.5f) * 2.0f));
                       }

                       // light catches the ring's upper edge, its lower inner edge sits in shadow
                       ringColour = brighten (ringColour, -0.05f * (dy / style.ringOuter));
                       out = over (withAlpha (ringColour, ringCover), out);

                       // The lit ring glows over the seat and just past its edge.
                       if (style.lit)
                       {
                           auto glowOut = std::exp (-std::pow ((d - style.ringOuter) / 2.2f, 2.0f)) * 0.55f;
                           auto glowIn = std::exp (-std::pow ((d - style.ringInner) / 1.8f, 2.0f)) * 0.45f;
                           out = over (withAlpha (rgb (0x4aa8ff), glowOut * (d > style.ringOuter ? 1.0f : 0.0f)), out);
                           out = over (withAlpha (rgb (0x6cc4ff), glowIn * (d < style.ringInner ? 1.0f : 0.0f)), out);
                       }

                       // The button.
                       auto face = disc (d, style.buttonRadius);

                       if (face > 0.0f)
                       {
                           auto metal = turnedMetal (dx, dy, style.buttonRadius, 0.78f, seed);
                           auto edge = smoothstep (style.buttonRadius - 4.0f, style.buttonRadius, d);
                           metal = brighten (metal, edge * (-0.16f * (dy / style.buttonRadius) - 0.04f));

                           if (style.engraved)
                           {
                               auto groove = ring (d, style.buttonRadius * 0.58f, style.buttonRadius * 0.58f + 1.2f);
                               auto lip =
                                   ring (d, style.buttonRadius * 0.58f + 1.2f, style.buttonRadius * 0.58f + 2.2f);
                               metal = brighten (metal, -0.14f * groove + 0.06f * lip);
                           }

                           out = over (withAlpha (metal, face), out);
                       }

                       return out;
                   });
}

//==============================================================================
// Knobs

juce::Image largeKnob (uint32_t seed)
{
    const int size = 234;
    const float c = 117.0f, body = 99.0f, trackInner = 110.5f, trackOuter = 116.5f;

    return render (size, size,
                   [=] (float x, float y)
                   {
                       auto dx = x - c, dy = y - c;
                       auto d = std::sqrt (dx * dx + dy * dy);
                       Rgba out;

                       // The value track: a shallow groove around the knob that the blue arc fills.
                       auto track = ring (d, trackInner, trackOuter);
                       auto across = clamp01 ((d - trackInner) / (trackOuter - trackInner));
                       auto trackLevel = 0.60f + 0.10f * across - 0.03f * (dy / trackOuter);
                       out = over (grey (trackLevel, track), out);

                       // Soft drop shadow, a little below the knob.
                       auto sdx = dx, sdy = dy - 5.0f;
                       auto sd = std::sqrt (sdx * sdx + sdy * sdy);
                       auto shadow = 0.45f * (1.0f - smoothstep (body - 6.0f, body + 9.0f, sd));
                       out = over (grey (0.05f, shadow * (1.0f - track)), out);

                       // The face: light grey turned metal with a bevelled rim.
                       auto face = disc (d, body);

                       if (face > 0.0f)
                       {
                           auto metal = turnedMetal (dx, dy, body, 0.84f, seed);
                           auto rim = smoothstep (body - 7.0f, body - 1.0f, d);
                           metal = brighten (metal, rim * (-0.20f * (dy / body) - 0.05f));
                           auto crest = ring (d, body - 8.0f, body - 6.5f);
                           metal = brighten (metal, 0.05f * crest);
                           out = over (withAlpha (metal, face), out);
                       }

                       return out;
                   });
}

juce::Image smallKnob (uint32_t seed)
{
    const int size = 54;
    const float c = 27.0f, body = 21.0f, rimOuter = 24.5f;

    return render (size, size,
                   [=] (float x, float y)
                   {
                       auto dx = x - c, dy = y - c;
                       auto d = std::sqrt (dx * dx + dy * dy);
                       Rgba out;

                       auto shadow =
                           0.40f * (1.0f - smoothstep (rimOuter - 2.0f, rimOuter + 2.5f, std::hypot (dx, dy - 1.5f)));
                       out = over (grey (0.05f, shadow), out);
                       out = over (withAlpha (mix (rgb (0x22252a), rgb (0x3a3e44), clamp01 (0.5f - dy / rimOuter)),
                                              disc (d, rimOuter)),
                                   out);

                       auto face = disc (d, body);

                       if (face > 0.0f)
                       {
                           auto metal = turnedMetal (dx, dy, body, 0.83f, seed);
                           metal = brighten (metal, smoothstep (body - 3.0f, body, d) * (-0.15f * dy / body));
                           out = over (withAlpha (metal, face), out);
                       }

                       return out;
                   });
}

juce::Image sliderThumb()
{
    const int size = 22;
    const float c = 11.0f, radius = 9.0f;

    return render (
        size, size,
        [=] (float x, float y)
        {
            auto dx = x - c, dy = y - c;
            auto d = std::sqrt (dx * dx + dy * dy);
            Rgba out;

            out = over (
                grey (0.0f, 0.35f * (1.0f - smoothstep (radius - 1.0f, radius + 2.0f, std::hypot (dx, dy - 1.2f)))),
                out);
            out = over (withAlpha (rgb (0x4a4f55), disc (d, radius)), out);

            // a domed metal cap with its highlight towards the top left
            auto hx = dx + 2.8f, hy = dy + 3.2f;
            auto highlight = std::exp (-(hx * hx + hy * hy) / 14.0f);
            auto level = 0.62f + 0.16f * (1.0f - d / radius) - 0.10f * (dy / radius) + 0.30f * highlight;
            out = over (grey (level, disc (d, radius - 1.0f)), out);
            return out;
        });
}

//==============================================================================
// The processing panel and the pictures that must match it

constexpr int panelWidth = 780, panelHeight = 400;
constexpr float washCentreX = 388.0f, washCentreY = 130.0f; // the wash window: 290, 32, 196 x 196
constexpr float washHole = 96.0f; // the mask's clear circle

// A small cross-head screw.
Rgba screw (float dx, float dy)
{
    auto d = std::sqrt (dx * dx + dy * dy);
    Rgba out;
    out = over (grey (0.15f, 0.35f * (1.0f - smoothstep (4.0f, 6.5f, std::hypot (dx, dy - 0.8f)))), out);
    auto head = 0.70f - 0.12f * dy / 5.0f + 0.05f * std::cos (2.0f * std::atan2 (dy, dx));
    out = over (grey (head, disc (d, 5.0f)), out);
    auto slot = std::max (clamp01 (1.3f - std::abs (dx - dy) * 0.7071f), clamp01 (1.3f - std::abs (dx + dy) * 0.7071f));
    out = over (grey (0.28f, slot * disc (d, 3.6f)), out);
    return out;
}

Rgba roundedSlot (float x, float y, juce::Rectangle<float> area, float corner, float depth)
{
    auto qx = std::max (std::abs (x - area.getCentreX()) - (area.getWidth() * 0.5f - corner), 0.0f);
    auto qy = std::max (std::abs (y - area.getCentreY()) - (area.getHeight() * 0.5f - corner), 0.0f);
    auto d = std::sqrt (qx * qx + qy * qy) - corner; // < 0 inside
    auto inside = clamp01 (0.5f - d);
    auto lip = clamp01 (1.0f - std::abs (d - 0.8f)) * (y > area.getCentreY() ? 0.35f : 0.0f);
    Rgba out;
    out = over (grey (1.0f, lip), out);
    auto shade = 0.16f + 0.10f * clamp01 ((y - area.getY()) / area.getHeight());
    out = over (grey (shade, inside * depth), out);
    return out;
}

Rgba panelPixel (float x, float y, uint32_t seed)
{
    auto out = panelMetal (x, y, (float) panelHeight, seed);

    // The recess the wash window sits in: a bevelled hole, dark inside.
    auto dx = x - washCentreX, dy = y - washCentreY;
    auto d = std::sqrt (dx * dx + dy * dy);
    auto angleLight = -dy / std::max (d, 1.0f); // 1 at the top, -1 at the bottom

    if (d < 110.0f)
    {
        // outer lip catches the light at the top, inner wall is lit at the bottom
        auto lip = ring (d, 103.5f, 106.5f);
        out = brighten (out, lip * 0.07f * angleLight);
        auto wall = ring (d, washHole - 0.5f, 103.5f);
        auto across = clamp01 ((d - washHole) / 7.5f);
        auto wallLevel = 0.42f + 0.20f * (-angleLight) + 0.12f * across;
        out = over (grey (wallLevel, wall), out);
        out = over (rgb (0x08090b, disc (d, washHole)), out);
    }

    // A recessed slot behind the level meter (308, 320, 160 x 14).
    out = over (roundedSlot (x, y, { 305.0f, 317.0f, 166.0f, 20.0f }, 5.0f, 0.9f), out);

    // Screws in the corners.
    for (auto [sx, sy] : { std::pair { 12.0f, 12.0f }, { 768.0f, 12.0f }, { 12.0f, 388.0f }, { 768.0f, 388.0f } })
        if (std::abs (x - sx) < 8.0f && std::abs (y - sy) < 8.0f)
            out = over (screw (x - sx, y - sy), out);

    return out;
}

juce::Image panelBackground (uint32_t seed)
{
    return render (panelWidth, panelHeight, [=] (float x, float y) { return panelPixel (x, y, seed); });
}

juce::Image washMask (uint32_t seed)
{
    const float left = washCentreX - 98.0f, top = washCentreY - 98.0f;

    return render (196, 196,
                   [=] (float x, float y)
                   {
                       auto out = panelPixel (left + x, top + y, seed);
                       auto d = std::hypot (x - 98.0f, y - 98.0f);
                       out.a = 1.0f - disc (d, washHole);
                       return out;
                   });
}

//==============================================================================
// Word mark and logo

// The logo: a ring with a wave that runs smooth on the right (a cleaned signal).
void drawLogo (juce::Graphics& g, juce::Rectangle<float> area)
{
    auto r = area.getWidth() * 0.5f;
    auto centre = area.getCentre();

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff5cc0ff), centre.x, centre.y - r,
                                             juce::Colour (0xff0b4fb8), centre.x, centre.y + r, false));
    g.fillEllipse (area);
    g.setColour (juce::Colour (0xff1b2026));
    g.fillEllipse (area.reduced (r * 0.16f));

    juce::Path wave;
    auto inner = area.reduced (r * 0.32f);
    const int steps = 64;

    for (int i = 0; i <= steps; ++i)
    {
        auto t = (float) i / (float) steps;
        auto noise = 0.35f * std::sin (t * 37.0f) * std::sin (t * 11.0f + 1.0f);
        auto amplitude = (1.0f - smoothstep (0.35f, 0.75f, t));
        auto v = std::sin (t * 2.0f * pi * 1.5f) * 0.55f + noise * amplitude;
        auto px = inner.getX() + t * inner.getWidth();
        auto py = inner.getCentreY() - v * inner.getHeight() * 0.42f;

        if (i == 0)
            wave.startNewSubPath (px, py);
        else
            wave.lineTo (px, py);
    }

    g.setColour (juce::Colours::white);
    g.strokePath (wave, juce::PathStrokeType (std::max (1.2f, r * 0.09f), juce::PathStrokeType::curved,
                                              juce::PathStrokeType::rounded));
}

juce::Font wordFont (float height)
{
    auto names = juce::Font::findAllTypefaceNames();
    auto family = names.contains ("PT Sans") ? juce::String ("PT Sans") : juce::String ("DejaVu Sans");
    return juce::Font (family, height, juce::Font::bold);
}

// Logo and "Tavlin", engraved into metal: dark letters with a light edge below. The mark is height high,
// starts at left and is returned with its width.
float drawWordMark (juce::Graphics& g, float left, float top, float height)
{
    drawLogo (g, juce::Rectangle<float> (left, top, height, height).reduced (height * 0.06f));

    auto font = wordFont (height * 0.92f);
    font.setExtraKerningFactor (0.02f);
    g.setFont (font);

    auto textLeft = left + height * 1.18f;
    auto textWidth = font.getStringWidthFloat ("Tavlin") + 2.0f;
    auto text = juce::Rectangle<float> (textLeft, top, textWidth, height).toNearestInt();
    g.setColour (juce::Colours::white.withAlpha (0.55f));
    g.drawText ("Tavlin", text.translated (0, 1), juce::Justification::centredLeft, false);
    g.setColour (juce::Colour (0xff353a41));
    g.drawText ("Tavlin", text, juce::Justification::centredLeft, false);
    return textLeft + textWidth - left;
}

float wordMarkWidth (float height)
{
    juce::Image scratch (juce::Image::ARGB, 1, 1, true);
    juce::Graphics g (scratch);
    return drawWordMark (g, 0.0f, 0.0f, height);
}

juce::Image wordMark()
{
    juce::Image image (juce::Image::ARGB, 205, 50, true);
    juce::Graphics g (image);
    drawWordMark (g, 4.0f, 3.0f, 44.0f);
    return image;
}

juce::Image creditsBackground (uint32_t seed)
{
    auto image =
        render (panelWidth, panelHeight,
                [=] (float x, float y)
                {
                    auto out = panelMetal (x, y, (float) panelHeight, seed);

                    for (auto [sx, sy] :
                         { std::pair { 12.0f, 12.0f }, { 768.0f, 12.0f }, { 12.0f, 388.0f }, { 768.0f, 388.0f } })
                        if (std::abs (x - sx) < 8.0f && std::abs (y - sy) < 8.0f)
                            out = over (screw (x - sx, y - sy), out);

                    // an engraved rule under the title
                    if (y >= 150.0f && y < 152.0f && x > 150.0f && x < 630.0f)
                    {
                        auto fade = smoothstep (150.0f, 230.0f, x) * (1.0f - smoothstep (550.0f, 630.0f, x));
                        out = over (y < 151.0f ? grey (0.35f, 0.6f * fade) : grey (1.0f, 0.5f * fade), out);
                    }

                    return out;
                });

    juce::Graphics g (image);
    const float markHeight = 84.0f;
    drawWordMark (g, 390.0f - wordMarkWidth (markHeight) * 0.5f, 36.0f, markHeight);

    auto line = [&] (const char* utf8, float y, float height, juce::uint32 colour)
    {
        auto text = juce::String::fromUTF8 (utf8);
        g.setFont (wordFont (height).withStyle (juce::Font::plain));
        g.setColour (juce::Colours::white.withAlpha (0.5f));
        g.drawText (text, juce::Rectangle<float> (40.0f, y + 1.0f, 700.0f, height + 6.0f), juce::Justification::centred,
                    false);
        g.setColour (juce::Colour (colour));
        g.drawText (text, juce::Rectangle<float> (40.0f, y, 700.0f, height + 6.0f), juce::Justification::centred,
                    false);
    };

    line ("Sound restoration for audio and video", 122.0f, 17.0f, 0xff4a5058);
    line ("Noise reduction  \xc2\xb7  Click and crackle removal  \xc2\xb7  Hum and rumble removal", 178.0f, 15.0f,
          0xff4a5058);
    line ("Declipper  \xc2\xb7  Enhance  \xc2\xb7  Boost", 202.0f, 15.0f, 0xff4a5058);
    line ("Free software under the GNU General Public License, version 3 or later.", 256.0f, 13.0f, 0xff5c636b);
    return image;
}

//==============================================================================
// Transport bar glyphs (white on transparent)

juce::Image glyph (int width, int height, const std::function<void (juce::Graphics&)>& draw)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    juce::Graphics g (image);
    g.setColour (juce::Colours::white);
    draw (g);
    return image;
}

juce::Path roundedTriangle (juce::Point<float> a, juce::Point<float> b, juce::Point<float> c, float corner)
{
    juce::Path p;
    p.addTriangle (a, b, c);
    return p.createPathWithRoundedCorners (corner);
}

juce::Image playGlyph()
{
    return glyph (128, 128,
                  [] (juce::Graphics& g) {
                      g.fillPath (roundedTriangle ({ 40.0f, 26.0f }, { 40.0f, 102.0f }, { 104.0f, 64.0f }, 7.0f));
                  });
}

juce::Image pauseGlyph()
{
    return glyph (128, 128,
                  [] (juce::Graphics& g)
                  {
                      g.fillRoundedRectangle (34.0f, 28.0f, 22.0f, 72.0f, 5.0f);
                      g.fillRoundedRectangle (72.0f, 28.0f, 22.0f, 72.0f, 5.0f);
                  });
}

juce::Image forwardGlyph()
{
    return glyph (128, 128,
                  [] (juce::Graphics& g)
                  {
                      g.fillPath (roundedTriangle ({ 18.0f, 34.0f }, { 18.0f, 94.0f }, { 64.0f, 64.0f }, 5.0f));
                      g.fillPath (roundedTriangle ({ 62.0f, 34.0f }, { 62.0f, 94.0f }, { 108.0f, 64.0f }, 5.0f));
                  });
}

juce::Image rewindGlyph()
{
    return glyph (128, 128,
                  [] (juce::Graphics& g)
                  {
                      g.fillPath (roundedTriangle ({ 110.0f, 34.0f }, { 110.0f, 94.0f }, { 64.0f, 64.0f }, 5.0f));
                      g.fillPath (roundedTriangle ({ 66.0f, 34.0f }, { 66.0f, 94.0f }, { 20.0f, 64.0f }, 5.0f));
                  });
}

juce::Image powerGlyph()
{
    return glyph (96, 96,
                  [] (juce::Graphics& g)
                  {
                      juce::Path arc;
                      arc.addCentredArc (48.0f, 52.0f, 30.0f, 30.0f, 0.0f, 0.72f, 2.0f * pi - 0.72f, true);
                      g.strokePath (arc, juce::PathStrokeType (8.0f, juce::PathStrokeType::curved,
                                                               juce::PathStrokeType::rounded));
                      g.fillRoundedRectangle (44.0f, 10.0f, 8.0f, 40.0f, 4.0f);
                  });
}

juce::Image filmStripGlyph()
{
    return glyph (74, 95,
                  [] (juce::Graphics& g)
                  {
                      juce::Path strip;
                      strip.addRoundedRectangle (6.0f, 2.0f, 62.0f, 91.0f, 6.0f);

                      // sprocket holes down both edges and two picture frames, cut out of the strip
                      for (int i = 0; i < 6; ++i)
                      {
                          auto y = 8.0f + (float) i * 14.2f;
                          strip.addRoundedRectangle (11.0f, y, 7.0f, 8.0f, 1.5f);
                          strip.addRoundedRectangle (56.0f, y, 7.0f, 8.0f, 1.5f);
                      }

                      strip.addRoundedRectangle (23.0f, 9.0f, 28.0f, 35.0f, 2.5f);
                      strip.addRoundedRectangle (23.0f, 51.0f, 28.0f, 35.0f, 2.5f);
                      strip.setUsingNonZeroWinding (false);
                      g.fillPath (strip);
                  });
}

// The transport bar's toggles: a small ring, green and lit or grey; drawn in the top left 24 x 24.
juce::Image darkToggle (bool lit)
{
    return render (26, 26,
                   [=] (float x, float y)
                   {
                       auto d = std::hypot (x - 12.0f, y - 12.0f);
                       Rgba out;
                       out = over (withAlpha (rgb (0x1b1d20), disc (d, 10.5f)), out);
                       auto ringCover = ring (d, 6.8f, 10.0f);
                       auto core = 1.0f - std::abs (d - 8.4f) / 1.8f;
                       auto colour = lit ? mix (rgb (0x1d8a34), rgb (0x7dff8f), clamp01 (core))
                                         : mix (rgb (0x54595f), rgb (0x8a9096), clamp01 (core));
                       out = over (withAlpha (colour, ringCover), out);

                       if (lit)
                           out =
                               over (withAlpha (rgb (0x6dff84), 0.35f * std::exp (-std::pow ((d - 10.6f) / 1.2f, 2.0f))
                                                                    * (d > 10.0f ? 1.0f : 0.0f)),
                                     out);

                       out = over (withAlpha (rgb (0x2a2d31), disc (d, 6.3f)), out);
                       return out;
                   });
}

// The recorder's button: a dark square with a coloured dot, opaque.
juce::Image recordButton (juce::uint32 dotColour)
{
    return render (
        38, 38,
        [=] (float x, float y)
        {
            auto level = 0.13f + 0.05f * (1.0f - y / 38.0f);
            Rgba out = grey (level);

            if (x < 1.0f || y < 1.0f || x > 37.0f || y > 37.0f)
                out = grey (0.24f);

            auto d = std::hypot (x - 19.0f, y - 19.0f);
            out = over (grey (0.02f, 0.6f * (1.0f - smoothstep (9.0f, 12.0f, std::hypot (x - 19.0f, y - 19.8f)))), out);
            auto dot = rgb (dotColour);
            auto hx = x - 16.5f, hy = y - 15.5f;
            dot = brighten (dot, 0.35f * std::exp (-(hx * hx + hy * hy) / 10.0f) - 0.10f * ((y - 19.0f) / 9.0f));
            out = over (withAlpha (dot, disc (d, 9.0f)), out);
            out.a = 1.0f;
            return out;
        });
}

// Stands in for the desktop's share symbol: a tray with an arrow leaving it, dark grey.
juce::Image shareGlyph()
{
    juce::Image image (juce::Image::ARGB, 64, 64, true);
    juce::Graphics g (image);
    g.setColour (juce::Colour (0xff303336));
    juce::PathStrokeType stroke (4.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded);

    juce::Path tray;
    tray.startNewSubPath (22.0f, 26.0f);
    tray.lineTo (14.0f, 26.0f);
    tray.lineTo (14.0f, 56.0f);
    tray.lineTo (50.0f, 56.0f);
    tray.lineTo (50.0f, 26.0f);
    tray.lineTo (42.0f, 26.0f);
    g.strokePath (tray, stroke);

    juce::Path arrow;
    arrow.startNewSubPath (32.0f, 40.0f);
    arrow.lineTo (32.0f, 7.0f);
    arrow.startNewSubPath (22.0f, 17.0f);
    arrow.lineTo (32.0f, 7.0f);
    arrow.lineTo (42.0f, 17.0f);
    g.strokePath (arrow, stroke);
    return image;
}

//==============================================================================

bool write (const juce::File& folder, const juce::String& name, const juce::Image& image)
{
    auto file = folder.getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;

    if (!stream.openedOk() || !png.writeImageToStream (image, stream))
    {
        std::cerr << "cannot write " << file.getFullPathName() << "\n";
        return false;
    }

    std::cout << name << " " << image.getWidth() << " x " << image.getHeight() << "\n";
    return true;
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: ImageMaker <output folder>\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));

    if (!folder.createDirectory())
    {
        std::cerr << "cannot make " << folder.getFullPathName() << "\n";
        return 1;
    }

    const uint32_t panelSeed = 11, creditsSeed = 23;
    const ButtonStyle toggle { 51.0f, 63.5f, 47.0f, false, false };
    const ButtonStyle noiseReduction { 55.0f, 63.5f, 51.0f, false, true };

    auto lit = [] (ButtonStyle style)
    {
        style.lit = true;
        return style;
    };

    bool ok = true;
    ok &= write (folder, "toggle_on.png", roundButton (132, lit (toggle), 3));
    ok &= write (folder, "toggle_off.png", roundButton (132, toggle, 3));
    ok &= write (folder, "knob_large.png", largeKnob (5));
    ok &= write (folder, "knob_small.png", smallKnob (6));
    ok &= write (folder, "slider_thumb.png", sliderThumb());
    ok &= write (folder, "panel_background.png", panelBackground (panelSeed));
    ok &= write (folder, "wash_mask.png", washMask (panelSeed));
    ok &= write (folder, "noise_reduction_on.png", roundButton (132, lit (noiseReduction), 4));
    ok &= write (folder, "noise_reduction_off.png", roundButton (132, noiseReduction, 4));
    ok &= write (folder, "wordmark.png", wordMark());
    ok &= write (folder, "credits_background.png", creditsBackground (creditsSeed));
    ok &= write (folder, "play_glyph.png", playGlyph());
    ok &= write (folder, "pause_glyph.png", pauseGlyph());
    ok &= write (folder, "forward_glyph.png", forwardGlyph());
    ok &= write (folder, "rewind_glyph.png", rewindGlyph());
    ok &= write (folder, "power_symbol.png", powerGlyph());
    ok &= write (folder, "film_strip.png", filmStripGlyph());
    ok &= write (folder, "dark_toggle_on.png", darkToggle (true));
    ok &= write (folder, "dark_toggle_off.png", darkToggle (false));
    ok &= write (folder, "record_normal.png", recordButton (0xff2f7cf6));
    ok &= write (folder, "record_down.png", recordButton (0xffe23b3b));
    ok &= write (folder, "share_glyph.png", shareGlyph());
    return ok ? 0 : 1;
}
