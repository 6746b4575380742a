#pragma once

#include "ProgressReporter.h"

/** Shows the progress display for its lifetime: from construction until it goes, however the step ends. */
class ProgressStep
{
public:
    ProgressStep (ProgressReporter& reporterToUse, const juce::String& text) : reporter (reporterToUse)
    {
        reporter.showProgress (text);
    }

    ~ProgressStep() { reporter.hideProgress(); }

private:
    ProgressReporter& reporter;

    JUCE_DECLARE_NON_COPYABLE (ProgressStep)
};
