#include "FFmpegAudioFormat.h"

#include "FFmpegAudioFormatReader.h"
#include "MediaInput.h"

namespace tavlin::media
{

FFmpegAudioFormat::FFmpegAudioFormat()
    : juce::AudioFormat ("FFmpeg", juce::StringArray { ".m4a", ".aac", ".caf", ".mp3", ".mp4", ".mov", ".m4v", ".m4b",
                                                       ".mka", ".mkv", ".webm", ".opus", ".wma", ".ac3", ".ape", ".wv",
                                                       ".amr", ".3gp", ".avi" })
{
}

bool FFmpegAudioFormat::canHandleFile (const juce::File& file)
{
    // Recognised by content: any regular file is worth a look, and createReaderFor decides.
    return MediaInput::checkRegularFile (file).wasOk();
}

juce::Array<int> FFmpegAudioFormat::getPossibleSampleRates()
{
    return { 8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000 };
}

juce::Array<int> FFmpegAudioFormat::getPossibleBitDepths()
{
    return { 16, 24, 32 };
}

juce::AudioFormatReader* FFmpegAudioFormat::createReaderFor (juce::InputStream* sourceStream,
                                                             bool deleteStreamIfOpeningFails)
{
    if (sourceStream == nullptr)
        return nullptr;

    // JUCE hands the stream over only when opening succeeds, unless told otherwise.
    std::unique_ptr<juce::InputStream> owned (sourceStream);
    const auto start = sourceStream->getPosition();

    struct Unowned : juce::InputStream
    {
        explicit Unowned (juce::InputStream& s) : source (s) {}
        juce::int64 getTotalLength() override { return source.getTotalLength(); }
        bool isExhausted() override { return source.isExhausted(); }
        int read (void* dest, int bytes) override { return source.read (dest, bytes); }
        juce::int64 getPosition() override { return source.getPosition(); }
        bool setPosition (juce::int64 pos) override { return source.setPosition (pos); }
        juce::InputStream& source;
    };

    juce::String error;
    auto input = MediaInput::openStream (std::make_unique<Unowned> (*owned), error);
    std::unique_ptr<AudioTrackDecoder> decoder;

    if (input != nullptr)
        decoder = AudioTrackDecoder::open (std::move (input), -1, error);

    if (decoder == nullptr)
    {
        if (!deleteStreamIfOpeningFails)
        {
            owned->setPosition (start);
            juce::ignoreUnused (owned.release()); // the caller keeps it
        }

        return nullptr;
    }

    // The reader's base keeps the stream as its input and deletes it.
    auto reader = std::make_unique<FFmpegAudioFormatReader> (std::move (decoder), getFormatName());
    reader->input = owned.release();
    return reader.release();
}

void FFmpegAudioFormat::registerFormats (juce::AudioFormatManager& manager)
{
    // The basic formats but MP3: FFmpeg's decoder honours the encoder's delay and padding, so MP3 sound
    // comes out in step with its source.
    manager.registerFormat (new juce::WavAudioFormat(), true);
    manager.registerFormat (new juce::AiffAudioFormat(), false);
    manager.registerFormat (new juce::FlacAudioFormat(), false);
    manager.registerFormat (new juce::OggVorbisAudioFormat(), false);
    manager.registerFormat (new FFmpegAudioFormat(), false);
}

} // namespace tavlin::media
