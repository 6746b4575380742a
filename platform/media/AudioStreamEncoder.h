#pragma once

#include "FFmpegHandles.h"

#include <functional>

namespace tavlin::media
{

/**
    Encodes planar float sound into one stream of an output file. The packets' durations are trimmed so the
    stream ends exactly after the last sample given, and encoder priming is marked for the muxer to hide.
    Internal to the media layer.
*/
class AudioStreamEncoder
{
public:
    using PacketSink = std::function<int (AVPacket&)>;

    ~AudioStreamEncoder();

    /** Sets up an encoder for the stream; on failure returns null with a text. */
    static std::unique_ptr<AudioStreamEncoder> create (AVFormatContext& output, AVCodecID codecID, double sampleRate,
                                                       int channels, int bitsPerSample, juce::String& error);

    AVStream* getStream() const { return stream; }

    /** Encodes frames; the packets go to sink. False with a text on failure. */
    bool write (const float* const* channels, int numFrames, const PacketSink& sink, juce::String& error);

    /** Encodes what is left and drains the encoder. */
    bool finish (const PacketSink& sink, juce::String& error);

    int64_t getSamplesWritten() const { return samplesIn; }

private:
    AudioStreamEncoder() = default;
    bool encodeFrame (int numFrames, const PacketSink& sink, juce::String& error);
    bool drain (const PacketSink& sink, juce::String& error, bool flushing);

    AVStream* stream = nullptr;
    CodecContextPtr codec;
    ResamplerPtr converter;
    AudioFifoPtr fifo;
    FramePtr frame;
    PacketPtr packet;
    int frameSize = 4096;
    int numChannels = 0;
    int64_t samplesIn = 0;
    int64_t samplesSent = 0;
    juce::HeapBlock<float> staging;
    juce::HeapBlock<float*> stagingChannels;

    JUCE_DECLARE_NON_COPYABLE (AudioStreamEncoder)
};

} // namespace tavlin::media
