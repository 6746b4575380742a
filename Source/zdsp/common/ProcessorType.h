#pragma once

#include <functional>
#include <optional>

namespace vesk
{

/** Processor codes of the capability probe. */
enum ProcessorCode
{
    processorUnknown = 0,
    processorPlain = 1,
    processorAltiVec = 2,
    processorSSE = 3,
    processorSSE2 = 4
};

/** Reads one capability key as an integer; no value means the key is unreadable. */
using ProcessorKeyReader = std::function<std::optional<int> (const char* key)>;

/** The code rule of the probe: each readable key overwrites the code, in the order
    "hw.optional.altivec", "hw.optional.sse", "hw.optional.sse2", then "sysctl.proc_native"
    (0 there means a translated process); a code still 0 becomes 1.
*/
int computeProcessorType (const ProcessorKeyReader& readKey);

/** The reader of this platform's capability keys (see the platform folder). */
std::optional<int> readProcessorKey (const char* key);

/** The processor code, probed once with readProcessorKey and kept for the life of the process. */
int getProcessorType();

} // namespace vesk
