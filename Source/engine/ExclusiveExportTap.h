#pragma once

#include "media/AudioProcessingTap.h"

#include <atomic>

/** Only one rendering drives the processor at a time: while an export renders through a tap of its own,
    that tap is the exclusive one, and every other tap's process callback hands its frames back without
    fetching or processing anything.

    An object of this class makes a tap the exclusive one for its lifetime. Made and destroyed on the
    message thread; get() is read on the render threads.
*/
class ExclusiveExportTap
{
public:
    explicit ExclusiveExportTap (const tavlin::media::AudioProcessingTap* tap) noexcept;

    /** Clears the designation, unless another tap was made exclusive since. */
    ~ExclusiveExportTap();

    /** The exclusive tap, or null while none is. */
    static const tavlin::media::AudioProcessingTap* get() noexcept;

private:
    const tavlin::media::AudioProcessingTap* tap;

    JUCE_DECLARE_NON_COPYABLE (ExclusiveExportTap)
};
