#include "RecordingWavWriter.h"

#include <cmath>

namespace
{
constexpr int chunkSamples = 4096;
} // namespace

std::unique_ptr<RecordingWavWriter> RecordingWavWriter::create (std::unique_ptr<juce::OutputStream>& stream,
                                                                double sampleRate, int numChannels, int bitsPerSample)
{
    if (stream == nullptr || (bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32))
        return {};

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), sampleRate, (unsigned int) numChannels, bitsPerSample, {}, 0));

    if (writer == nullptr)
        return {};

    juce::ignoreUnused (stream.release()); // the WAV writer owns it now
    return std::unique_ptr<RecordingWavWriter> (
        new RecordingWavWriter (std::move (writer), sampleRate, numChannels, bitsPerSample));
}

RecordingWavWriter::RecordingWavWriter (std::unique_ptr<juce::AudioFormatWriter> writer, double rate, int channels,
                                        int bits)
    : juce::AudioFormatWriter (nullptr, "WAV file", rate, (unsigned int) channels, (unsigned int) bits),
      wavWriter (std::move (writer)), scratch ((size_t) (channels * chunkSamples)),
      channelPointers ((size_t) channels + 1, nullptr)
{
    usesFloatingPointData = true;
}

RecordingWavWriter::~RecordingWavWriter() = default;

bool RecordingWavWriter::write (const int** samplesToWrite, int numSamples)
{
    const auto channels = (int) numChannels;
    const auto bits = (int) bitsPerSample;

    if (bits == 32)
        return wavWriter->write (samplesToWrite, numSamples);

    for (int start = 0; start < numSamples; start += chunkSamples)
    {
        const auto count = juce::jmin (chunkSamples, numSamples - start);

        for (int c = 0; c < channels; ++c)
        {
            auto* source = reinterpret_cast<const float*> (samplesToWrite[c]) + start;
            auto* dest = scratch.data() + (size_t) (c * chunkSamples);

            for (int i = 0; i < count; ++i)
                dest[i] = toLeftJustified (source[i], bits);

            channelPointers[(size_t) c] = dest;
        }

        if (!wavWriter->write (channelPointers.data(), count))
            return false;
    }

    return true;
}

bool RecordingWavWriter::flush()
{
    return wavWriter->flush();
}

int RecordingWavWriter::toLeftJustified (float sample, int bits) noexcept
{
    if (std::isnan (sample))
        return 0;

    const auto full = (double) (1 << (bits - 1));
    const auto step = std::nearbyint (juce::jlimit (-full, full - 1.0, (double) sample * full));
    return (int) ((juce::int64) step * ((juce::int64) 1 << (32 - bits)));
}
