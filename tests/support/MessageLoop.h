#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace tavlin::test
{

/** Runs the message loop until done() holds; false when it still does not after limitMs (in ms). The limit
    only stops a test that would otherwise hang: it is no statement about speed.
*/
inline bool runMessageLoopUntil (const std::function<bool()>& done, int limitMs = 30000)
{
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + limitMs;

    while (!done())
    {
        if (juce::Time::getMillisecondCounterHiRes() > deadline)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

/** Runs the message loop for about ms (in ms), so that queued messages and short timers are delivered. */
inline void runMessageLoopFor (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

} // namespace tavlin::test
