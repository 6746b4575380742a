#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

namespace tavlin::media
{

/**
    A reading-only audio format for whatever FFmpeg decodes (m4a, aac, caf, mp3, mp4 sound and more).

    Files are recognised by their content, not their name, so register it after the basic formats: they keep
    their own files and this format takes the rest. It never writes.
*/
class FFmpegAudioFormat : public juce::AudioFormat
{
public:
    FFmpegAudioFormat();

    bool canHandleFile (const juce::File& file) override;
    juce::Array<int> getPossibleSampleRates() override;
    juce::Array<int> getPossibleBitDepths() override;
    bool canDoStereo() override { return true; }
    bool canDoMono() override { return true; }
    bool isCompressed() override { return true; }

    juce::AudioFormatReader* createReaderFor (juce::InputStream* sourceStream,
                                              bool deleteStreamIfOpeningFails) override;

    juce::AudioFormatWriter* createWriterFor (juce::OutputStream*, double, unsigned int, int,
                                              const juce::StringPairArray&, int) override
    {
        return nullptr;
    }

    using juce::AudioFormat::createWriterFor;

    /** Registers WAV (the default), AIFF, FLAC and Ogg Vorbis, then this format for everything else. */
    static void registerFormats (juce::AudioFormatManager& manager);
};

} // namespace tavlin::media
