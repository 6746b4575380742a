#pragma once

#include "HttpFetcher.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace tavlin::desktop
{

/** Runs one GET at a time on a thread of its own and hands the answer to the message thread.

    start() and the answer's callback belong to the message thread. Destroying the object ends a request
    that is still waiting and drops its answer, so no callback runs after the destructor.
*/
class BackgroundFetch
{
public:
    using Callback = std::function<void (const HttpResponse&)>;

    explicit BackgroundFetch (std::unique_ptr<HttpFetcher> fetcher);
    ~BackgroundFetch();

    /** Starts the request unless one is running; then it does nothing and returns false. */
    bool start (const juce::URL& url, int timeoutMs, Callback onAnswer);

    /** True from a successful start() until just before its callback runs. */
    bool isRunning() const noexcept { return running.load(); }

private:
    std::unique_ptr<HttpFetcher> fetcher;
    std::atomic<bool> running { false };
    std::shared_ptr<bool> alive = std::make_shared<bool> (true);
    std::thread worker;

    JUCE_DECLARE_NON_COPYABLE (BackgroundFetch)
};

} // namespace tavlin::desktop
