#pragma once

#include <juce_core/juce_core.h>

#include <deque>
#include <functional>

namespace tavlin::media
{

/** A named worker thread that runs jobs one after another, in the order given, and can be waited for. */
class SerialWorkQueue : private juce::Thread
{
public:
    explicit SerialWorkQueue (const juce::String& name);

    /** Runs every job still queued, then stops. */
    ~SerialWorkQueue() override;

    void addJob (std::function<void()> job);

    /** Waits until every job given so far has run; false when the time ran out first (-1: no limit). */
    bool waitUntilIdle (int timeoutMs = -1);

    bool isIdle() const;

    using juce::Thread::getThreadName;

private:
    void run() override;

    mutable juce::CriticalSection lock;
    std::deque<std::function<void()>> jobs;
    bool busy = false;
    juce::WaitableEvent jobAdded, becameIdle { true };

    JUCE_DECLARE_NON_COPYABLE (SerialWorkQueue)
};

} // namespace tavlin::media
