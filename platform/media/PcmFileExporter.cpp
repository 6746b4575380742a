#include "PcmFileExporter.h"

#include "AudioTrackDecoder.h"
#include "FFmpegHandles.h"

#include "desktop/FileNameBytes.h"
#include "desktop/PartialFile.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <unistd.h>

namespace tavlin::media
{

namespace
{
constexpr int blockFrames = 8192;

juce::Result checkRequest (const PcmFileExporter::Request& request)
{
    if (request.type != MediaFileType::wave && request.type != MediaFileType::aiff)
        return juce::Result::fail ("Only WAVE and AIFF files are written as PCM.");

    if (request.channels < 1 || request.channels > 8 || request.sampleRate < MediaLimits::minSampleRate
        || request.sampleRate > MediaLimits::maxSampleRate)
        return juce::Result::fail ("The requested channel count or sample rate cannot be written.");

    const auto folder = desktop::FileNameBytes::parentOf (request.destination);

    if (desktop::FileNameBytes::nameOf (request.destination).isEmpty() || !folder.isDirectory()
        || request.destination.isDirectory() || ::access (folder.getFullPathName().toRawUTF8(), W_OK | X_OK) != 0)
        return juce::Result::fail ("\"" + desktop::FileNameBytes::forDisplay (request.destination.getFullPathName())
                                   + "\" cannot be written.");

    return juce::Result::ok();
}

/** The stream a conversion writes through: remembers whether any write, seek or flush failed, including
    the last ones, which the writer makes while it closes the file.
*/
class TrackedStream : public juce::OutputStream
{
public:
    TrackedStream (std::unique_ptr<juce::OutputStream> target, bool& failedFlag)
        : inner (std::move (target)), failed (failedFlag)
    {
    }

    ~TrackedStream() override { flush(); }

    void flush() override
    {
        inner->flush();

        if (auto* file = dynamic_cast<juce::FileOutputStream*> (inner.get());
            file != nullptr && file->getStatus().failed())
            failed = true;
    }

    bool setPosition (juce::int64 position) override { return note (inner->setPosition (position)); }
    juce::int64 getPosition() override { return inner->getPosition(); }
    bool write (const void* data, size_t bytes) override { return note (inner->write (data, bytes)); }

private:
    bool note (bool ok)
    {
        failed = failed || !ok;
        return ok;
    }

    std::unique_ptr<juce::OutputStream> inner;
    bool& failed;
};

/** Sample-rate conversion of planar float, keeping the channel count. */
class RateConverter
{
public:
    bool open (int channels, double from, double to)
    {
        SwrContext* created = nullptr;
        AVChannelLayout layout;
        av_channel_layout_default (&layout, channels);

        if (swr_alloc_set_opts2 (&created, &layout, AV_SAMPLE_FMT_FLTP, (int) to, &layout, AV_SAMPLE_FMT_FLTP,
                                 (int) from, 0, nullptr)
            < 0)
            return false;

        context.reset (created);
        ratio = to / from;
        return swr_init (context.get()) >= 0;
    }

    /** Converts frames (null input flushes); the result lands in output, resized as needed. */
    int process (const float* const* input, int frames, juce::AudioBuffer<float>& output)
    {
        const int capacity = (int) std::ceil (frames * ratio) + 256;
        output.setSize (output.getNumChannels(), capacity, false, false, true);
        return swr_convert (context.get(), (uint8_t**) const_cast<float**> (output.getArrayOfWritePointers()), capacity,
                            (const uint8_t**) input, frames);
    }

private:
    ResamplerPtr context;
    double ratio = 1.0;
};
} // namespace

bool PcmFileExporter::start (SerialWorkQueue& queue, const Request& request, juce::String& error, Completion completion)
{
    auto check = checkRequest (request);

    if (check.failed())
    {
        error = check.getErrorMessage();
        return false;
    }

    if (AudioTrackDecoder::open (request.source, -1, error) == nullptr)
        return false;

    queue.addJob (
        [request, completion = std::move (completion)]
        {
            juce::String failure;
            const bool ok = convert (request, failure);

            if (completion != nullptr)
                completion (ok, failure);
        });

    return true;
}

bool PcmFileExporter::convert (const Request& request, juce::String& error)
{
    auto check = checkRequest (request);

    if (check.failed())
    {
        error = check.getErrorMessage();
        return false;
    }

    auto decoder = AudioTrackDecoder::open (request.source, -1, error);

    if (decoder == nullptr)
        return false;

    const auto start =
        juce::jlimit<int64_t> (0, decoder->getLengthInSamples(), request.offset.toSamples (decoder->getSampleRate()));

    if (!decoder->seek (start))
    {
        error = decoder->getLastError();
        return false;
    }

    desktop::PartialFile partial (request.destination);
    const auto name = desktop::FileNameBytes::displayNameOf (request.destination);

    std::unique_ptr<juce::AudioFormat> format;

    if (request.type == MediaFileType::wave)
        format = std::make_unique<juce::WavAudioFormat>();
    else
        format = std::make_unique<juce::AiffAudioFormat>();

    std::unique_ptr<juce::OutputStream> target;

    if (request.openStream != nullptr)
        target = request.openStream (partial.getFile());
    else if (auto file = std::make_unique<juce::FileOutputStream> (partial.getFile(), 32768); file->openedOk())
        target = std::move (file);
    else
        error = file->getStatus().getErrorMessage();

    if (target == nullptr)
    {
        error = "\"" + name + "\" cannot be written" + (error.isEmpty() ? "." : ": " + error);
        return false;
    }

    bool streamFailed = false;
    auto stream = std::make_unique<TrackedStream> (std::move (target), streamFailed);

    std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (
        stream.get(), request.sampleRate, (unsigned int) request.channels, request.bitsPerSample, {}, 0));

    if (writer == nullptr)
    {
        error = "No writer for this format, rate and channel count.";
        return false;
    }

    juce::ignoreUnused (stream.release()); // the writer owns it now
    const int sourceChannels = decoder->getNumChannels();
    const bool resample = decoder->getSampleRate() != request.sampleRate;
    auto* control = request.control.get();

    if (control != nullptr)
        control->totalFrames = (juce::int64) std::ceil ((double) (decoder->getLengthInSamples() - start)
                                                        * request.sampleRate / decoder->getSampleRate());

    const auto calledOff = [&]
    {
        if (control == nullptr || !control->isCalledOff())
            return false;

        error = "The writing of \"" + name + "\" was called off.";
        return true;
    };
    RateConverter converter;

    if (resample && !converter.open (sourceChannels, decoder->getSampleRate(), request.sampleRate))
    {
        error = "The sound cannot be converted to " + juce::String (request.sampleRate) + " Hz.";
        return false;
    }

    juce::AudioBuffer<float> block (sourceChannels, blockFrames), converted (sourceChannels, blockFrames),
        mapped (request.channels, blockFrames);

    auto writeFrames = [&] (const juce::AudioBuffer<float>& from, int frames)
    {
        if (frames <= 0)
            return true;

        mapped.setSize (request.channels, frames, false, false, true);

        for (int ch = 0; ch < request.channels; ++ch)
        {
            if (sourceChannels == request.channels)
                mapped.copyFrom (ch, 0, from, ch, 0, frames);
            else if (request.channels > sourceChannels)
                mapped.copyFrom (ch, 0, from, ch % sourceChannels, 0, frames);
            else
            {
                // Fewer channels: each output channel is the mean of the source channels that fold onto it.
                mapped.clear (ch, 0, frames);
                int count = 0;

                for (int s = ch; s < sourceChannels; s += request.channels, ++count)
                    mapped.addFrom (ch, 0, from, s, 0, frames);

                mapped.applyGain (ch, 0, frames, 1.0f / (float) juce::jmax (1, count));
            }
        }

        if (!writer->writeFromAudioSampleBuffer (mapped, 0, frames))
            return false;

        if (control != nullptr)
            control->framesWritten += frames;

        return true;
    };

    for (;;)
    {
        if (calledOff())
            return false;

        const int got = decoder->read (block.getArrayOfWritePointers(), sourceChannels, blockFrames);

        if (got <= 0)
            break;

        bool ok;

        if (resample)
            ok = writeFrames (converted, converter.process (block.getArrayOfReadPointers(), got, converted));
        else
            ok = writeFrames (block, got);

        if (!ok)
        {
            error = "\"" + name + "\" could not be written (is the disk full?).";
            return false;
        }
    }

    if (decoder->getPosition() < decoder->getLengthInSamples())
    {
        error = "The sound could not be read to its end: " + decoder->getLastError();
        return false;
    }

    if (resample && !writeFrames (converted, converter.process (nullptr, 0, converted)))
    {
        error = "\"" + name + "\" could not be written (is the disk full?).";
        return false;
    }

    // The writer completes the header when it goes, and closes the stream: only then is all written.
    writer.reset();

    if (streamFailed || !partial.getFile().existsAsFile())
    {
        error = "\"" + name + "\" could not be completed (is the disk full?).";
        return false;
    }

    // Once called off, the copy never replaces what is at the destination, however late the writing ends.
    if (control != nullptr && !control->beginPlacing())
    {
        calledOff(); // says why
        return false;
    }

    return partial.moveIntoPlace (error);
}

} // namespace tavlin::media
