#include "ProgressLoop.h"

#include <juce_events/juce_events.h>

ProgressLoop::ProgressLoop (ProgressReporter& reporterToUse, const juce::String& text)
    : reporter (reporterToUse), step (reporterToUse, text)
{
}

void ProgressLoop::update (juce::int64 position, juce::int64 total)
{
    const double fraction = (double) position / (double) total;

    if (fraction - last > reportStep)
    {
        last = fraction;
        reporter.setProgress (fraction);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (yieldMs);
    }
}
