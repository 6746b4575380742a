#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The media window's resize rule while media is loaded: the picture above the 114 px of controls keeps the
    media's aspect ratio.

    Dragging the bottom edge or the left edge sets the width and the height follows; any other drag sets the
    height and the width follows. The width never goes below 420. The inherited size limits and on-screen
    amounts are kept for the record but not consulted.
*/
class CustomBoundsConstrainer : public juce::ComponentBoundsConstrainer
{
public:
    /** Height of the transport controls under the picture, in pixels. */
    static constexpr int controlsHeight = 114;
    static constexpr int minimumWidth = 420;

    ~CustomBoundsConstrainer() override = default;

    void checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previousBounds,
                      const juce::Rectangle<int>& limits, bool isStretchingTop, bool isStretchingLeft,
                      bool isStretchingBottom, bool isStretchingRight) override;
};
