#pragma once

#include "SessionTap.h"

#include "media/AudioMix.h"
#include "media/MediaComposition.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>
#include <mutex>

class ProcessingChain;

/** Feeds one audio track of a player item or an export through the processing chain.

    It makes an audio processing tap for the track and an audio mix that carries it; the tap's callbacks hand
    every rendered buffer to the chain and the processed samples back, so the track's sound comes out
    delayed by the chain's latency. The chain is not owned; it outlives every bridge.

    The callbacks accept what they were prepared for: one non-interleaved 32-bit float buffer per channel,
    one or two channels. Anything else passes through unprocessed and is logged once per preparation. While
    another tap holds the export (ExclusiveExportTap), this tap hands back silence without touching the
    chain.
*/
class TavAudioTapProcessor : public SessionTap
{
public:
    /** The track must be an audio track; the chain must outlive the tap. */
    TavAudioTapProcessor (const tavlin::media::MediaComposition::Track& audioAssetTrack, ProcessingChain& chain);
    ~TavAudioTapProcessor() override;

    /** The mix carrying the tap, made on the first call; null (and nothing kept) when it cannot be made. */
    std::shared_ptr<const tavlin::media::AudioMix> audioMix() override;

    /** The tap, or null before the first successful audioMix call. */
    tavlin::media::AudioProcessingTap* getTap() const noexcept override { return audioProcessingTap.get(); }

    /** Primes the chain again and empties the tap's own buffers. Only while nothing renders. */
    void reset() override;

    const tavlin::media::MediaComposition::Track& audioAssetTrack() const noexcept { return track; }

    /** Held by every tap while it drives the processor, and by reset. A renderer may run ahead of the clock
        while playback is paused, so whoever drives or resets the processor outside a tap holds it too.
        Never call into a player while holding it.
    */
    static std::mutex& getProcessorLock();

    /** What the tap writes to the log. */
    static inline const juce::String unsupportedFormatIdMessage {
        "Unsupported audio format ID for audioProcessingTap. LinearPCM only."
    };
    static inline const juce::String unsupportedFormatFlagMessage {
        "Unsupported audio format flag for audioProcessingTap. Float only."
    };
    static inline const juce::String unsupportedLayoutMessage {
        "Unsupported channel layout for audioProcessingTap. One or two non-interleaved channels only."
    };
    static inline const juce::String unsupportedProcessingMessage { "Unsupported tap processing format." };
    static inline const juce::String sourceAudioMessage { "MTAudioProcessingTapGetSourceAudio: " };

private:
    struct TapContext;

    static void tapInit (tavlin::media::AudioProcessingTap& tap, void* clientInfo, void** storageOut);
    static void tapFinalize (tavlin::media::AudioProcessingTap& tap);
    static void tapPrepare (tavlin::media::AudioProcessingTap& tap, int64_t maxFrames,
                            const tavlin::media::AudioStreamFormat& format);
    static void tapUnprepare (tavlin::media::AudioProcessingTap& tap);
    /** Ends the two-thread set-up of an export the tap drove, if any. */
    static void endExport (TapContext* context);
    static void tapProcess (tavlin::media::AudioProcessingTap& tap, int64_t numberFrames, uint32_t flags,
                            tavlin::media::TapBufferList& bufferList, int64_t* numberFramesOut, uint32_t* flagsOut);

    tavlin::media::MediaComposition::Track track;
    ProcessingChain& chain;
    std::shared_ptr<tavlin::media::AudioProcessingTap> audioProcessingTap;
    std::shared_ptr<const tavlin::media::AudioMix> mix;

    JUCE_DECLARE_NON_COPYABLE (TavAudioTapProcessor)
};
