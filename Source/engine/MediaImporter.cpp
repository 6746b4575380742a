#include "MediaImporter.h"

#include "ProgressLoop.h"

#include "desktop/RegularFile.h"

bool MediaImporter::importAsset (SessionHost& host, tavlin::media::MediaAsset& asset)
{
    const auto target = makeTemporaryFile (host, importEnding);

    if (target == juce::File() || !importWithAudioFormatReader (host, asset.getFile(), target))
        return false;

    asset.reopen (target);
    return true;
}

bool MediaImporter::importWithAudioFormatReader (SessionHost& host, const juce::File& source, const juce::File& target)
{
    auto* manager = host.getFormatManager();

    // The readers open what they are given with a plain open, which a named pipe holds for ever.
    if (manager == nullptr || target == juce::File() || !tavlin::desktop::RegularFile::is (source))
        return false;

    std::unique_ptr<juce::AudioFormatReader> reader (manager->createReaderFor (source));

    if (reader == nullptr || reader->numChannels == 0 || reader->lengthInSamples <= 0)
        return false;

    auto* wav = manager->getDefaultFormat();

    if (wav == nullptr)
        return false;

    target.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (target, 32768);

    if (stream->failedToOpen())
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (wav->createWriterFor (
        stream.get(), reader->sampleRate, reader->numChannels, (int) reader->bitsPerSample, {}, 0));

    if (writer == nullptr)
    {
        stream.reset();
        target.deleteFile();
        return false;
    }

    juce::ignoreUnused (stream.release()); // the writer owns it now

    constexpr int blockSize = 8192;
    const auto total = reader->lengthInSamples;
    juce::AudioBuffer<float> buffer (juce::jmax (2, (int) reader->numChannels), blockSize);
    bool complete = true;

    {
        ProgressLoop progress (host, "Importing...");

        for (juce::int64 pos = 0; pos < total && complete; pos += blockSize)
        {
            progress.update (pos, total);
            const auto n = (int) std::min<juce::int64> (blockSize, total - pos);
            complete =
                reader->read (&buffer, 0, n, pos, true, true) && writer->writeFromAudioSampleBuffer (buffer, 0, n);
        }
    }

    complete = writer->flush() && complete;
    writer.reset();
    reader.reset();

    // A partial file would play as if it were the whole media.
    if (!complete)
        target.deleteFile();

    return complete;
}

juce::File MediaImporter::makeTemporaryFile (SessionHost& host, const juce::String& ending)
{
    const auto folder = host.getTemporaryFolder();

    if (folder == juce::File() || !folder.isDirectory())
        return {};

    for (;;)
    {
        const auto number = (uint32_t) juce::Random::getSystemRandom().nextInt();
        auto file = folder.getChildFile ("temp_" + juce::String::toHexString ((int) number) + "." + ending);

        if (!file.exists())
            return file;
    }
}
