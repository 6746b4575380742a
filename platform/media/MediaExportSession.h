#pragma once

#include "AudioMix.h"
#include "MediaComposition.h"
#include "MediaFileType.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace tavlin::media
{

/**
    Writes an asset or a composition into a file on a worker thread.

    Presets: presetAppleM4A (the sound as AAC in an M4A file), presetAppleLosslessM4A (the sound as 24-bit
    ALAC in an M4A or CAF file) and presetPassthrough (the picture copied packet for packet and the sound copied
    when the file type can hold it unchanged, else encoded in the type's own way: AAC or ALAC for the MPEG-4
    family, ALAC for CAF, 16- or 24-bit PCM for WAV and AIFF). With an audio mix whose input parameters carry a
    tap, the sound runs through the tap offline, as fast as the machine allows.

    The completion runs on the worker thread once the status is final: 3 completed, 4 failed (with a text in
    getError) or 5 cancelled. A failed or cancelled export leaves nothing at the output file.
*/
class MediaExportSession
{
public:
    enum class Status
    {
        unknown = 0,
        waiting = 1,
        exporting = 2,
        completed = 3,
        failed = 4,
        cancelled = 5
    };

    static inline const juce::String presetAppleM4A { "AppleM4A" };
    static inline const juce::String presetAppleLosslessM4A { "AppleLosslessM4A" };
    static inline const juce::String presetPassthrough { "Passthrough" };

    /** Null when the preset is unknown or there is nothing to export. */
    static std::unique_ptr<MediaExportSession> create (const MediaComposition& composition, const juce::String& preset);
    static std::unique_ptr<MediaExportSession> create (const MediaAsset& asset, const juce::String& preset);

    ~MediaExportSession();

    void setOutputFile (const juce::File& file) { outputFile = file; }
    const juce::File& getOutputFile() const { return outputFile; }

    void setOutputFileType (MediaFileType type) { outputFileType = type; }
    MediaFileType getOutputFileType() const { return outputFileType; }

    void setAudioMix (std::shared_ptr<const AudioMix> mix) { audioMix = std::move (mix); }

    /**
        The delay of the tap's processing, in frames. The sound is rendered on past its end by as much, and as
        much of the tap's output is left out at the start, so the file holds the processed sound in step with
        the source and of its length: a copy of it needs no trimming, and no second encode.
    */
    void setTapLatency (int64_t frames) { tapLatency = std::max<int64_t> (0, frames); }

    /**
        Leaves out the silence that the composition holds before its sound starts: the file's sound begins
        with the source's first sample, getSoundStart() frames into the composition.
    */
    void setStartAtSound (bool shouldStartAtSound) { startAtSound = shouldStartAtSound; }

    /** Where the written sound begins on the composition's timeline, in frames at its rate; valid once
        completed.
    */
    int64_t getSoundStart() const { return soundStart.load(); }

    /** Starts the export; the completion runs on the worker thread. A second call does nothing. */
    void exportAsynchronously (std::function<void()> completion);

    void cancelExport() { cancelRequested = true; }

    /** Blocks until the export has finished (returns at once when it never started). */
    void waitUntilFinished();

    Status getStatus() const { return status.load(); }
    int getStatusNumber() const { return (int) status.load(); }

    /** 0 to 1. */
    float getProgress() const { return progress.load(); }

    juce::String getError() const;

private:
    MediaExportSession (const MediaComposition& composition, const juce::String& preset);

    void run();
    bool exportAll (juce::String& error);

    MediaComposition composition;
    juce::String preset;
    juce::File outputFile;
    MediaFileType outputFileType = MediaFileType::quickTimeMovie;
    std::shared_ptr<const AudioMix> audioMix;
    int64_t tapLatency = 0;
    bool startAtSound = false;
    std::atomic<int64_t> soundStart { 0 };

    std::atomic<Status> status { Status::unknown };
    std::atomic<float> progress { 0.0f };
    std::atomic<bool> cancelRequested { false };
    mutable std::mutex errorLock;
    juce::String error;
    std::function<void()> completion;
    std::thread worker;

    JUCE_DECLARE_NON_COPYABLE (MediaExportSession)
};

} // namespace tavlin::media
