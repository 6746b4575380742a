#pragma once

#include "AudioStreamFormat.h"
#include "MediaTime.h"
#include "TapBufferList.h"

#include <juce_core/juce_core.h>

#include <memory>

namespace tavlin::media
{

/**
    A hook through which a player or an exporter hands every block of a track's sound to client code.

    The client gives five callbacks: init (called by create, on the creating thread), prepare (before a
    rendering, with the largest frame count and the format), process (on the rendering thread, for each block),
    unprepare (after a rendering) and finalize (when the tap is destroyed). Inside process the client pulls the
    track's source audio with getSourceAudio. Holders keep the tap in a std::shared_ptr; a renderer holds one
    for as long as it renders, so the tap is never destroyed while a call is inside it.
*/
class AudioProcessingTap
{
public:
    using InitCallback = void (*) (AudioProcessingTap& tap, void* clientInfo, void** storageOut);
    using FinalizeCallback = void (*) (AudioProcessingTap& tap);
    using PrepareCallback = void (*) (AudioProcessingTap& tap, int64_t maxFrames, const AudioStreamFormat& format);
    using UnprepareCallback = void (*) (AudioProcessingTap& tap);
    using ProcessCallback = void (*) (AudioProcessingTap& tap, int64_t numberFrames, uint32_t flags,
                                      TapBufferList& bufferList, int64_t* numberFramesOut, uint32_t* flagsOut);

    struct Callbacks
    {
        int version = 0;
        void* clientInfo = nullptr;
        InitCallback init = nullptr;
        FinalizeCallback finalize = nullptr;
        PrepareCallback prepare = nullptr;
        UnprepareCallback unprepare = nullptr;
        ProcessCallback process = nullptr;
    };

    /** Where the tap sits: before or after the mix's own effects (we have none, so both see the track). */
    static constexpr uint32_t creationFlagPreEffects = 1;
    static constexpr uint32_t creationFlagPostEffects = 2;

    /** Process flag: the block starts the sound afresh (as at its start), so no earlier sound leads into it. */
    static constexpr uint32_t processFlagStartOfStream = 1;

    /** Where a renderer's source audio comes from while process runs. */
    class Source
    {
    public:
        virtual ~Source() = default;

        /** Fills the list's buffers with numberFrames frames; returns the frames of real sound obtained. */
        virtual int64_t pullAudio (TapBufferList& bufferList, int64_t numberFrames, MediaTimeRange& range) = 0;
    };

    /** Makes a tap and runs its init callback here; null when the callbacks are incomplete or of another version. */
    static std::unique_ptr<AudioProcessingTap> create (const Callbacks& callbacks, uint32_t flags);

    ~AudioProcessingTap();

    /** The storage that init handed back. */
    void* getStorage() const { return storage; }

    uint32_t getCreationFlags() const { return creationFlags; }

    /**
        Pulls the source audio for the block being processed into bufferList. Only valid inside process.
        Returns 0 on success, -1 when called outside a process call or with a list that does not fit.
    */
    int getSourceAudio (int64_t numberFrames, TapBufferList& bufferList, uint32_t* flagsOut,
                        MediaTimeRange* timeRangeOut, int64_t* numberFramesOut);

    // Renderer side -------------------------------------------------------------------------------------

    /** Prepares the tap for a rendering; an earlier preparation is undone first. */
    void prepare (int64_t maxFrames, const AudioStreamFormat& format);

    /** Ends a rendering; does nothing when the tap is not prepared. */
    void unprepare();

    bool isPrepared() const { return prepared; }
    const AudioStreamFormat& getPreparedFormat() const { return preparedFormat; }
    int64_t getMaxFrames() const { return maxFrames; }

    /**
        Runs the process callback for numberFrames frames (at most the prepared maximum) with source as the
        source audio and the given process flags; returns the frames the callback reported.
    */
    int64_t process (int64_t numberFrames, TapBufferList& bufferList, Source& source, uint32_t flags = 0);

private:
    AudioProcessingTap (const Callbacks& callbacks, uint32_t flags);

    Callbacks callbacks;
    uint32_t creationFlags = 0;
    void* storage = nullptr;
    bool prepared = false;
    AudioStreamFormat preparedFormat;
    int64_t maxFrames = 0;
    Source* currentSource = nullptr;
    int64_t currentFrames = 0;

    JUCE_DECLARE_NON_COPYABLE (AudioProcessingTap)
};

} // namespace tavlin::media
