#pragma once

#include "HttpFetcher.h"

#include <atomic>

namespace tavlin::desktop
{

/** HttpFetcher on the framework's web streams (libcurl): HTTPS, redirects, a cap on the body's size. */
class WebHttpFetcher : public HttpFetcher
{
public:
    /** Error domain of transport failures: no connection, cancelled, answer too large. */
    static constexpr const char* errorDomain = "NetworkErrorDomain";

    /** Bodies longer than this (in bytes) are refused rather than read into memory. */
    static constexpr juce::int64 maxBodyBytes = 4 * 1024 * 1024;

    HttpResponse get (const juce::URL& url, int timeoutMs) override;
    void cancel() override;

private:
    juce::CriticalSection lock;
    juce::WebInputStream* running = nullptr;
    std::atomic<bool> cancelled { false };
};

} // namespace tavlin::desktop
