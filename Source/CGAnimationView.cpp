#include "CGAnimationView.h"

#include <algorithm>
#include <cmath>

CGAnimationView::CGAnimationView()
{
    setInterceptsMouseClicks (false, false);
    setVisible (false);
}

CGAnimationView::~CGAnimationView()
{
    stopTimer();
}

void CGAnimationView::setup (juce::Component* windowToUse, const juce::String& compositionName)
{
    loaded = false;
    window = windowToUse;
    loaded = compositionName == splashComposition;
}

void CGAnimationView::setLayerSize (juce::Rectangle<int> rect)
{
    if (loaded)
        setBounds (rect);
}

void CGAnimationView::setEnabled (bool shouldRun)
{
    if (!loaded)
        return;

    const auto starting = shouldRun && !running;
    running = shouldRun;
    setVisible (shouldRun);

    if (starting)
        phase = 0.0;

    if (shouldRun && phase < playSeconds)
        startTimerHz (framesPerSecond);
    else
        stopTimer();
}

void CGAnimationView::timerCallback()
{
    // Off the screen, nothing is drawn: the next paint, when the view shows again, resumes the play.
    if (!isShowing())
    {
        stopTimer();
        return;
    }

    phase = std::min (playSeconds, phase + 1.0 / framesPerSecond);

    if (phase >= playSeconds)
        stopTimer(); // the last frame stays

    repaint();
}

void CGAnimationView::resized()
{
    drawBackground();
}

void CGAnimationView::drawBackground()
{
    background = {};

    if (getWidth() <= 0 || getHeight() <= 0)
        return;

    background = juce::Image (juce::Image::RGB, getWidth(), getHeight(), false);
    juce::Graphics g (background);
    const auto area = getLocalBounds().toFloat();
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff10151d), area.getCentreX(), area.getCentreY(),
                                             juce::Colour (0xff000000), 0.0f, 0.0f, true));
    g.fillRect (area);
}

void CGAnimationView::paint (juce::Graphics& g)
{
    if (!loaded)
        return;

    // Painted again after being off the screen part-way through its play: move on from there.
    if (running && phase < playSeconds && !isTimerRunning())
        startTimerHz (framesPerSecond);

    const auto area = getLocalBounds().toFloat();
    const float w = area.getWidth(), h = area.getHeight();

    if (w <= 0.0f || h <= 0.0f)
        return;

    if (background.getWidth() != getWidth() || background.getHeight() != getHeight())
        drawBackground();

    g.drawImageAt (background, 0, 0);

    const float mid = area.getCentreY();
    const float amplitude = h * 0.18f;
    const auto blue = juce::Colour (0xff206ee2);

    // Three voices of one waveform; the noise on it fades out from left to right, a little later each cycle,
    // and is gone altogether by the end of the play.
    constexpr double fadeSeconds = 2.0;
    const auto fade = juce::jlimit (0.0, 1.0, (playSeconds - phase) / fadeSeconds);

    for (int layer = 0; layer < 3; ++layer)
    {
        juce::Path wave;
        const double offset = phase * (1.1 + 0.35 * layer);
        const float clean = (float) ((0.35 + 0.25 * std::sin (phase * 0.4)) * fade);

        for (float x = 0.0f; x <= w; x += 2.0f)
        {
            const float u = x / w;
            const float envelope = std::sin (juce::MathConstants<float>::pi * u);
            const float noiseShare = juce::jlimit (0.0f, 1.0f, (clean - u) * 3.0f);
            const auto k = (uint32_t) (x * 0.5f) + (uint32_t) (phase * 60.0) * 7u + (uint32_t) layer * 131u;
            const float noise = (float) ((k * 1103515245u + 12345u) >> 16 & 0xffu) / 127.5f - 1.0f;
            const double t = u * 6.0 * juce::MathConstants<double>::pi - offset * 2.0;
            const float y =
                mid - amplitude * envelope * ((float) std::sin (t) * (1.0f - 0.3f * layer) + noiseShare * noise * 0.6f);

            if (x == 0.0f)
                wave.startNewSubPath (x, y);
            else
                wave.lineTo (x, y);
        }

        g.setColour (blue.withAlpha (0.18f));
        g.strokePath (wave, juce::PathStrokeType (6.0f - 1.5f * layer, juce::PathStrokeType::curved));
        g.setColour (blue.brighter (0.4f * layer).withAlpha (0.75f - 0.2f * layer));
        g.strokePath (wave, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved));
    }
}
