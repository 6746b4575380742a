#include "MediaMeasure.h"

#include "media/MediaInput.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

namespace tavlin::test
{

namespace
{
bool decodeStream (tavlin::media::MediaInput& input, int index,
                   const std::function<void (const AVFrame&, const AVStream&)>& onFrame)
{
    auto* stream = input.getStream (index);
    const auto* decoder = avcodec_find_decoder (stream->codecpar->codec_id);

    if (decoder == nullptr)
        return false;

    tavlin::media::CodecContextPtr codec (avcodec_alloc_context3 (decoder));
    avcodec_parameters_to_context (codec.get(), stream->codecpar);
    codec->pkt_timebase = stream->time_base;

    if (avcodec_open2 (codec.get(), decoder, nullptr) < 0)
        return false;

    for (unsigned i = 0; i < input.getFormat()->nb_streams; ++i)
        input.getFormat()->streams[i]->discard = (int) i == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    tavlin::media::PacketPtr packet (av_packet_alloc());
    tavlin::media::FramePtr frame (av_frame_alloc());
    bool draining = false;

    while (!draining)
    {
        if (av_read_frame (input.getFormat(), packet.get()) < 0)
        {
            draining = true;
            avcodec_send_packet (codec.get(), nullptr);
        }
        else
        {
            if (packet->stream_index == index)
                avcodec_send_packet (codec.get(), packet.get());

            av_packet_unref (packet.get());
        }

        while (avcodec_receive_frame (codec.get(), frame.get()) == 0)
        {
            onFrame (*frame, *stream);
            av_frame_unref (frame.get());
        }
    }

    return true;
}

/** A frame's presentation time in seconds; NaN when the frame carries none. */
double frameSeconds (const AVFrame& frame, const AVStream& stream)
{
    const auto ts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
    return ts == AV_NOPTS_VALUE ? std::numeric_limits<double>::quiet_NaN() : (double) ts * av_q2d (stream.time_base);
}

/**
    The length of a QuickTime or MPEG-4 track's edits that show media, in the movie's timescale over that
    timescale; 0/0 when the file has none. Read from the file's boxes: FFmpeg's demuxer states a track with
    an empty edit as long as its media plus the empty edit, so it cannot say where such a track ends.
*/
std::pair<int64_t, int64_t> editedLength (const juce::File& file, int trackIndex)
{
    juce::MemoryBlock data;

    if (!file.loadFileAsData (data))
        return { 0, 0 };

    const auto* b = static_cast<const uint8_t*> (data.getData());
    const auto u32 = [b] (size_t at)
    { return ((uint32_t) b[at] << 24) | ((uint32_t) b[at + 1] << 16) | ((uint32_t) b[at + 2] << 8) | b[at + 3]; };
    const auto u64 = [&] (size_t at) { return ((uint64_t) u32 (at) << 32) | u32 (at + 4); };

    // Children of [from, to) of a type; a box with a 64-bit size is only skipped over.
    const auto children = [&] (size_t from, size_t to, const char* type)
    {
        std::vector<std::pair<size_t, size_t>> found;

        while (from + 8 <= to)
        {
            auto size = (uint64_t) u32 (from);
            auto body = from + 8;

            if (size == 1)
            {
                size = u64 (from + 8);
                body += 8;
            }
            else if (size == 0)
                size = to - from;

            if (size < 8 || from + size > to)
                break;

            if (std::memcmp (b + from + 4, type, 4) == 0)
                found.push_back ({ body, from + size });

            from += size;
        }

        return found;
    };

    const auto moov = children (0, data.getSize(), "moov");

    if (moov.empty())
        return { 0, 0 };

    const auto mvhd = children (moov[0].first, moov[0].second, "mvhd");
    const auto traks = children (moov[0].first, moov[0].second, "trak");

    if (mvhd.empty() || trackIndex >= (int) traks.size())
        return { 0, 0 };

    const auto timescale = (int64_t) u32 (mvhd[0].first + (b[mvhd[0].first] == 1 ? 20 : 12));
    const auto edts = children (traks[(size_t) trackIndex].first, traks[(size_t) trackIndex].second, "edts");
    const auto elst = edts.empty() ? decltype (edts)() : children (edts[0].first, edts[0].second, "elst");

    if (elst.empty())
        return { 0, 0 };

    const bool wide = b[elst[0].first] == 1;
    const auto count = u32 (elst[0].first + 4);
    int64_t shown = 0;

    for (size_t i = 0, p = elst[0].first + 8; i < count && p + (wide ? 20 : 12) <= elst[0].second;
         ++i, p += wide ? 20 : 12)
    {
        const auto duration = wide ? (int64_t) u64 (p) : (int64_t) u32 (p);
        const auto mediaTime = wide ? (int64_t) u64 (p + 8) : (int64_t) (int32_t) u32 (p + 4);

        if (mediaTime != -1)
            shown += duration;
    }

    return { shown, timescale };
}

/** How many samples of a stream are played: containers with an exact length end the sound there (the
    decoders return the last packet whole); the MPEG streams' stated lengths are only estimates.
*/
size_t playedLength (size_t decoded, const juce::File& file, const AVFormatContext& format, const AVStream& stream)
{
    const juce::String name (format.iformat->name);

    if (name == "mpeg" || name == "mpegts" || stream.duration == AV_NOPTS_VALUE || stream.duration <= 0)
        return decoded;

    auto stated = av_rescale_q (stream.duration, stream.time_base, { 1, stream.codecpar->sample_rate });

    if (name.contains ("mov"))
        if (const auto edits = editedLength (file, stream.index); edits.second > 0)
            stated = std::min (
                stated, av_rescale_q (edits.first, { 1, (int) edits.second }, { 1, stream.codecpar->sample_rate }));

    return std::min (decoded, (size_t) std::max<int64_t> (0, stated));
}
} // namespace

std::vector<std::pair<juce::String, int64_t>> packetsOf (const juce::File& file, StreamKind kind)
{
    juce::String error;
    auto input = tavlin::media::MediaInput::openFile (file, error);
    std::vector<std::pair<juce::String, int64_t>> packets;

    if (input == nullptr)
        return packets;

    const int index = input->findFirstStream (kind == StreamKind::audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO);

    if (index < 0)
        return packets;

    const auto* stream = input->getStream (index);
    tavlin::media::PacketPtr packet (av_packet_alloc());
    int64_t first = AV_NOPTS_VALUE;

    while (av_read_frame (input->getFormat(), packet.get()) >= 0)
    {
        if (packet->stream_index == index)
        {
            if (first == AV_NOPTS_VALUE)
                first = packet->pts;

            // A packet without a timestamp (MPEG program streams have them) keeps AV_NOPTS_VALUE.
            const auto micros = packet->pts == AV_NOPTS_VALUE
                                    ? AV_NOPTS_VALUE
                                    : av_rescale_q (packet->pts - first, stream->time_base, { 1, 1000000 });
            packets.push_back ({ juce::MemoryBlock (packet->data, (size_t) packet->size).toBase64Encoding(), micros });
        }

        av_packet_unref (packet.get());
    }

    return packets;
}

bool streamStartTimes (const juce::File& file, std::vector<double>& starts, juce::String& error)
{
    auto input = tavlin::media::MediaInput::openFile (file, error);
    starts.clear();

    if (input == nullptr)
        return false;

    for (unsigned i = 0; i < input->getFormat()->nb_streams; ++i)
    {
        const auto* stream = input->getFormat()->streams[i];
        starts.push_back (stream->start_time == AV_NOPTS_VALUE ? std::numeric_limits<double>::quiet_NaN()
                                                               : stream->start_time * av_q2d (stream->time_base));
    }

    return true;
}

DecodedTimeline decodeTimeline (const juce::File& file)
{
    DecodedTimeline result;
    juce::String error;

    if (auto input = tavlin::media::MediaInput::openFile (file, error))
    {
        const int index = input->findFirstStream (AVMEDIA_TYPE_VIDEO);

        if (index >= 0)
            decodeStream (*input, index,
                          [&] (const AVFrame& frame, const AVStream& stream)
                          {
                              // A last picture without a time follows the one before at the same step.
                              auto t = frameSeconds (frame, stream);
                              const auto n = result.frameTimes.size();

                              if (std::isnan (t) && n >= 2)
                                  t = 2.0 * result.frameTimes[n - 1] - result.frameTimes[n - 2];

                              result.frameTimes.push_back (t);
                              int64_t sum = 0;

                              for (int y = 0; y < frame.height; ++y)
                                  for (int x = 0; x < frame.width; ++x)
                                      sum += frame.data[0][y * frame.linesize[0] + x];

                              if (result.flashTime < 0.0 && sum > (int64_t) frame.width * frame.height * 128)
                                  result.flashTime = t;
                          });
    }
    else
    {
        ADD_FAILURE() << error;
    }

    if (auto input = tavlin::media::MediaInput::openFile (file, error))
    {
        const int index = input->findFirstStream (AVMEDIA_TYPE_AUDIO);
        tavlin::media::ResamplerPtr converter;

        if (index >= 0)
            decodeStream (
                *input, index,
                [&] (const AVFrame& frame, const AVStream& stream)
                {
                    if (result.sampleRate == 0.0)
                    {
                        result.sampleRate = frame.sample_rate;
                        result.channels = frame.ch_layout.nb_channels;
                        result.audioStart = frameSeconds (frame, stream);
                        SwrContext* created = nullptr;
                        AVChannelLayout layout {};
                        av_channel_layout_copy (&layout, &frame.ch_layout);
                        swr_alloc_set_opts2 (&created, &layout, AV_SAMPLE_FMT_FLTP, frame.sample_rate, &layout,
                                             (AVSampleFormat) frame.format, frame.sample_rate, 0, nullptr);
                        av_channel_layout_uninit (&layout);
                        converter.reset (created);
                        swr_init (converter.get());
                    }

                    std::vector<std::vector<float>> planes ((size_t) frame.ch_layout.nb_channels,
                                                            std::vector<float> ((size_t) frame.nb_samples));
                    std::vector<uint8_t*> out;
                    out.reserve (planes.size());

                    for (auto& p : planes)
                        out.push_back ((uint8_t*) p.data());

                    const int n = swr_convert (converter.get(), out.data(), frame.nb_samples,
                                               (const uint8_t**) frame.extended_data, frame.nb_samples);
                    result.sound.insert (result.sound.end(), planes[0].begin(), planes[0].begin() + std::max (0, n));
                });

        if (index >= 0)
            result.sound.resize (
                playedLength (result.sound.size(), file, *input->getFormat(), *input->getStream (index)));
    }

    return result;
}

} // namespace tavlin::test
