#pragma once

#include <juce_graphics/juce_graphics.h>

/** Where the processing window and the media window go on the main display, as pure functions of the
    display's user area (the screen less panels and docks), in screen pixels.
*/
class WindowPlacement
{
public:
    static constexpr int editorTop = 64; ///< the processing window's top on a tall enough screen
    static constexpr int mediaWindowWidth = 780;
    static constexpr int mediaWindowHeight = 490;
    static constexpr int mediaWindowMinHeight = 280; ///< the media window's smallest height
    static constexpr int mediaWindowGap = 32; ///< between the processing window and the media window

    /** Centred in the user area at the given size, its top at 64, or at the user area's top when the window
        and a full-height media window (height + 490) do not fit the user area's height.
    */
    static juce::Rectangle<int> placeEditorWindow (juce::Rectangle<int> userArea, int width, int height);

    /** 780 wide, centred in the user area, its top 32 px below the processing window. 490 high, or, when
        editorBottom + 522 exceeds the user area's height, shortened to end at the user area's bottom; never
        lower than 280, however low the screen.
    */
    static juce::Rectangle<int> placeMediaWindow (juce::Rectangle<int> userArea, juce::Rectangle<int> editorBounds);
};
