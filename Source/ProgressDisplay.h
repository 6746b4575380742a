#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class BusyDisplay;

/** The busy state shown while a long operation runs: the processing panel's progress ring over the wash
    window, with both windows ignoring mouse clicks. Busy means the ring is showing. Message thread only.
*/
class ProgressDisplay
{
public:
    /** Drives the busy display (the processing window's editor), blocks clicks on the two windows and keeps
        the value in progress. Any of them may be null (before start-up or after shutdown); what is there is
        driven.
    */
    ProgressDisplay (BusyDisplay* editor, juce::Component* editorWindow, juce::Component* mediaWindow,
                     double* progress);

    /** Shows the ring with text, blocks clicks, then runs the message loop for paintMs so it is painted. */
    void show (const juce::String& text, int paintMs = 100);

    /** Below 0.95 a hidden display is shown again (text kept, no message loop); then the value is stored
        and the media window repainted. At 0.95 or more a hidden display stays hidden.
    */
    void set (double value);

    /** Hides the ring and lets both windows take clicks again; value and text stay. */
    void hide();

    bool isBusy() const;

private:
    void blockClicks (bool block);

    BusyDisplay* editor;
    juce::Component* editorWindow;
    juce::Component* mediaWindow;
    double* progress;
};
