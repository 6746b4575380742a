#include "SoundProbe.h"

#include "CodecPump.h"
#include "MediaInput.h"

namespace tavlin::media
{

namespace
{
// Enough to get past the header packets and a few undecodable ones of any format.
constexpr int maxPacketsRead = 256;
} // namespace

juce::Result SoundProbe::check (const juce::File& file, int streamIndex)
{
    juce::String error;
    auto input = MediaInput::openFile (file, error);

    if (input == nullptr)
        return juce::Result::fail (error);

    const int index = streamIndex < 0 ? input->findFirstStream (AVMEDIA_TYPE_AUDIO) : streamIndex;
    const auto* stream = input->getStream (index);

    if (stream == nullptr || stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return juce::Result::fail ("The file contains no audio.");

    const auto* decoderInfo = avcodec_find_decoder (stream->codecpar->codec_id);

    if (decoderInfo == nullptr)
        return juce::Result::fail ("The sound is in a format that cannot be decoded ("
                                   + juce::String (avcodec_get_name (stream->codecpar->codec_id)) + ").");

    CodecContextPtr codec (avcodec_alloc_context3 (decoderInfo));
    CodecPump pump (*input->getFormat(), index);
    FramePtr frame (av_frame_alloc());

    if (codec == nullptr || !pump.isValid() || frame == nullptr)
        return juce::Result::fail ("Out of memory.");

    int status = avcodec_parameters_to_context (codec.get(), stream->codecpar);

    if (status >= 0)
        status = avcodec_open2 (codec.get(), decoderInfo, nullptr);

    if (status < 0)
        return juce::Result::fail ("The sound cannot be decoded (" + ffmpegErrorText (status) + ").");

    auto* format = input->getFormat();
    int lastError = 0;

    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = (int) i == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    pump.setReadLimit (maxPacketsRead);
    pump.onRefused = [&] (int refused) { lastError = refused; };

    for (;;)
    {
        const int received = pump.receiveFrame (*codec, *frame);

        if (received == 0)
        {
            const bool hasSamples = frame->nb_samples > 0;
            av_frame_unref (frame.get());

            if (hasSamples)
                return juce::Result::ok();

            continue;
        }

        if (received == AVERROR_EOF)
            break;

        // A frame that fails to decode: the decoder gets the next packet before it is asked again.
        lastError = received;

        if (pump.feed (*codec) == CodecPump::Fed::end)
            break;
    }

    return juce::Result::fail (lastError != 0 ? "The sound cannot be decoded (" + ffmpegErrorText (lastError) + ")."
                                              : juce::String ("The file holds no sound."));
}

} // namespace tavlin::media
