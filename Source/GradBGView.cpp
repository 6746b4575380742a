#include "GradBGView.h"

namespace
{
juce::Colour grey (int level)
{
    return juce::Colour ((juce::uint8) level, (juce::uint8) level, (juce::uint8) level);
}
} // namespace

GradBGView::GradBGView()
{
    setInterceptsMouseClicks (false, false);
}

void GradBGView::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();

    // Lighter at the top, darker at the bottom.
    juce::Path outer;
    outer.addRoundedRectangle (bounds, 5.0f);
    g.setGradientFill (juce::ColourGradient::vertical (grey (86), bounds.getY(), grey (20), bounds.getBottom()));
    g.fillPath (outer);

    // The inner band, from the top down, with a bright middle that falls off sharply.
    const auto innerBounds = bounds.reduced (0.0f, 2.0f);
    juce::Path inner;
    inner.addRoundedRectangle (innerBounds, 5.0f);
    juce::ColourGradient band =
        juce::ColourGradient::vertical (grey (30), innerBounds.getY(), grey (3), innerBounds.getBottom());
    band.addColour (0.5, grey (65));
    band.addColour (0.51, grey (30));
    g.setGradientFill (band);
    g.fillPath (inner);

    g.setColour (juce::Colours::black);
    g.strokePath (outer, juce::PathStrokeType (1.0f));
}
