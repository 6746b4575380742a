#include "ProcessorType.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
    #include <cpuid.h>
#endif

namespace vesk
{

// Answers the SSE keys from cpuid; the AltiVec and translation keys have no meaning here.
std::optional<int> readProcessorKey ([[maybe_unused]] const char* key)
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;

    if (__get_cpuid (1, &eax, &ebx, &ecx, &edx) != 0)
    {
        if (std::strcmp (key, "hw.optional.sse") == 0)
            return (edx & bit_SSE) != 0 ? 1 : 0;

        if (std::strcmp (key, "hw.optional.sse2") == 0)
            return (edx & bit_SSE2) != 0 ? 1 : 0;
    }
#endif

    return std::nullopt;
}

} // namespace vesk
