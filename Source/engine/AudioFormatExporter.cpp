#include "AudioFormatExporter.h"

#include "ProgressLoop.h"

#include "desktop/FileNameBytes.h"
#include "desktop/PartialFile.h"

using tavlin::desktop::FileNameBytes;

namespace
{
constexpr int blockSize = 8192;
} // namespace

juce::File AudioFormatExporter::findEncoder (const juce::StringArray& locations)
{
    for (const auto& location : locations)
    {
        juce::File candidate (location);

        if (candidate.existsAsFile() && candidate.hasReadAccess())
            return candidate;
    }

    return {};
}

bool AudioFormatExporter::exportWithAudioFormat (SessionHost& host, const Request& request, juce::String& error)
{
    auto* manager = host.getFormatManager();

    if (manager == nullptr)
    {
        error = "No audio formats are available.";
        return false;
    }

    std::unique_ptr<juce::AudioFormatReader> reader (manager->createReaderFor (request.source));

    if (reader == nullptr)
    {
        error = "The processed sound could not be read.";
        return false;
    }

    std::unique_ptr<juce::AudioFormat> encoder;
    juce::AudioFormat* format = nullptr;
    int qualityOption = juce::jlimit (0, 9, request.quality);

    const auto name = FileNameBytes::displayNameOf (request.destination);

    if (isMp3 (request.destination))
    {
        const auto lame = findEncoder (request.encoderLocations);

        if (lame == juce::File())
        {
            if (request.encoderDownloadPage.isEmpty())
                host.showWarning (missingEncoderTitle, installEncoderText);
            else if (request.askQuestion != nullptr && request.askQuestion (missingEncoderTitle, missingEncoderText))
                juce::URL (request.encoderDownloadPage).launchInDefaultBrowser();

            error = "The LAME encoder was not found.";
            return false;
        }

        encoder = std::make_unique<juce::LAMEEncoderAudioFormat> (lame);
        format = encoder.get();
        qualityOption = mp3QualityOption (request.quality);
    }
    else
    {
        format = manager->findFormatForFileExtension (FileNameBytes::extensionOf (request.destination));
    }

    if (format == nullptr)
    {
        error = "There is no writer for \""
                + FileNameBytes::forDisplay (FileNameBytes::extensionOf (request.destination)) + "\" files.";
        return false;
    }

    const auto folder = FileNameBytes::parentOf (request.destination);

    if (!folder.isDirectory() || request.destination.isDirectory())
    {
        error = "\"" + FileNameBytes::forDisplay (request.destination.getFullPathName()) + "\" cannot be written.";
        return false;
    }

    tavlin::desktop::PartialFile partial (request.destination);
    auto stream = std::make_unique<juce::FileOutputStream> (partial.getFile(), 32768);

    if (stream->failedToOpen())
    {
        error = "\"" + name + "\" cannot be written: " + stream->getStatus().getErrorMessage();
        return false;
    }

    const auto channels = juce::jlimit (1, 2, (int) reader->numChannels);
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format->createWriterFor (stream.get(), reader->sampleRate, (unsigned int) channels, 16, {}, qualityOption));

    if (writer == nullptr)
    {
        error = "No writer for this format, rate and channel count.";
        return false;
    }

    auto* output = stream.release(); // the writer owns it now

    const auto start = juce::jlimit<juce::int64> (0, reader->lengthInSamples, request.startSample);
    const auto total = reader->lengthInSamples - start;
    const auto sampleRate = reader->sampleRate;
    juce::AudioBuffer<float> buffer (2, blockSize);
    bool complete = true;

    {
        ProgressLoop progress (request.progress != nullptr ? *request.progress : host, "Exporting...");

        for (juce::int64 pos = 0; pos < total && complete; pos += blockSize)
        {
            progress.update (pos, total);
            const auto n = (int) std::min<juce::int64> (blockSize, total - pos);
            complete = reader->read (&buffer, 0, n, start + pos, true, true)
                       && writer->writeFromAudioSampleBuffer (buffer, 0, n);
        }

        writer->flush();
        output->flush();
        complete = complete && output->getStatus().wasOk();

        // The encoder's writer completes its file when it goes.
        writer.reset();
        reader.reset();
    }

    if (!complete || partial.getFile().getSize() <= 0)
    {
        error = "\"" + name + "\" could not be written completely.";
        return false;
    }

    // The encoder runs as a separate program that may be stopped before it is done: what it left must
    // hold the whole sound.
    if (encoder != nullptr)
    {
        std::unique_ptr<juce::AudioFormatReader> written (manager->createReaderFor (partial.getFile()));
        const double expected = (double) total / sampleRate;

        if (written == nullptr || !(written->sampleRate > 0.0)
            || (double) written->lengthInSamples / written->sampleRate < expected - 0.05)
        {
            error = "The MP3 encoder did not complete \"" + name + "\".";
            return false;
        }
    }

    return partial.moveIntoPlace (error);
}
