#include "MediaFileWriter.h"

#include "MovieEditList.h"

extern "C"
{
#include <libavutil/intreadwrite.h>
}

#include "desktop/FileNameBytes.h"

#include <limits>
#include <numeric>

#include <unistd.h>

namespace tavlin::media
{

MediaFileWriter::~MediaFileWriter()
{
    if (!finished)
        discard();
}

void MediaFileWriter::discard()
{
    if (format != nullptr && opened)
        avio_closep (&format->pb);

    opened = false;
    partial.reset();
}

std::unique_ptr<MediaFileWriter> MediaFileWriter::create (const juce::File& destination, MediaFileType type,
                                                          juce::String& error)
{
    const auto folder = desktop::FileNameBytes::parentOf (destination);
    const auto name = desktop::FileNameBytes::displayNameOf (destination);

    if (desktop::FileNameBytes::nameOf (destination).isEmpty() || !folder.isDirectory())
    {
        error = "The folder for \"" + name + "\" does not exist.";
        return nullptr;
    }

    if (::access (folder.getFullPathName().toRawUTF8(), W_OK | X_OK) != 0 || destination.isDirectory())
    {
        error = "\"" + name + "\" cannot be written: the folder \""
                + desktop::FileNameBytes::forDisplay (folder.getFullPathName()) + "\" is not writable.";
        return nullptr;
    }

    std::unique_ptr<MediaFileWriter> writer (new MediaFileWriter());
    writer->destination = destination;
    writer->partial = std::make_unique<desktop::PartialFile> (destination);
    writer->info = MediaFileTypeInfo::of (type);

    AVFormatContext* context = nullptr;
    const int status = avformat_alloc_output_context2 (&context, nullptr, writer->info.muxer, nullptr);

    if (status < 0 || context == nullptr)
    {
        error = "Files of this type cannot be written (" + ffmpegErrorText (status) + ").";
        return nullptr;
    }

    writer->format.reset (context);
    return writer;
}

bool MediaFileWriter::canHold (AVCodecID codecID) const
{
    const juce::String muxer (info.muxer);

    if (muxer == "wav" || muxer == "aiff")
        return codecID == AV_CODEC_ID_PCM_S16LE || codecID == AV_CODEC_ID_PCM_S24LE || codecID == AV_CODEC_ID_PCM_S32LE
               || codecID == AV_CODEC_ID_PCM_F32LE || codecID == AV_CODEC_ID_PCM_S16BE
               || codecID == AV_CODEC_ID_PCM_S24BE || codecID == AV_CODEC_ID_PCM_S32BE || codecID == AV_CODEC_ID_PCM_U8;

    return avformat_query_codec (format->oformat, codecID, FF_COMPLIANCE_NORMAL) == 1;
}

AVStream* MediaFileWriter::addCopiedStream (const AVStream& source, int rotationDegrees, juce::String& error)
{
    if (!canHold (source.codecpar->codec_id))
    {
        error = "This file type cannot hold " + juce::String (avcodec_get_name (source.codecpar->codec_id)) + ".";
        return nullptr;
    }

    auto* stream = avformat_new_stream (format.get(), nullptr);

    if (stream == nullptr || avcodec_parameters_copy (stream->codecpar, source.codecpar) < 0)
    {
        error = "Out of memory.";
        return nullptr;
    }

    stream->codecpar->codec_tag = 0;
    stream->time_base = source.time_base;
    stream->avg_frame_rate = source.avg_frame_rate;
    stream->r_frame_rate = source.r_frame_rate;
    stream->sample_aspect_ratio = source.sample_aspect_ratio;
    stream->disposition = source.disposition;

    if (rotationDegrees != 0)
    {
        if (auto* matrix = reinterpret_cast<int32_t*> (
                av_stream_new_side_data (stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof (int32_t) * 9)))
            av_display_rotation_set (matrix, rotationDegrees); // sets a clockwise turn, as rotationDegrees is
    }

    return stream;
}

AudioStreamEncoder* MediaFileWriter::addAudioEncoder (AVCodecID codecID, double sampleRate, int channels,
                                                      int bitsPerSample, juce::String& error)
{
    if (!canHold (codecID))
    {
        error = "This file type cannot hold " + juce::String (avcodec_get_name (codecID)) + " sound.";
        return nullptr;
    }

    encoder = AudioStreamEncoder::create (*format, codecID, sampleRate, channels, bitsPerSample, error);
    return encoder.get();
}

bool MediaFileWriter::begin (juce::String& error)
{
    int status = avio_open (&format->pb, ("file:" + partial->getFile().getFullPathName()).toRawUTF8(), AVIO_FLAG_WRITE);

    if (status < 0)
    {
        error = "\"" + desktop::FileNameBytes::displayNameOf (destination) + "\" cannot be written ("
                + ffmpegErrorText (status) + ").";
        return false;
    }

    opened = true;
    AVDictionary* options = nullptr;

    if (info.brand != nullptr)
        av_dict_set (&options, "brand", info.brand, 0);

    // The MPEG-4 family states the sound's length and the streams' delays in the movie's timescale (whole
    // milliseconds unless told otherwise), which would cut up to a millisecond off them: count in the sound's
    // own samples, and in the picture's units as well where a common multiple allows it, so that a picture
    // that starts after the sound keeps its exact place.
    const juce::String muxer (info.muxer);

    if (muxer == "mov" || muxer == "mp4" || muxer == "ipod")
    {
        int64_t audioRate = 0, common = 0;

        for (unsigned i = 0; i < format->nb_streams && audioRate == 0; ++i)
            if (const auto* parameters = format->streams[i]->codecpar;
                parameters->codec_type == AVMEDIA_TYPE_AUDIO && parameters->sample_rate > 0)
                audioRate = parameters->sample_rate;

        common = audioRate;

        for (unsigned i = 0; i < format->nb_streams && common > 0; ++i)
            if (const auto* stream = format->streams[i]; stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
                                                         && stream->time_base.num == 1 && stream->time_base.den > 0)
            {
                const auto both = std::lcm (common, (int64_t) stream->time_base.den);
                common = both <= std::numeric_limits<int32_t>::max() ? both : audioRate;
            }

        if (common > 0)
            av_dict_set_int (&options, "movie_timescale", common, 0);
    }

    status = avformat_write_header (format.get(), &options);
    av_dict_free (&options);

    if (status < 0)
    {
        error = "The file cannot be started (" + ffmpegErrorText (status) + ").";
        return false;
    }

    return true;
}

int MediaFileWriter::writePacket (AVPacket& packet)
{
    if (packet.stream_index >= 0)
    {
        if ((size_t) packet.stream_index >= starts.size())
            starts.resize ((size_t) packet.stream_index + 1);

        auto& start = starts[(size_t) packet.stream_index];

        if (start.firstTimestamp == AV_NOPTS_VALUE)
        {
            start.firstTimestamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
            size_t size = 0;

            if (const auto* skip = av_packet_get_side_data (&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
                skip != nullptr && size >= 4)
                start.primingSamples = (int64_t) AV_RL32 (skip);
        }
    }

    const int status = av_interleaved_write_frame (format.get(), &packet);

    if (status >= 0 && format->pb->error < 0)
        return format->pb->error;

    return status;
}

bool MediaFileWriter::finish (juce::String& error)
{
    int status = av_write_trailer (format.get());

    if (status >= 0)
    {
        avio_flush (format->pb);
        status = format->pb->error;
    }

    const int closeStatus = avio_closep (&format->pb);
    opened = false;

    if (status >= 0 && closeStatus < 0)
        status = closeStatus;

    if (status < 0)
    {
        error = "\"" + desktop::FileNameBytes::displayNameOf (destination) + "\" could not be completed ("
                + ffmpegErrorText (status) + ").";
        discard();
        return false;
    }

    if (!hideLatePriming (error))
    {
        discard();
        return false;
    }

    if (!partial->moveIntoPlace (error))
    {
        discard();
        return false;
    }

    finished = true;
    return true;
}

bool MediaFileWriter::hideLatePriming (juce::String& error)
{
    const juce::String muxer (info.muxer);

    if (muxer != "mov" && muxer != "mp4" && muxer != "ipod")
        return true;

    for (size_t i = 0; i < starts.size() && i < format->nb_streams; ++i)
    {
        const auto* stream = format->streams[i];
        const auto& start = starts[i];

        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || start.primingSamples <= 0
            || start.firstTimestamp == AV_NOPTS_VALUE || stream->codecpar->sample_rate <= 0)
            continue;

        // Priming of a track that starts at 0 is hidden by the muxer itself.
        const auto priming =
            av_rescale_q (start.primingSamples, { 1, stream->codecpar->sample_rate }, stream->time_base);

        if (start.firstTimestamp + priming <= 0)
            continue;

        if (!MovieEditList::hidePriming (partial->getFile(), (int) i, priming, error))
        {
            error = "\"" + desktop::FileNameBytes::displayNameOf (destination) + "\" could not be completed: " + error;
            return false;
        }
    }

    return true;
}

} // namespace tavlin::media
