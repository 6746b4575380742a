#pragma once

#include "media/AudioMix.h"
#include "media/AudioProcessingTap.h"

#include <memory>

/** A tap bridge: feeds one audio track of a player item or an export through the processor. The media
    session makes one for each opened media file and one for each export (SessionProcessor::makeTap).
*/
class SessionTap
{
public:
    virtual ~SessionTap() = default;

    /** The mix carrying the tap, made on the first call; null (and nothing kept) when it cannot be made. */
    virtual std::shared_ptr<const tavlin::media::AudioMix> audioMix() = 0;

    /** The tap, or null before the first successful audioMix call. */
    virtual tavlin::media::AudioProcessingTap* getTap() const noexcept = 0;

    /** Primes the processor again and empties the tap's own buffers. Only while nothing renders. */
    virtual void reset() = 0;
};
