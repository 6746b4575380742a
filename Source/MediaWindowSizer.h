#pragma once

#include "CustomBoundsConstrainer.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** Sizes the media window to the media on show and gives it the resize rule that keeps the picture's aspect
    ratio (CustomBoundsConstrainer); the window gets its own rule back when the media goes.

    A picture keeps the window's width and takes its natural height, halved up to four times while the
    window would reach below 72 px above the bottom of its display's user area; sound alone makes the window
    214 px high, at an aspect ratio of 6.4 and at least 640 x 100 from then on. Message thread only.
*/
class MediaWindowSizer
{
public:
    MediaWindowSizer();

    /** Gives the window its own rule back. */
    ~MediaWindowSizer();

    /** Sizes window (null: none) for media with a picture of width x height pixels, or for sound alone. */
    void sizeFor (juce::ResizableWindow* window, bool hasPicture, int width, int height);

    /** The window that was sized gets its own resize rule back. */
    void restore();

    CustomBoundsConstrainer& getConstrainer() noexcept { return constrainer; }

    /** The window height for a picture of a natural height: halved up to four times while the window,
        whose top is at windowTop, would reach below limit.
    */
    static int videoWindowHeight (int naturalHeight, int windowTop, int limit);

private:
    CustomBoundsConstrainer constrainer;

    // The window's own resize rule, given back when the media goes.
    juce::Component::SafePointer<juce::ResizableWindow> constrainedWindow;
    juce::ComponentBoundsConstrainer* windowConstrainer = nullptr;

    JUCE_DECLARE_NON_COPYABLE (MediaWindowSizer)
};
