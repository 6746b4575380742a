#include "AudioStreamEncoder.h"

namespace tavlin::media
{

namespace
{
AVSampleFormat sampleFormatFor (const AVCodec& encoder, int bitsPerSample)
{
    auto supports = [&] (AVSampleFormat format)
    {
        if (encoder.sample_fmts == nullptr)
            return true;

        for (auto* f = encoder.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == format)
                return true;

        return false;
    };

    const AVSampleFormat wanted[] = { bitsPerSample <= 16 ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S32P,
                                      bitsPerSample <= 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLTP,
                                      AV_SAMPLE_FMT_FLT };

    for (auto format : wanted)
        if (supports (format))
            return format;

    return encoder.sample_fmts[0];
}
} // namespace

AudioStreamEncoder::~AudioStreamEncoder() = default;

std::unique_ptr<AudioStreamEncoder> AudioStreamEncoder::create (AVFormatContext& output, AVCodecID codecID,
                                                                double sampleRate, int channels, int bitsPerSample,
                                                                juce::String& error)
{
    const auto* encoder = avcodec_find_encoder (codecID);

    if (encoder == nullptr)
    {
        error = "No encoder for " + juce::String (avcodec_get_name (codecID)) + " is available.";
        return nullptr;
    }

    std::unique_ptr<AudioStreamEncoder> result (new AudioStreamEncoder());
    auto& e = *result;
    e.codec.reset (avcodec_alloc_context3 (encoder));
    e.frame.reset (av_frame_alloc());
    e.packet.reset (av_packet_alloc());
    e.stream = avformat_new_stream (&output, nullptr);

    if (e.codec == nullptr || e.frame == nullptr || e.packet == nullptr || e.stream == nullptr)
    {
        error = "Out of memory.";
        return nullptr;
    }

    e.numChannels = channels;
    e.codec->sample_rate = (int) sampleRate;
    av_channel_layout_default (&e.codec->ch_layout, channels);
    e.codec->sample_fmt = sampleFormatFor (*encoder, bitsPerSample);
    e.codec->time_base = { 1, (int) sampleRate };

    if (codecID == AV_CODEC_ID_AAC)
        e.codec->bit_rate = std::min (320000, 128000 * channels);
    else if (e.codec->sample_fmt == AV_SAMPLE_FMT_S32P || e.codec->sample_fmt == AV_SAMPLE_FMT_S32)
        e.codec->bits_per_raw_sample = 24;

    if ((output.oformat->flags & AVFMT_GLOBALHEADER) != 0)
        e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    int status = avcodec_open2 (e.codec.get(), encoder, nullptr);

    if (status >= 0)
        status = avcodec_parameters_from_context (e.stream->codecpar, e.codec.get());

    if (status < 0)
    {
        error = "The sound cannot be encoded as " + juce::String (avcodec_get_name (codecID)) + " ("
                + ffmpegErrorText (status) + ").";
        return nullptr;
    }

    e.stream->time_base = e.codec->time_base;
    e.frameSize = e.codec->frame_size > 0 ? e.codec->frame_size : 4096;

    SwrContext* created = nullptr;
    AVChannelLayout layout;
    av_channel_layout_default (&layout, channels);
    status = swr_alloc_set_opts2 (&created, &layout, e.codec->sample_fmt, (int) sampleRate, &layout, AV_SAMPLE_FMT_FLTP,
                                  (int) sampleRate, 0, nullptr);
    e.converter.reset (created);

    if (status < 0 || swr_init (e.converter.get()) < 0)
    {
        error = "The sound's sample format cannot be converted for the encoder.";
        return nullptr;
    }

    e.fifo.reset (av_audio_fifo_alloc (AV_SAMPLE_FMT_FLTP, channels, e.frameSize * 2));
    e.frame->format = e.codec->sample_fmt;
    e.frame->sample_rate = e.codec->sample_rate;
    av_channel_layout_copy (&e.frame->ch_layout, &e.codec->ch_layout);
    e.frame->nb_samples = e.frameSize;

    if (e.fifo == nullptr || av_frame_get_buffer (e.frame.get(), 0) < 0)
    {
        error = "Out of memory.";
        return nullptr;
    }

    e.staging.allocate ((size_t) (e.frameSize * channels), true);
    e.stagingChannels.allocate ((size_t) channels, false);

    for (int ch = 0; ch < channels; ++ch)
        e.stagingChannels[ch] = e.staging.get() + ch * e.frameSize;

    return result;
}

bool AudioStreamEncoder::write (const float* const* channels, int numFrames, const PacketSink& sink,
                                juce::String& error)
{
    if (numFrames <= 0)
        return true;

    if (av_audio_fifo_write (fifo.get(), (void**) const_cast<float* const*> (channels), numFrames) < numFrames)
    {
        error = "Out of memory.";
        return false;
    }

    samplesIn += numFrames;

    while (av_audio_fifo_size (fifo.get()) >= frameSize)
        if (!encodeFrame (frameSize, sink, error))
            return false;

    return true;
}

bool AudioStreamEncoder::encodeFrame (int numFrames, const PacketSink& sink, juce::String& error)
{
    av_audio_fifo_read (fifo.get(), (void**) stagingChannels.get(), numFrames);

    if (av_frame_make_writable (frame.get()) < 0)
    {
        error = "Out of memory.";
        return false;
    }

    frame->nb_samples = numFrames;
    const int converted = swr_convert (converter.get(), frame->extended_data, numFrames,
                                       (const uint8_t**) stagingChannels.get(), numFrames);

    if (converted != numFrames)
    {
        error = "The sound could not be converted for the encoder.";
        return false;
    }

    frame->pts = samplesSent;
    samplesSent += numFrames;

    const int status = avcodec_send_frame (codec.get(), frame.get());

    if (status < 0)
    {
        error = "The sound could not be encoded (" + ffmpegErrorText (status) + ").";
        return false;
    }

    return drain (sink, error, false);
}

bool AudioStreamEncoder::drain (const PacketSink& sink, juce::String& error, bool flushing)
{
    for (;;)
    {
        int status = avcodec_receive_packet (codec.get(), packet.get());

        if (status == AVERROR (EAGAIN) || status == AVERROR_EOF)
            return true;

        if (status < 0)
        {
            error = "The sound could not be encoded (" + ffmpegErrorText (status) + ").";
            return false;
        }

        // The stream ends after the last real sample: trim the final packet's padding.
        if (flushing && packet->pts != AV_NOPTS_VALUE && packet->pts + packet->duration > samplesIn)
            packet->duration = std::max<int64_t> (0, samplesIn - packet->pts);

        av_packet_rescale_ts (packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        status = sink (*packet);
        av_packet_unref (packet.get());

        if (status < 0)
        {
            error = "The file could not be written (" + ffmpegErrorText (status) + ").";
            return false;
        }
    }
}

bool AudioStreamEncoder::finish (const PacketSink& sink, juce::String& error)
{
    const int rest = av_audio_fifo_size (fifo.get());
    const bool smallLastFrame =
        (codec->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;

    if (rest > 0)
    {
        if (!smallLastFrame)
        {
            // Pad to a whole frame; the padding is trimmed from the packet durations.
            std::vector<float> silence ((size_t) (frameSize - rest), 0.0f);
            std::vector<float*> pointers ((size_t) numChannels, silence.data());
            av_audio_fifo_write (fifo.get(), (void**) pointers.data(), frameSize - rest);
        }

        if (!encodeFrame (smallLastFrame ? rest : frameSize, sink, error))
            return false;
    }

    avcodec_send_frame (codec.get(), nullptr);
    return drain (sink, error, true);
}

} // namespace tavlin::media
