#pragma once

#include <juce_core/juce_core.h>

/** The busy display that the progress display drives: shown while a long operation runs, with a text in
    place of its percentage.
*/
class BusyDisplay
{
public:
    virtual ~BusyDisplay() = default;

    /** True while the display is shown. */
    virtual bool isBusy() const = 0;
    virtual void setBusy (bool busy) = 0;
    virtual void setBusyText (const juce::String& text) = 0;
};
