#include "BackgroundFetch.h"

namespace tavlin::desktop
{

BackgroundFetch::BackgroundFetch (std::unique_ptr<HttpFetcher> f) : fetcher (std::move (f))
{
    jassert (fetcher != nullptr);
}

BackgroundFetch::~BackgroundFetch()
{
    alive.reset();
    fetcher->cancel();

    if (worker.joinable())
        worker.join();
}

bool BackgroundFetch::start (const juce::URL& url, int timeoutMs, Callback onAnswer)
{
    JUCE_ASSERT_MESSAGE_THREAD

    bool expected = false;

    if (!running.compare_exchange_strong (expected, true))
        return false;

    // The previous request has handed over its answer, so its thread has finished or is about to.
    if (worker.joinable())
        worker.join();

    std::weak_ptr<bool> owner = alive;

    worker = std::thread (
        [this, url, timeoutMs, owner, onAnswer = std::move (onAnswer)]() mutable
        {
            juce::Thread::setCurrentThreadName ("Background Fetch");
            auto response = fetcher->get (url, timeoutMs);

            juce::MessageManager::callAsync (
                [this, owner, onAnswer = std::move (onAnswer), response = std::move (response)]
                {
                    if (owner.expired())
                        return;

                    running = false;
                    onAnswer (response);
                });
        });

    return true;
}

} // namespace tavlin::desktop
