#pragma once

#include "MediaTime.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>
#include <memory>

namespace tavlin::media
{

class MediaInput;

/**
    Decodes one audio stream to planar float at the stream's own sample rate and channel count.

    Sample 0 is the first sample the decoder presents (after any encoder priming the container says to
    skip); the length ends where the container says the sound ends, so padding of the last packet is never
    returned. seek() is exact to the sample.
*/
class AudioTrackDecoder
{
public:
    ~AudioTrackDecoder();

    /** Opens the stream of a file; streamIndex -1 takes the first audio stream. Null with a text on failure. */
    static std::unique_ptr<AudioTrackDecoder> open (const juce::File& file, int streamIndex, juce::String& error);

    /** As above, on an input already opened. */
    static std::unique_ptr<AudioTrackDecoder> open (std::unique_ptr<MediaInput> input, int streamIndex,
                                                    juce::String& error);

    int getNumChannels() const;
    double getSampleRate() const;
    int getBitsPerSample() const;
    int getStreamIndex() const;

    /** The number of samples per channel the stream holds. */
    int64_t getLengthInSamples() const;

    /** When sample 0 is presented on the file's own clock (the stream's timestamps, in seconds). */
    MediaTime getStartTime() const;

    /** The position of the next sample read() returns. */
    int64_t getPosition() const;

    /** Moves to a sample position (clamped to the length); false when the stream cannot be read there. */
    bool seek (int64_t samplePosition);

    /**
        Decodes up to the read position, so that the next read() starts at once: after a seek in a stream
        without exact timestamps this decodes from the start. Asks keepGoing before every frame and stops
        when it says no; false then, and a later call goes on from there.
    */
    bool catchUp (const std::function<bool()>& keepGoing);

    /**
        Reads up to numFrames samples per channel into planar float channels; extra destination channels get
        silence. Returns the frames written, fewer than asked only at the end of the stream or on an error.
    */
    int read (float* const* destination, int numDestinationChannels, int numFrames);

    /** The text of the last decoding error, empty when none. */
    const juce::String& getLastError() const;

private:
    struct Impl;

    AudioTrackDecoder();

    std::unique_ptr<Impl> impl;

    JUCE_DECLARE_NON_COPYABLE (AudioTrackDecoder)
};

} // namespace tavlin::media
