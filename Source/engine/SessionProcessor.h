#pragma once

#include "SessionTap.h"

#include "media/MediaComposition.h"

#include <memory>

/** What the media session needs of the application's processor: the delay it adds, its change messages,
    and taps that feed a track's sound through it. The session holds the processor for its whole life.
    Message thread only.
*/
class SessionProcessor
{
public:
    virtual ~SessionProcessor() = default;

    /** The latency, in samples, that the processor will have once a tap has prepared it for sampleRate
        (Hz, above 0) and host blocks of hostBlockSize samples.
    */
    virtual int getLatencyFor (double sampleRate, int hostBlockSize) const = 0;

    /** Delivers the processor's pending change messages now rather than later: preparing it for playback or
        an export announces a change that is no change of the settings.
    */
    virtual void dispatchPendingMessages() = 0;

    /** A new tap bridge for an audio track. */
    virtual std::unique_ptr<SessionTap> makeTap (const tavlin::media::MediaComposition::Track& audioTrack) = 0;
};
