#include "MediaProbe.h"

#include "MediaInput.h"

#include <cmath>

namespace tavlin::media
{

namespace
{
bool hasEncryption (const AVStream* stream)
{
    size_t size = 0;
    return av_stream_get_side_data (stream, AV_PKT_DATA_ENCRYPTION_INIT_INFO, &size) != nullptr
           || av_stream_get_side_data (stream, AV_PKT_DATA_ENCRYPTION_INFO, &size) != nullptr;
}

int rotationOf (const AVStream* stream)
{
    size_t size = 0;
    const auto* matrix =
        reinterpret_cast<const int32_t*> (av_stream_get_side_data (stream, AV_PKT_DATA_DISPLAYMATRIX, &size));

    if (matrix == nullptr || size < 9 * sizeof (int32_t))
        return 0;

    // av_display_rotation_get gives the counter-clockwise angle.
    const double angle = -av_display_rotation_get (matrix);

    if (!std::isfinite (angle))
        return 0;

    int degrees = (int) std::lround (angle / 90.0) * 90 % 360;
    return degrees < 0 ? degrees + 360 : degrees;
}

/** A timestamp of a stream as a time, exact when the stream counts in whole fractions of a second. */
MediaTime timeOf (int64_t timestamp, AVRational timeBase)
{
    if (timeBase.num == 1 && timeBase.den > 0)
        return MediaTime::make (timestamp, timeBase.den);

    return MediaTime::make (av_rescale_q (timestamp, timeBase, { 1, 1000000 }), 1000000);
}

/** Where a stream starts on the file's clock: its first presented timestamp, past any priming. */
bool startOf (const AVStream* stream, MediaTime& start)
{
    if (stream->start_time == AV_NOPTS_VALUE || stream->time_base.num <= 0 || stream->time_base.den <= 0)
        return false;

    start = timeOf (stream->start_time, stream->time_base);
    return true;
}

MediaTime durationOf (const AVStream* stream, const AVFormatContext* format)
{
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num > 0
        && stream->time_base.den > 0 && stream->time_base.num == 1)
        return MediaTime::make (stream->duration, stream->time_base.den);

    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return MediaTime::make (av_rescale_q (stream->duration, stream->time_base, { 1, 1000000 }), 1000000);

    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return MediaTime::make (format->duration, AV_TIME_BASE);

    return MediaTime::zero();
}
} // namespace

MediaProbe MediaProbe::probe (const juce::File& file)
{
    MediaProbe probe;
    juce::String error;
    auto input = MediaInput::openFile (file, error);

    if (input == nullptr)
    {
        probe.result = juce::Result::fail (error);
        return probe;
    }

    const auto* format = input->getFormat();
    int trackNumber = 0;

    for (unsigned i = 0; i < format->nb_streams; ++i)
    {
        const auto* stream = format->streams[i];
        const auto* par = stream->codecpar;
        const bool still = (stream->disposition & (AV_DISPOSITION_ATTACHED_PIC | AV_DISPOSITION_STILL_IMAGE)) != 0;

        if (par->codec_type != AVMEDIA_TYPE_AUDIO && (par->codec_type != AVMEDIA_TYPE_VIDEO || still))
            continue;

        MediaTrack track;
        track.mediaType = par->codec_type == AVMEDIA_TYPE_AUDIO ? MediaType::audio : MediaType::video;
        track.streamIndex = (int) i;
        track.trackID = ++trackNumber;
        track.codecName = avcodec_get_name (par->codec_id);
        track.duration = durationOf (stream, format);

        if (track.isAudio())
        {
            track.channels = par->ch_layout.nb_channels;
            track.sampleRate = par->sample_rate;
            track.bitsPerSample = par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : par->bits_per_coded_sample;

            if (track.channels <= 0 || track.sampleRate <= 0)
                continue; // a stream without a usable description is not a track we can offer
        }
        else
        {
            track.naturalWidth = par->width;
            track.naturalHeight = par->height;
            track.rotationDegrees = rotationOf (stream);
            const auto rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
            track.frameRate = rate.den > 0 ? av_q2d (rate) : 0.0;
        }

        if (avcodec_find_decoder (par->codec_id) != nullptr)
            probe.playable = true;

        if (hasEncryption (stream))
            probe.protectedContent = true;

        probe.tracks.add (track);
    }

    // The asset's timeline starts with its earliest track; each track keeps its place on it, so a file whose
    // streams start late (or one after the other) keeps its picture and sound in their relation.
    bool anyStart = false;
    MediaTime zero = MediaTime::zero();

    for (const auto& track : probe.tracks)
    {
        MediaTime start;

        if (startOf (format->streams[track.streamIndex], start) && (!anyStart || start.seconds() < zero.seconds()))
        {
            zero = start;
            anyStart = true;
        }
    }

    probe.duration = MediaTime::zero();

    for (auto& track : probe.tracks)
    {
        const auto* stream = format->streams[track.streamIndex];
        MediaTime start;
        track.clockZero = zero;

        if (startOf (stream, start))
        {
            const auto tb = stream->time_base;
            const auto zeroInStream = tb.num == 1 && tb.den > 0
                                          ? MediaTime::make (zero.toSamples ((double) tb.den), tb.den)
                                          : MediaTime::make (zero.toSamples (1000000.0), 1000000);
            track.startTime = MediaTime::make (start.value - zeroInStream.value, start.timescale);
        }

        const auto end = track.startTime.seconds() + track.duration.seconds();

        if (end > probe.duration.seconds())
            probe.duration = track.startTime.value == 0 ? track.duration : MediaTime::fromSeconds (end, 48000 * 25);
    }

    if (probe.duration.seconds() <= 0.0 && input->getDurationSeconds() > 0.0)
        probe.duration = MediaTime::make (format->duration, AV_TIME_BASE);

    probe.result = juce::Result::ok();
    return probe;
}

} // namespace tavlin::media
