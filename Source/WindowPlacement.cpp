#include "WindowPlacement.h"

juce::Rectangle<int> WindowPlacement::placeEditorWindow (juce::Rectangle<int> userArea, int width, int height)
{
    auto bounds = userArea.withSizeKeepingCentre (width, height);
    auto top = height + mediaWindowHeight > userArea.getHeight() ? userArea.getY() : editorTop;
    return bounds.withY (top);
}

juce::Rectangle<int> WindowPlacement::placeMediaWindow (juce::Rectangle<int> userArea,
                                                        juce::Rectangle<int> editorBounds)
{
    auto editorBottom = editorBounds.getBottom();
    auto height = mediaWindowHeight;

    // The test is against the user area's height, not its bottom: a user area that starts below a top
    // panel can so give a window taller than 490 that still ends at the user area's bottom.
    if (editorBottom + mediaWindowGap + mediaWindowHeight > userArea.getHeight())
        height = userArea.getBottom() - editorBottom - mediaWindowGap;

    height = juce::jmax (mediaWindowMinHeight, height);

    return userArea.withSizeKeepingCentre (mediaWindowWidth, height).withY (editorBottom + mediaWindowGap);
}
