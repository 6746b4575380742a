#include "SerialWorkQueue.h"

namespace tavlin::media
{

SerialWorkQueue::SerialWorkQueue (const juce::String& name) : juce::Thread (name)
{
    startThread();
}

SerialWorkQueue::~SerialWorkQueue()
{
    waitUntilIdle();
    signalThreadShouldExit();
    jobAdded.signal();
    stopThread (-1);
}

void SerialWorkQueue::addJob (std::function<void()> job)
{
    {
        const juce::ScopedLock sl (lock);
        jobs.push_back (std::move (job));
        becameIdle.reset();
    }

    jobAdded.signal();
}

bool SerialWorkQueue::isIdle() const
{
    const juce::ScopedLock sl (lock);
    return jobs.empty() && !busy;
}

bool SerialWorkQueue::waitUntilIdle (int timeoutMs)
{
    if (juce::Thread::getCurrentThreadId() == getThreadId())
        return isIdle();

    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    while (!isIdle())
    {
        const int wait = timeoutMs < 0 ? 100 : (int) (deadline - juce::Time::getMillisecondCounter());

        if (timeoutMs >= 0 && (wait <= 0 || juce::Time::getMillisecondCounter() >= deadline))
            return isIdle();

        becameIdle.wait (juce::jmin (wait, 100));
    }

    return true;
}

void SerialWorkQueue::run()
{
    for (;;)
    {
        std::function<void()> job;

        {
            const juce::ScopedLock sl (lock);

            if (!jobs.empty())
            {
                job = std::move (jobs.front());
                jobs.pop_front();
                busy = true;
            }
            else
            {
                busy = false;
                becameIdle.signal();

                if (threadShouldExit())
                    return;
            }
        }

        if (job != nullptr)
        {
            job();

            const juce::ScopedLock sl (lock);
            busy = false;

            if (jobs.empty())
                becameIdle.signal();

            continue;
        }

        jobAdded.wait (100);
    }
}

} // namespace tavlin::media
