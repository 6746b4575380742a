#pragma once

#include "SessionHost.h"

#include "media/MediaComposition.h"

#include <functional>

/** Writes the unprocessed sound of newly set-up media into a temporary file, which the waveform and the
    analysis read: AAC in an M4A file for media with a picture, else WAVE, through an export session without
    a tap. When the session fails the media file is decoded through the audio-format readers instead. The
    message loop runs while it waits, behind "Loading..." on the progress display. Message thread only.
*/
class SoundExtractor
{
public:
    static inline const juce::String videoEnding { "TempCleanAudio.m4a" };
    static inline const juce::String audioEnding { "TempCleanAudio.wav" };

    explicit SoundExtractor (SessionHost& host);
    ~SoundExtractor();

    /** How an extraction ended. */
    struct Outcome
    {
        enum class Status
        {
            extracted, ///< the sound stands in file
            failed, ///< nothing usable stands in file (see error)
            abandoned ///< the media went, or this extractor, while the sound was written; file is deleted
        };

        Status status = Status::failed;
        juce::File file;
        juce::String error;
    };

    /** Extracts the sound of composition. source is the media file, decoded when the session fails.
        writingTo hears of the file before anything is written to it; stillWanted is asked once the writing
        has ended, false meaning the media went meanwhile.
    */
    Outcome extract (const tavlin::media::MediaComposition& composition, const juce::File& source,
                     const std::function<void (const juce::File&)>& writingTo,
                     const std::function<bool()>& stillWanted);

private:
    SessionHost& host;

    JUCE_DECLARE_WEAK_REFERENCEABLE (SoundExtractor)
    JUCE_DECLARE_NON_COPYABLE (SoundExtractor)
};
