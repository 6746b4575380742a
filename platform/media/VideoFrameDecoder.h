#pragma once

#include "MediaInput.h"

#include <juce_graphics/juce_graphics.h>

#include <deque>

namespace tavlin::media
{

/** Decodes one video stream into juce::Images (ARGB, the stream's natural size), in presentation order. */
class VideoFrameDecoder
{
public:
    struct Frame
    {
        juce::Image image;
        double seconds = 0.0; // presentation time on the source's own clock
    };

    ~VideoFrameDecoder();

    static std::unique_ptr<VideoFrameDecoder> open (const juce::File& file, int streamIndex, juce::String& error);

    /** Decodes the next frame; false at the end of the stream. */
    bool next (Frame& frame);

    /** Moves so that the next frame is the one showing at a time (the last one starting at or before it). */
    bool seek (double seconds);

    int getWidth() const { return codec->width; }
    int getHeight() const { return codec->height; }

private:
    VideoFrameDecoder() = default;
    bool decode (AVFrame& into);
    bool toImage (const AVFrame& decoded, Frame& frame);

    std::unique_ptr<MediaInput> input;
    AVStream* stream = nullptr;
    CodecContextPtr codec;
    ScalerPtr scaler;
    PacketPtr packet;
    FramePtr decoded;
    bool endOfInput = false;
    std::deque<Frame> held; // frames read ahead while seeking

    JUCE_DECLARE_NON_COPYABLE (VideoFrameDecoder)
};

} // namespace tavlin::media
