#include "WebHttpFetcher.h"

namespace tavlin::desktop
{

namespace
{
RequestError transportError (int code, const juce::String& description)
{
    return { WebHttpFetcher::errorDomain, code, description };
}
} // namespace

HttpResponse WebHttpFetcher::get (const juce::URL& url, int timeoutMs)
{
    HttpResponse response;
    juce::WebInputStream stream (url, false);
    stream.withConnectionTimeout (timeoutMs);

    {
        const juce::ScopedLock sl (lock);

        if (cancelled)
        {
            response.error = transportError (2, "The request was cancelled.");
            return response;
        }

        running = &stream;
    }

    const juce::ScopeGuard forget { [this]
                                    {
                                        const juce::ScopedLock sl (lock);
                                        running = nullptr;
                                    } };

    const auto host = url.getDomain();

    if (!stream.connect (nullptr) || stream.isError())
    {
        response.error = cancelled ? transportError (2, "The request was cancelled.")
                                   : transportError (1, "Could not connect to " + host + ".");
        return response;
    }

    response.statusCode = stream.getStatusCode();

    if (stream.getTotalLength() > maxBodyBytes)
    {
        response.error = transportError (3, "The answer from " + host + " is too large.");
        return response;
    }

    juce::MemoryOutputStream body;
    char buffer[8192];

    while (!stream.isExhausted())
    {
        const auto numRead = stream.read (buffer, (int) sizeof (buffer));

        if (numRead <= 0)
            break;

        if (body.getDataSize() + (size_t) numRead > (size_t) maxBodyBytes)
        {
            response.error = transportError (3, "The answer from " + host + " is too large.");
            return response;
        }

        body.write (buffer, (size_t) numRead);
    }

    if (cancelled || stream.isError())
    {
        response.error = cancelled ? transportError (2, "The request was cancelled.")
                                   : transportError (1, "The connection to " + host + " was lost.");
        return response;
    }

    response.body = body.toUTF8();
    return response;
}

void WebHttpFetcher::cancel()
{
    const juce::ScopedLock sl (lock);
    cancelled = true;

    if (running != nullptr)
        running->cancel();
}

} // namespace tavlin::desktop
