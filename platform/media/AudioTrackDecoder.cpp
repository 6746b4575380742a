#include "AudioTrackDecoder.h"

#include "CodecPump.h"
#include "MediaInput.h"
#include "MovieEditList.h"

#include <algorithm>
#include <limits>

namespace tavlin::media
{

namespace
{
// Containers whose timestamps after a seek are estimates; these are always decoded from the start.
bool hasExactSeekTimestamps (const AVFormatContext* format)
{
    static const juce::StringArray estimated { "mp3", "aac", "ac3", "eac3", "dts", "loas", "truehd", "mlp" };

    for (const auto& name : juce::StringArray::fromTokens (format->iformat->name, ",", ""))
        if (estimated.contains (name))
            return false;

    return true;
}

// Containers whose stated lengths are spans between timestamps read near the start and the end, not counts
// of samples: they only say where to look for the end.
bool statesLengthOnlyRoughly (const AVFormatContext* format)
{
    const juce::String name (format->iformat->name);
    return name == "mpeg" || name == "mpegts" || name == "mpegvideo";
}
} // namespace

struct AudioTrackDecoder::Impl
{
    juce::Result initialise (std::unique_ptr<MediaInput> input, int streamIndex);
    juce::Result measureLength();

    /** Opens a new decoder for the stream in place of the current one; an FFmpeg status. */
    int openCodec();

    /** Decodes the next frame into the pending buffer; false at the end or on an error. */
    bool decodeNextFrame();
    bool seekContainer (int64_t samplePosition);
    int64_t framePosition (const AVFrame& frame) const;
    int64_t containerLength() const;

    MediaTime getStartTime() const;
    bool seek (int64_t samplePosition);
    bool catchUp (const std::function<bool()>& keepGoing);
    int read (float* const* destination, int numDestinationChannels, int numFrames);

    std::unique_ptr<MediaInput> input;
    juce::File sourceFile; // when opened from a file
    AVStream* stream = nullptr;
    CodecContextPtr codec;
    ResamplerPtr converter;
    FramePtr frame;
    std::unique_ptr<CodecPump> pump;

    int streamIndex = -1;
    int numChannels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    int64_t lengthInSamples = 0;
    bool timestampsSeekable = true;

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
};

AudioTrackDecoder::AudioTrackDecoder() : impl (std::make_unique<Impl>()) {}

AudioTrackDecoder::~AudioTrackDecoder() = default;

std::unique_ptr<AudioTrackDecoder> AudioTrackDecoder::open (const juce::File& file, int index, juce::String& error)
{
    auto opened = MediaInput::openFile (file, error);

    if (opened == nullptr)
        return nullptr;

    std::unique_ptr<AudioTrackDecoder> decoder (new AudioTrackDecoder());
    decoder->impl->sourceFile = file;
    auto result = decoder->impl->initialise (std::move (opened), index);

    if (result.failed())
    {
        error = result.getErrorMessage();
        return nullptr;
    }

    return decoder;
}

std::unique_ptr<AudioTrackDecoder> AudioTrackDecoder::open (std::unique_ptr<MediaInput> opened, int index,
                                                            juce::String& error)
{
    if (opened == nullptr)
    {
        error = "No media to decode.";
        return nullptr;
    }

    std::unique_ptr<AudioTrackDecoder> decoder (new AudioTrackDecoder());
    auto result = decoder->impl->initialise (std::move (opened), index);

    if (result.failed())
    {
        error = result.getErrorMessage();
        return nullptr;
    }

    return decoder;
}

juce::Result AudioTrackDecoder::Impl::initialise (std::unique_ptr<MediaInput> opened, int index)
{
    input = std::move (opened);
    auto* format = input->getFormat();

    streamIndex = index < 0 ? input->findFirstStream (AVMEDIA_TYPE_AUDIO) : index;
    stream = input->getStream (streamIndex);

    if (stream == nullptr || stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return juce::Result::fail ("The file contains no audio.");

    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = (int) i == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const auto* decoderInfo = avcodec_find_decoder (stream->codecpar->codec_id);

    if (decoderInfo == nullptr)
        return juce::Result::fail ("The sound is in a format that cannot be decoded ("
                                   + juce::String (avcodec_get_name (stream->codecpar->codec_id)) + ").");

    pump = std::make_unique<CodecPump> (*format, streamIndex);
    frame.reset (av_frame_alloc());

    if (!pump->isValid() || frame == nullptr)
        return juce::Result::fail ("Out of memory.");

    pump->onPacket = [this] (const AVPacket& packet)
    {
        if (firstPacketTime == AV_NOPTS_VALUE)
            firstPacketTime = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    };

    // A damaged packet is skipped; the decoder carries on with the next one.
    pump->onRefused = [this] (int status)
    { lastError = "Part of the sound is damaged (" + ffmpegErrorText (status) + ")."; };

    const int status = openCodec();

    if (status < 0)
        return juce::Result::fail ("The sound cannot be decoded (" + ffmpegErrorText (status) + ").");

    numChannels = codec->ch_layout.nb_channels;
    sampleRate = codec->sample_rate;
    bitsPerSample = stream->codecpar->bits_per_raw_sample > 0 ? stream->codecpar->bits_per_raw_sample
                                                              : stream->codecpar->bits_per_coded_sample;

    if (bitsPerSample <= 0)
        bitsPerSample = av_get_bytes_per_sample (codec->sample_fmt) * 8;

    if (numChannels <= 0 || numChannels > MediaLimits::maxChannels || sampleRate < MediaLimits::minSampleRate
        || sampleRate > MediaLimits::maxSampleRate)
        return juce::Result::fail ("The sound's channel count or sample rate cannot be handled.");

    timestampsSeekable = hasExactSeekTimestamps (format);

    // The first frame fixes where sample 0 lies on the stream's clock.
    lengthInSamples = std::numeric_limits<int64_t>::max();

    if (!decodeNextFrame())
        return juce::Result::fail (lastError.isNotEmpty() ? lastError : juce::String ("The file holds no sound."));

    auto measured = measureLength();

    if (measured.failed())
        return measured;

    if (!seekContainer (0))
        return juce::Result::fail ("The sound cannot be read from its start.");

    position = 0;
    return juce::Result::ok();
}

int AudioTrackDecoder::Impl::openCodec()
{
    const auto* decoderInfo = avcodec_find_decoder (stream->codecpar->codec_id);
    CodecContextPtr opened (avcodec_alloc_context3 (decoderInfo));

    if (opened == nullptr)
        return AVERROR (ENOMEM);

    int status = avcodec_parameters_to_context (opened.get(), stream->codecpar);

    if (status >= 0)
    {
        opened->pkt_timebase = stream->time_base;
        status = avcodec_open2 (opened.get(), decoderInfo, nullptr);
    }

    if (status >= 0)
        codec = std::move (opened);

    return status;
}

int64_t AudioTrackDecoder::Impl::containerLength() const
{
    const auto* format = input->getFormat();

    if (input->isDurationEstimated())
        return -1;

    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
    {
        auto stated = av_rescale_q (stream->duration, stream->time_base, { 1, (int) sampleRate });

        // A movie's track behind an empty edit is stated as long as its media, priming included: its edits
        // say how much of it is shown.
        int64_t shown = 0, timescale = 0;
        bool delayed = false;

        if (juce::String (format->iformat->name).contains ("mov") && sourceFile != juce::File()
            && MovieEditList::shownDuration (sourceFile, streamIndex, shown, timescale, delayed) && delayed
            && timescale > 0)
            stated = std::min (stated, av_rescale_q (shown, { 1, (int) timescale }, { 1, (int) sampleRate }));

        return stated;
    }

    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return av_rescale_q (format->duration, { 1, AV_TIME_BASE }, { 1, (int) sampleRate });

    return -1;
}

juce::Result AudioTrackDecoder::Impl::measureLength()
{
    const auto declared = containerLength();
    const auto maxSamples = (int64_t) (MediaLimits::maxDurationSeconds * sampleRate);

    if (declared > maxSamples)
        return juce::Result::fail ("The file claims a duration that cannot be handled.");

    // Decode the end of the sound (all of it when the container does not say where it ends), and take the
    // shorter of the decoded end and the declared length: containers round up to whole packets, and some
    // leave the last packet's padding in.
    // Containers without exact timestamps (MP3, raw AAC) are decoded through: their declared lengths count
    // the encoder's padding that the decoder drops.
    const bool rough = statesLengthOnlyRoughly (input->getFormat());

    if (declared > 0 && timestampsSeekable)
    {
        const auto margin = (int64_t) (sampleRate * (rough ? 10.0 : 2.0)) + 65536;
        const auto tail = std::max<int64_t> (0, declared - margin);

        if (tail > 0 && !seekContainer (tail))
            return juce::Result::fail ("The sound cannot be read to its end.");
    }

    int64_t end = pendingPosition + pendingLength;

    while (decodeNextFrame())
    {
        end = pendingPosition + pendingLength;

        if (end > maxSamples)
            return juce::Result::fail ("The file's sound is too long to be handled.");
    }

    if (end <= 0 && declared <= 0)
        return juce::Result::fail ("The file holds no sound.");

    lengthInSamples = declared > 0 && timestampsSeekable && !rough ? std::min (declared, end) : end;

    if (end <= 0)
        lengthInSamples = declared;

    return juce::Result::ok();
}

MediaTime AudioTrackDecoder::Impl::getStartTime() const
{
    // Exact where the stream counts in whole fractions of a second, so that no rounding to samples is done
    // before the start is set against other streams.
    if (originTimestamp != AV_NOPTS_VALUE && stream->time_base.num == 1 && stream->time_base.den > 0)
        return MediaTime::make (originTimestamp, stream->time_base.den);

    return MediaTime::make (origin, (int32_t) sampleRate);
}

int64_t AudioTrackDecoder::Impl::framePosition (const AVFrame& decoded) const
{
    const auto timestamp =
        decoded.best_effort_timestamp != AV_NOPTS_VALUE ? decoded.best_effort_timestamp : decoded.pts;

    if (timestamp == AV_NOPTS_VALUE)
        return std::numeric_limits<int64_t>::min();

    return av_rescale_q (timestamp, stream->time_base, { 1, (int) sampleRate });
}

bool AudioTrackDecoder::Impl::decodeNextFrame()
{
    const bool positionFromTimestamp = !originKnown || pendingLength < 0;
    const auto nextPosition = pendingPosition + std::max (pendingLength, 0);

    for (;;)
    {
        int status = pump->receiveFrame (*codec, *frame);

        if (status == 0)
        {
            if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels != numChannels)
            {
                av_frame_unref (frame.get());
                continue;
            }

            if (converter == nullptr)
            {
                AVChannelLayout outLayout;
                av_channel_layout_default (&outLayout, numChannels);
                SwrContext* created = nullptr;
                status =
                    swr_alloc_set_opts2 (&created, &outLayout, AV_SAMPLE_FMT_FLTP, (int) sampleRate, &frame->ch_layout,
                                         (AVSampleFormat) frame->format, frame->sample_rate, 0, nullptr);
                converter.reset (created);

                if (status < 0 || swr_init (converter.get()) < 0)
                {
                    lastError = "The sound's sample format cannot be converted.";
                    converter.reset();
                    av_frame_unref (frame.get());
                    return false;
                }
            }

            pending.setSize (numChannels, frame->nb_samples, false, false, true);
            const int converted =
                swr_convert (converter.get(), (uint8_t**) const_cast<float**> (pending.getArrayOfWritePointers()),
                             frame->nb_samples, (const uint8_t**) frame->extended_data, frame->nb_samples);

            const auto frameTimestamp =
                frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
            int64_t framePos = positionFromTimestamp ? framePosition (*frame) : nextPosition;
            av_frame_unref (frame.get());

            if (converted <= 0)
                continue;

            if (!originKnown)
            {
                originTimestamp = framePos == std::numeric_limits<int64_t>::min() ? AV_NOPTS_VALUE : frameTimestamp;
                origin = framePos == std::numeric_limits<int64_t>::min() ? 0 : framePos;
                originKnown = true;
                framePos = 0;
            }
            else if (positionFromTimestamp)
            {
                framePos = framePos == std::numeric_limits<int64_t>::min() ? nextPosition : framePos - origin;
            }

            pendingStart = 0;
            pendingLength = converted;
            pendingPosition = framePos;
            return true;
        }

        if (status != AVERROR_EOF)
            lastError = "The sound cannot be decoded (" + ffmpegErrorText (status) + ").";

        return false;
    }
}

bool AudioTrackDecoder::Impl::seekContainer (int64_t samplePosition)
{
    auto* format = input->getFormat();
    int64_t preroll = std::max<int64_t> (8192, (int64_t) (sampleRate * 0.2));

    for (int attempt = 0; attempt < 6; ++attempt)
    {
        const auto target = timestampsSeekable ? std::max<int64_t> (0, samplePosition - preroll) : 0;
        const auto timestamp = av_rescale_q (target + origin, { 1, (int) sampleRate }, stream->time_base);
        const bool fromStart = target == 0;

        // From the start means from the stream's first packet: priming packets before time 0 prime the
        // decoder, and the container says again how much of them to skip.
        const auto startTime = firstPacketTime != AV_NOPTS_VALUE ? std::min<int64_t> (firstPacketTime, 0) : 0;
        int status =
            av_seek_frame (format, streamIndex, fromStart ? std::min<int64_t> (timestamp, startTime) : timestamp,
                           AVSEEK_FLAG_BACKWARD);

        if (status < 0 && fromStart)
            status = avformat_seek_file (format, streamIndex, std::numeric_limits<int64_t>::min(), 0, 0, 0);

        if (status < 0)
            return false;

        // A fresh decoder from the start decodes exactly as any player does (noise substitution draws from
        // the decoder's own random state, which a flush keeps).
        if (!fromStart || openCodec() < 0)
            avcodec_flush_buffers (codec.get());

        pump->restart();
        pendingLength = -1; // the next frame takes its position from its timestamp

        if (!decodeNextFrame())
        {
            pendingLength = 0;
            pendingPosition = samplePosition;
            return samplePosition >= lengthInSamples || fromStart;
        }

        if (pendingPosition <= samplePosition || fromStart)
            return true;

        preroll *= 4; // landed after the target: go further back
    }

    return false;
}

bool AudioTrackDecoder::Impl::seek (int64_t samplePosition)
{
    samplePosition = juce::jlimit<int64_t> (0, lengthInSamples, samplePosition);

    if (samplePosition == position)
        return true;

    // Short hops forward are decoded through, and so is any target ahead of the decoding in a stream that is
    // decoded from its start anyway; anything else repositions the container.
    const bool forwardHop = samplePosition > position && samplePosition - position < (int64_t) (sampleRate * 2.0);
    const bool aheadOfDecoding = !timestampsSeekable && pendingLength >= 0 && samplePosition >= pendingPosition;

    if (aheadOfDecoding)
    {
        position = samplePosition;
        return true;
    }

    if (!forwardHop && !seekContainer (samplePosition))
    {
        lastError = "The sound cannot be read at the requested position.";
        return false;
    }

    position = samplePosition;
    return true;
}

bool AudioTrackDecoder::Impl::catchUp (const std::function<bool()>& keepGoing)
{
    while (position < lengthInSamples)
    {
        if (pendingLength > 0)
        {
            if (pendingPosition + pendingLength > position)
                return true;

            // Wholly before the read position: dropped.
            pendingStart += pendingLength;
            pendingPosition += pendingLength;
            pendingLength = 0;
        }

        if (!keepGoing())
            return false;

        if (!decodeNextFrame())
            return true; // the end, or an error that read() meets again
    }

    return true;
}

int AudioTrackDecoder::Impl::read (float* const* destination, int numDestinationChannels, int numFrames)
{
    int written = 0;

    while (written < numFrames && position < lengthInSamples)
    {
        if (pendingLength <= 0 && !decodeNextFrame())
            break;

        // Drop what lies before the read position.
        if (pendingPosition < position)
        {
            const auto skip = std::min<int64_t> (position - pendingPosition, pendingLength);
            pendingStart += (int) skip;
            pendingLength -= (int) skip;
            pendingPosition += skip;

            if (pendingLength <= 0)
                continue;
        }

        const auto wanted = (int) std::min<int64_t> (numFrames - written, lengthInSamples - position);

        // A gap in the stream's timestamps reads as silence.
        if (pendingPosition > position)
        {
            const auto gap = (int) std::min<int64_t> (pendingPosition - position, wanted);

            for (int ch = 0; ch < numDestinationChannels; ++ch)
                std::fill_n (destination[ch] + written, gap, 0.0f);

            written += gap;
            position += gap;
            continue;
        }

        const int count = std::min (wanted, pendingLength);

        for (int ch = 0; ch < numDestinationChannels; ++ch)
        {
            if (ch < numChannels)
                std::copy_n (pending.getReadPointer (ch, pendingStart), count, destination[ch] + written);
            else
                std::fill_n (destination[ch] + written, count, 0.0f);
        }

        pendingStart += count;
        pendingLength -= count;
        pendingPosition += count;
        written += count;
        position += count;
    }

    return written;
}

int AudioTrackDecoder::getNumChannels() const
{
    return impl->numChannels;
}
double AudioTrackDecoder::getSampleRate() const
{
    return impl->sampleRate;
}
int AudioTrackDecoder::getBitsPerSample() const
{
    return impl->bitsPerSample;
}
int AudioTrackDecoder::getStreamIndex() const
{
    return impl->streamIndex;
}
int64_t AudioTrackDecoder::getLengthInSamples() const
{
    return impl->lengthInSamples;
}
MediaTime AudioTrackDecoder::getStartTime() const
{
    return impl->getStartTime();
}
int64_t AudioTrackDecoder::getPosition() const
{
    return impl->position;
}
bool AudioTrackDecoder::seek (int64_t samplePosition)
{
    return impl->seek (samplePosition);
}
bool AudioTrackDecoder::catchUp (const std::function<bool()>& keepGoing)
{
    return impl->catchUp (keepGoing);
}

int AudioTrackDecoder::read (float* const* destination, int numDestinationChannels, int numFrames)
{
    return impl->read (destination, numDestinationChannels, numFrames);
}

const juce::String& AudioTrackDecoder::getLastError() const
{
    return impl->lastError;
}

} // namespace tavlin::media
