#pragma once

#include "HttpResponse.h"

namespace tavlin::desktop
{

/** Fetches one address with a blocking GET. One request at a time; get() runs on a background thread. */
class HttpFetcher
{
public:
    virtual ~HttpFetcher() = default;

    /** Waits for the answer; gives up when the connection stalls for timeoutMs (in ms). */
    virtual HttpResponse get (const juce::URL& url, int timeoutMs) = 0;

    /** Ends a get() that is waiting, from any thread; later calls to get() fail at once. */
    virtual void cancel() {}
};

} // namespace tavlin::desktop
