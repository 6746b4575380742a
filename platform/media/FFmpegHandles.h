#pragma once

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <juce_core/juce_core.h>

#include <memory>

namespace tavlin::media
{

// FFmpeg for the media layer's sources and its internal headers only: no header the rest of the program
// includes may include this one.

/** Deleters that hand FFmpeg objects back to the library, so every one lives in a std::unique_ptr. */
struct FFmpegDeleter
{
    void operator() (AVFormatContext* context) const
    {
        if (context->iformat != nullptr)
            avformat_close_input (&context);
        else
            avformat_free_context (context);
    }

    void operator() (AVCodecContext* context) const { avcodec_free_context (&context); }
    void operator() (AVFrame* frame) const { av_frame_free (&frame); }
    void operator() (AVPacket* packet) const { av_packet_free (&packet); }
    void operator() (SwrContext* context) const { swr_free (&context); }
    void operator() (SwsContext* context) const { sws_freeContext (context); }
    void operator() (AVAudioFifo* fifo) const { av_audio_fifo_free (fifo); }
    void operator() (AVCodecParserContext* parser) const { av_parser_close (parser); }

    void operator() (AVIOContext* context) const
    {
        av_freep (&context->buffer);
        avio_context_free (&context);
    }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FFmpegDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, FFmpegDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FFmpegDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, FFmpegDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, FFmpegDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, FFmpegDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, FFmpegDeleter>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, FFmpegDeleter>;
using IOContextPtr = std::unique_ptr<AVIOContext, FFmpegDeleter>;

/** FFmpeg's text for an error code. */
inline juce::String ffmpegErrorText (int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror (code, text, sizeof (text));
    return juce::String (text);
}

/** Limits beyond which a header is refused rather than believed. */
struct MediaLimits
{
    static constexpr int maxChannels = 64;
    static constexpr int minSampleRate = 1000;
    static constexpr int maxSampleRate = 768000;
    static constexpr int maxVideoDimension = 16384;
    static constexpr double maxDurationSeconds = 60.0 * 60.0 * 24.0 * 7.0;
};

} // namespace tavlin::media
