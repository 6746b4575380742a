#pragma once

#include "MediaInput.h"
#include "MediaTime.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>
#include <memory>

namespace tavlin::media
{

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

    int getNumChannels() const { return numChannels; }
    double getSampleRate() const { return sampleRate; }
    int getBitsPerSample() const { return bitsPerSample; }
    int getStreamIndex() const { return streamIndex; }

    /** The number of samples per channel the stream holds. */
    int64_t getLengthInSamples() const { return lengthInSamples; }

    /** When sample 0 is presented on the file's own clock (the stream's timestamps, in seconds). */
    MediaTime getStartTime() const;

    /** The position of the next sample read() returns. */
    int64_t getPosition() const { return position; }

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
    const juce::String& getLastError() const { return lastError; }

private:
    AudioTrackDecoder() = default;
    juce::Result initialise (std::unique_ptr<MediaInput> input, int streamIndex);
    juce::Result measureLength();

    /** Opens a new decoder for the stream in place of the current one; an FFmpeg status. */
    int openCodec();

    /** Decodes the next frame into the pending buffer; false at the end or on an error. */
    bool decodeNextFrame();
    bool seekContainer (int64_t samplePosition);
    int64_t framePosition (const AVFrame& frame) const;
    int64_t containerLength() const;

    std::unique_ptr<MediaInput> input;
    juce::File sourceFile; // when opened from a file
    AVStream* stream = nullptr;
    CodecContextPtr codec;
    ResamplerPtr converter;
    PacketPtr packet;
    FramePtr frame;

    int streamIndex = -1;
    int numChannels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    int64_t lengthInSamples = 0;
    bool timestampsSeekable = true;
    bool endOfInput = false;

    // Sample position of the first frame decoded from the start, in the stream's own count.
    int64_t origin = 0;
    bool originKnown = false;
    int64_t originTimestamp = AV_NOPTS_VALUE; // the first frame's own timestamp, in the stream's time base

    // Timestamp of the stream's first packet, which may lie before time 0 (encoder priming).
    int64_t firstPacketTime = AV_NOPTS_VALUE;

    juce::AudioBuffer<float> pending;
    int pendingStart = 0;
    int pendingLength = 0;
    int64_t pendingPosition = 0;
    int64_t position = 0;

    juce::String lastError;

    JUCE_DECLARE_NON_COPYABLE (AudioTrackDecoder)
};

} // namespace tavlin::media
