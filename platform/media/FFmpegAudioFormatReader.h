#pragma once

#include "AudioTrackDecoder.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace tavlin::media
{

/** A JUCE reader over the first audio stream of anything FFmpeg decodes; samples come as float. */
class FFmpegAudioFormatReader : public juce::AudioFormatReader
{
public:
    FFmpegAudioFormatReader (std::unique_ptr<AudioTrackDecoder> decoder, const juce::String& formatName);

    bool readSamples (int* const* destChannels, int numDestChannels, int startOffsetInDestBuffer,
                      juce::int64 startSampleInFile, int numSamples) override;

private:
    std::unique_ptr<AudioTrackDecoder> decoder;
    juce::HeapBlock<float*> channelPointers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FFmpegAudioFormatReader)
};

} // namespace tavlin::media
