#include "VideoFrameDecoder.h"

namespace tavlin::media
{

VideoFrameDecoder::~VideoFrameDecoder() = default;

std::unique_ptr<VideoFrameDecoder> VideoFrameDecoder::open (const juce::File& file, int streamIndex,
                                                            juce::String& error)
{
    std::unique_ptr<VideoFrameDecoder> d (new VideoFrameDecoder());
    d->input = MediaInput::openFile (file, error);

    if (d->input == nullptr)
        return nullptr;

    d->stream = d->input->getStream (streamIndex < 0 ? d->input->findFirstStream (AVMEDIA_TYPE_VIDEO) : streamIndex);

    if (d->stream == nullptr || d->stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
    {
        error = "The file contains no picture.";
        return nullptr;
    }

    for (unsigned i = 0; i < d->input->getFormat()->nb_streams; ++i)
        d->input->getFormat()->streams[i]->discard = (int) i == d->stream->index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const auto* decoder = avcodec_find_decoder (d->stream->codecpar->codec_id);
    d->codec.reset (decoder != nullptr ? avcodec_alloc_context3 (decoder) : nullptr);
    d->packet.reset (av_packet_alloc());
    d->decoded.reset (av_frame_alloc());

    if (d->codec == nullptr || d->packet == nullptr || d->decoded == nullptr
        || avcodec_parameters_to_context (d->codec.get(), d->stream->codecpar) < 0)
    {
        error = "The picture cannot be decoded.";
        return nullptr;
    }

    d->codec->pkt_timebase = d->stream->time_base;
    d->codec->thread_count = 2;

    if (avcodec_open2 (d->codec.get(), decoder, nullptr) < 0 || d->codec->width <= 0 || d->codec->height <= 0)
    {
        error = "The picture cannot be decoded.";
        return nullptr;
    }

    return d;
}

bool VideoFrameDecoder::decode (AVFrame& into)
{
    for (;;)
    {
        int status = avcodec_receive_frame (codec.get(), &into);

        if (status == 0)
            return true;

        if (status != AVERROR (EAGAIN) || endOfInput)
            return false;

        status = av_read_frame (input->getFormat(), packet.get());

        if (status < 0)
        {
            endOfInput = true;
            avcodec_send_packet (codec.get(), nullptr);
            continue;
        }

        if (packet->stream_index == stream->index)
            avcodec_send_packet (codec.get(), packet.get());

        av_packet_unref (packet.get());
    }
}

bool VideoFrameDecoder::toImage (const AVFrame& source, Frame& frame)
{
    const int w = source.width, h = source.height;
    scaler.reset (sws_getCachedContext (scaler.release(), w, h, (AVPixelFormat) source.format, w, h, AV_PIX_FMT_BGRA,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr));

    if (scaler == nullptr)
        return false;

    frame.image = juce::Image (juce::Image::ARGB, w, h, false);
    juce::Image::BitmapData bitmap (frame.image, juce::Image::BitmapData::writeOnly);
    uint8_t* planes[4] = { bitmap.data, nullptr, nullptr, nullptr };
    int strides[4] = { bitmap.lineStride, 0, 0, 0 };
    sws_scale (scaler.get(), source.data, source.linesize, 0, h, planes, strides);

    const auto ts = source.best_effort_timestamp != AV_NOPTS_VALUE ? source.best_effort_timestamp : source.pts;
    frame.seconds = ts == AV_NOPTS_VALUE ? 0.0 : ts * av_q2d (stream->time_base);
    return true;
}

bool VideoFrameDecoder::next (Frame& frame)
{
    if (!held.empty())
    {
        frame = std::move (held.front());
        held.pop_front();
        return true;
    }

    if (!decode (*decoded))
        return false;

    const bool ok = toImage (*decoded, frame);
    av_frame_unref (decoded.get());
    return ok;
}

bool VideoFrameDecoder::seek (double seconds)
{
    const auto ts = (int64_t) std::floor (seconds / av_q2d (stream->time_base));

    if (av_seek_frame (input->getFormat(), stream->index, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;

    avcodec_flush_buffers (codec.get());
    endOfInput = false;
    held.clear();

    // Decode up to the frame showing at the time; keep it as the next one handed out.
    Frame current, candidate;
    bool haveCurrent = false;

    while (decode (*decoded))
    {
        const auto ts2 =
            decoded->best_effort_timestamp != AV_NOPTS_VALUE ? decoded->best_effort_timestamp : decoded->pts;
        const double at = ts2 == AV_NOPTS_VALUE ? 0.0 : ts2 * av_q2d (stream->time_base);

        if (haveCurrent && at > seconds + 1.0e-6)
        {
            // Past the time: the current frame is the one to show, and this one follows it.
            toImage (*decoded, candidate);
            av_frame_unref (decoded.get());
            held.push_back (std::move (current));
            held.push_back (std::move (candidate));
            return true;
        }

        toImage (*decoded, current);
        av_frame_unref (decoded.get());
        haveCurrent = true;
    }

    if (haveCurrent)
        held.push_back (std::move (current));

    return haveCurrent;
}

} // namespace tavlin::media
