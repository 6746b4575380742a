#include "ProcessorType.h"

#include <atomic>

namespace vesk
{

int computeProcessorType (const ProcessorKeyReader& readKey)
{
    int code = processorUnknown;

    if (auto altivec = readKey ("hw.optional.altivec"))
        code = *altivec == 1 ? processorAltiVec : processorUnknown;

    if (auto sse = readKey ("hw.optional.sse"))
        code = *sse == 1 ? processorSSE : processorUnknown;

    if (auto sse2 = readKey ("hw.optional.sse2"))
        code = *sse2 == 1 ? processorSSE2 : processorUnknown;

    if (auto native = readKey ("sysctl.proc_native"); native && *native == 0)
        code = processorAltiVec;

    return code == processorUnknown ? processorPlain : code;
}

int getProcessorType()
{
    static std::atomic<int> code { processorUnknown };

    if (auto known = code.load (std::memory_order_relaxed); known != processorUnknown)
        return known;

    auto probed = computeProcessorType (readProcessorKey);
    code.store (probed, std::memory_order_relaxed);
    return probed;
}

} // namespace vesk
