#include "VideoFrameDecoder.h"

#include "CodecPump.h"
#include "MediaInput.h"

#include <deque>

namespace tavlin::media
{

namespace
{
/** Copies a BGRA picture into a picture of the rotated size, turned clockwise by quarterTurns. */
void copyTurned (const uint8_t* source, int sourceStride, int w, int h, int quarterTurns, VideoPicture& target)
{
    if (quarterTurns == 0)
    {
        for (int y = 0; y < h; ++y)
            std::memcpy (target.getLinePointer (y), source + (size_t) y * (size_t) sourceStride, (size_t) w * 4);

        return;
    }

    // Walks the source in tiles, so both sides stay in the cache.
    constexpr int tile = 64;

    for (int ty = 0; ty < h; ty += tile)
        for (int tx = 0; tx < w; tx += tile)
            for (int y = ty; y < std::min (h, ty + tile); ++y)
            {
                const auto* row = reinterpret_cast<const uint32_t*> (source + (size_t) y * (size_t) sourceStride);

                for (int x = tx; x < std::min (w, tx + tile); ++x)
                {
                    int tx2 = x, ty2 = y;

                    if (quarterTurns == 1)
                        tx2 = h - 1 - y, ty2 = x;
                    else if (quarterTurns == 2)
                        tx2 = w - 1 - x, ty2 = h - 1 - y;
                    else
                        tx2 = y, ty2 = w - 1 - x;

                    std::memcpy (target.getLinePointer (ty2) + (size_t) tx2 * VideoPicture::bytesPerPixel, row + x, 4);
                }
            }
}
} // namespace

struct VideoFrameDecoder::Impl
{
    bool decode (AVFrame& into);
    bool convert (const AVFrame& source, VideoPicture& picture);
    bool fillAhead (size_t count);
    double secondsOf (const AVFrame& decoded) const;

    bool next (Frame& frame);
    bool seek (double seconds, const std::function<bool()>& shouldStop);
    bool skipTo (double seconds, const std::function<bool()>& shouldStop);
    bool peekNextSeconds (double& seconds);

    std::unique_ptr<MediaInput> input;
    AVStream* stream = nullptr;
    CodecContextPtr codec;
    std::unique_ptr<CodecPump> pump;
    ScalerPtr scaler;
    FramePtr scaled;
    std::function<VideoPicture (int, int)> pictureMaker;
    int quarterTurns = 0;
    std::deque<FramePtr> ahead; // decoded, not yet converted
};

VideoFrameDecoder::VideoFrameDecoder() : impl (std::make_unique<Impl>()) {}

VideoFrameDecoder::~VideoFrameDecoder() = default;

std::unique_ptr<VideoFrameDecoder> VideoFrameDecoder::open (const juce::File& file, int streamIndex,
                                                            juce::String& error, int rotationDegrees)
{
    std::unique_ptr<VideoFrameDecoder> d (new VideoFrameDecoder());
    auto& v = *d->impl;
    v.input = MediaInput::openFile (file, error);

    if (v.input == nullptr)
        return nullptr;

    v.stream = v.input->getStream (streamIndex < 0 ? v.input->findFirstStream (AVMEDIA_TYPE_VIDEO) : streamIndex);

    if (v.stream == nullptr || v.stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
    {
        error = "The file contains no picture.";
        return nullptr;
    }

    for (unsigned i = 0; i < v.input->getFormat()->nb_streams; ++i)
        v.input->getFormat()->streams[i]->discard = (int) i == v.stream->index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const auto* decoder = avcodec_find_decoder (v.stream->codecpar->codec_id);
    v.codec.reset (decoder != nullptr ? avcodec_alloc_context3 (decoder) : nullptr);
    v.pump = std::make_unique<CodecPump> (*v.input->getFormat(), v.stream->index);

    if (v.codec == nullptr || !v.pump->isValid()
        || avcodec_parameters_to_context (v.codec.get(), v.stream->codecpar) < 0)
    {
        error = "The picture cannot be decoded.";
        return nullptr;
    }

    v.codec->pkt_timebase = v.stream->time_base;
    v.codec->thread_count = 2;

    if (avcodec_open2 (v.codec.get(), decoder, nullptr) < 0 || v.codec->width <= 0 || v.codec->height <= 0)
    {
        error = "The picture cannot be decoded.";
        return nullptr;
    }

    v.quarterTurns = ((rotationDegrees / 90) % 4 + 4) % 4;
    return d;
}

bool VideoFrameDecoder::Impl::decode (AVFrame& into)
{
    return pump->receiveFrame (*codec, into) == 0;
}

bool VideoFrameDecoder::Impl::fillAhead (size_t count)
{
    while (ahead.size() < count)
    {
        FramePtr frame (av_frame_alloc());

        if (frame == nullptr || !decode (*frame))
            return false;

        ahead.push_back (std::move (frame));
    }

    return true;
}

double VideoFrameDecoder::Impl::secondsOf (const AVFrame& decoded) const
{
    const auto ts = decoded.best_effort_timestamp != AV_NOPTS_VALUE ? decoded.best_effort_timestamp : decoded.pts;
    return ts == AV_NOPTS_VALUE ? 0.0 : (double) ts * av_q2d (stream->time_base);
}

bool VideoFrameDecoder::Impl::convert (const AVFrame& source, VideoPicture& picture)
{
    const int w = source.width, h = source.height;

    if (w <= 0 || h <= 0)
        return false;

    scaler.reset (sws_getCachedContext (scaler.release(), w, h, (AVPixelFormat) source.format, w, h, AV_PIX_FMT_BGRA,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr));

    if (scaler == nullptr)
        return false;

    // The scaler writes whole blocks of pixels past the end of a row: it gets a frame padded and aligned by
    // the library's own allocator, and the picture only its pixels.
    if (scaled == nullptr || scaled->width != w || scaled->height != h)
    {
        scaled.reset (av_frame_alloc());

        if (scaled == nullptr)
            return false;

        scaled->format = AV_PIX_FMT_BGRA;
        scaled->width = w;
        scaled->height = h;

        if (av_frame_get_buffer (scaled.get(), 64) < 0)
        {
            scaled.reset();
            return false;
        }
    }

    if (sws_scale (scaler.get(), source.data, source.linesize, 0, h, scaled->data, scaled->linesize) != h)
        return false;

    const bool turned = quarterTurns % 2 != 0;
    const int pictureWidth = turned ? h : w, pictureHeight = turned ? w : h;
    picture = pictureMaker != nullptr ? pictureMaker (pictureWidth, pictureHeight) : VideoPicture();

    if (!picture.isValid() || picture.getWidth() != pictureWidth || picture.getHeight() != pictureHeight)
        picture = VideoPicture (pictureWidth, pictureHeight);

    copyTurned (scaled->data[0], scaled->linesize[0], w, h, quarterTurns, picture);
    return true;
}

bool VideoFrameDecoder::Impl::next (Frame& frame)
{
    if (!fillAhead (1))
        return false;

    FramePtr decoded = std::move (ahead.front());
    ahead.pop_front();
    frame.seconds = secondsOf (*decoded);
    return convert (*decoded, frame.picture);
}

bool VideoFrameDecoder::Impl::peekNextSeconds (double& seconds)
{
    if (!fillAhead (1))
        return false;

    seconds = secondsOf (*ahead.front());
    return true;
}

bool VideoFrameDecoder::Impl::skipTo (double seconds, const std::function<bool()>& shouldStop)
{
    while (fillAhead (2) && secondsOf (*ahead[1]) <= seconds + 1.0e-6)
    {
        ahead.pop_front();

        if (shouldStop != nullptr && shouldStop())
            return false;
    }

    return true;
}

bool VideoFrameDecoder::Impl::seek (double seconds, const std::function<bool()>& shouldStop)
{
    const auto ts = (int64_t) std::floor (seconds / av_q2d (stream->time_base));

    if (av_seek_frame (input->getFormat(), stream->index, ts, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame (input->getFormat(), stream->index, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return false;

    avcodec_flush_buffers (codec.get());
    pump->restart();
    ahead.clear();
    return skipTo (seconds, shouldStop) && fillAhead (1);
}

bool VideoFrameDecoder::next (Frame& frame)
{
    return impl->next (frame);
}

bool VideoFrameDecoder::seek (double seconds, const std::function<bool()>& shouldStop)
{
    return impl->seek (seconds, shouldStop);
}

bool VideoFrameDecoder::skipTo (double seconds, const std::function<bool()>& shouldStop)
{
    return impl->skipTo (seconds, shouldStop);
}

bool VideoFrameDecoder::peekNextSeconds (double& seconds)
{
    return impl->peekNextSeconds (seconds);
}

void VideoFrameDecoder::setPictureMaker (std::function<VideoPicture (int width, int height)> maker)
{
    impl->pictureMaker = std::move (maker);
}

int VideoFrameDecoder::getWidth() const
{
    return impl->quarterTurns % 2 != 0 ? impl->codec->height : impl->codec->width;
}
int VideoFrameDecoder::getHeight() const
{
    return impl->quarterTurns % 2 != 0 ? impl->codec->width : impl->codec->height;
}

} // namespace tavlin::media
