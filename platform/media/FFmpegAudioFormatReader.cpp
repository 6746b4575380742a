#include "FFmpegAudioFormatReader.h"

namespace tavlin::media
{

FFmpegAudioFormatReader::FFmpegAudioFormatReader (std::unique_ptr<AudioTrackDecoder> source, const juce::String& name)
    : juce::AudioFormatReader (nullptr, name), decoder (std::move (source))
{
    sampleRate = decoder->getSampleRate();
    numChannels = (unsigned int) decoder->getNumChannels();
    lengthInSamples = decoder->getLengthInSamples();
    bitsPerSample = (unsigned int) juce::jlimit (8, 32, decoder->getBitsPerSample());
    usesFloatingPointData = true;
    channelPointers.calloc (numChannels);
}

bool FFmpegAudioFormatReader::readSamples (int* const* destChannels, int numDestChannels, int startOffsetInDestBuffer,
                                           juce::int64 startSampleInFile, int numSamples)
{
    // The base class has already cleared what lies outside the file and clipped the request to it.
    const int channelsToFill = juce::jmin (numDestChannels, (int) numChannels);
    bool anyDestination = false;

    for (int ch = 0; ch < (int) numChannels; ++ch)
    {
        channelPointers[ch] = ch < channelsToFill && destChannels[ch] != nullptr
                                  ? reinterpret_cast<float*> (destChannels[ch]) + startOffsetInDestBuffer
                                  : nullptr;
        anyDestination = anyDestination || channelPointers[ch] != nullptr;
    }

    if (!anyDestination || numSamples <= 0)
        return true;

    if (decoder->getPosition() != startSampleInFile && !decoder->seek (startSampleInFile))
        return false;

    // Null destinations are decoded into a scratch channel.
    juce::HeapBlock<float> scratch;
    juce::HeapBlock<float*> targets (numChannels);

    for (int ch = 0; ch < (int) numChannels; ++ch)
    {
        if (channelPointers[ch] == nullptr)
        {
            if (scratch == nullptr)
                scratch.allocate ((size_t) numSamples, false);

            targets[ch] = scratch.get();
        }
        else
        {
            targets[ch] = channelPointers[ch];
        }
    }

    const int got = decoder->read (targets.get(), (int) numChannels, numSamples);

    for (int ch = 0; ch < channelsToFill; ++ch)
        if (channelPointers[ch] != nullptr && got < numSamples)
            std::fill_n (channelPointers[ch] + got, numSamples - got, 0.0f);

    return got == numSamples;
}

} // namespace tavlin::media
