#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>
#include <vector>

/** The WAV writer of a recording. It takes float samples and stores each one as the nearest integer
    step of the file's bit depth (16 or 24), clamped to the format's range, so that input that already sits
    on those steps, as a 16- or 24-bit device delivers it, is written back exactly. At 32 bits the floats are
    stored as they are.
*/
class RecordingWavWriter : public juce::AudioFormatWriter
{
public:
    /** A writer for stream, or null when the format cannot be written; the writer owns the stream only
        when it was made (the stream pointer is then empty).
    */
    static std::unique_ptr<RecordingWavWriter> create (std::unique_ptr<juce::OutputStream>& stream, double sampleRate,
                                                       int numChannels, int bitsPerSample);

    ~RecordingWavWriter() override;

    /** samplesToWrite holds float channels (this writer counts as a floating-point one). */
    bool write (const int** samplesToWrite, int numSamples) override;
    bool flush() override;

    /** The integer step nearest to sample at bits (16 or 24), left-justified in 32 bits. */
    static int toLeftJustified (float sample, int bits) noexcept;

private:
    RecordingWavWriter (std::unique_ptr<juce::AudioFormatWriter> wavWriter, double sampleRate, int numChannels,
                        int bitsPerSample);

    std::unique_ptr<juce::AudioFormatWriter> wavWriter;
    std::vector<int> scratch;
    std::vector<const int*> channelPointers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecordingWavWriter)
};
