// Feeds arbitrary bytes to the update feed's reader, straight and as the fetcher hands a body on, and
// compares what it finds with the installed version and vets its download page, as the checker does.

#include "UpdateFeed.h"
#include "VersionComparator.h"

#include <cstdint>
#include <cstdlib>

namespace
{
void check (const UpdateFeed::Result& result)
{
    if (result.newest.has_value() == result.error.isNotEmpty())
        std::abort();

    if (result.newest.has_value())
    {
        (void) VersionComparator::isNewer (result.newest->version, "5.0.0");
        (void) result.newest->downloadPage.getDomain();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    check (UpdateFeed::parse (reinterpret_cast<const char*> (data), size));

    juce::MemoryOutputStream body;
    body.write (data, size);
    check (UpdateFeed::parse (body.toUTF8()));

    // Element and attribute names go into the framework's shared pool; let it forget this input's.
    juce::StringPool::getGlobalPool().garbageCollect();
    return 0;
}
