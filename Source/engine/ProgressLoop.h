#pragma once

#include "ProgressStep.h"

/** The progress of a pass that does its work on the message thread block by block: shows the display with
    its text for its lifetime, and whenever the share done has grown by more than 5 % since it was last
    reported, reports it and runs the message loop for 1 ms, so the display stays alive while the work goes
    on at full speed.
*/
class ProgressLoop
{
public:
    ProgressLoop (ProgressReporter& reporter, const juce::String& text);

    /** Before the block at position of total (samples, or any unit). */
    void update (juce::int64 position, juce::int64 total);

    /** The share grows by more than this before it is reported again. */
    static constexpr double reportStep = 0.05;

    /** How long the message loop runs at each report, in ms. */
    static constexpr int yieldMs = 1;

private:
    ProgressReporter& reporter;
    ProgressStep step;
    double last = 0.0;

    JUCE_DECLARE_NON_COPYABLE (ProgressLoop)
};
