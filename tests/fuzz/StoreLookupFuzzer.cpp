// Feeds arbitrary bytes, as the fetcher hands a body on, to the rating prompt's reading of the store's
// answer, for a prompt that knows its store id and genre and for one that knows neither.

#include "RatePromptLookup.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    juce::MemoryOutputStream body;
    body.write (data, size);
    const tavlin::desktop::HttpResponse response { 200, body.toUTF8(), std::nullopt };

    RatePromptLookup::Request request;
    request.bundleID = "org.tavlin.Tavlin";
    request.installedVersion = "5.0.0";
    (void) RatePromptLookup::evaluate (request, response);

    request.ownStoreID = 4242;
    request.genreKnown = true;
    (void) RatePromptLookup::evaluate (request, response);

    // Member names go into the framework's shared pool; let it forget this input's.
    juce::StringPool::getGlobalPool().garbageCollect();
    return 0;
}
