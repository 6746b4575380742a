#pragma once

#include <juce_core/juce_core.h>

/** Where a long operation shows how far it has got: the application's progress display, which also keeps
    the windows from taking clicks while it shows. Message thread only.
*/
class ProgressReporter
{
public:
    virtual ~ProgressReporter() = default;

    /** Shows the display with text. */
    virtual void showProgress (const juce::String& text) = 0;

    /** The share done, 0..1. */
    virtual void setProgress (double value) = 0;

    virtual void hideProgress() = 0;
};
