#pragma once

#include "TavAudioProcessor.h"
#include "ZNoiseReductionBay.h"

#include <functional>
#include <random>
#include <vector>

namespace processor_test
{

using Signal = std::vector<std::vector<float>>;

/** Prepares the processor the way the audio tap does: prepare, then the play configuration. */
inline void prepare (TavAudioProcessor& p, double sampleRate, int blockSize, int channels = 2)
{
    p.prepareToPlay (sampleRate, blockSize);
    p.setPlayConfigDetails (channels, channels, sampleRate, blockSize);
}

/** Runs the whole signal through the processor in host calls whose sizes nextSize gives. */
inline Signal run (TavAudioProcessor& p, const Signal& input, const std::function<int()>& nextSize)
{
    const auto channels = (int) input.size();
    const auto length = (int) input[0].size();
    Signal output ((size_t) channels, std::vector<float> ((size_t) length));
    juce::MidiBuffer midi;

    for (int start = 0; start < length;)
    {
        const auto n = std::min (nextSize(), length - start);
        juce::AudioBuffer<float> buffer (channels, n);

        for (int c = 0; c < channels; ++c)
            buffer.copyFrom (c, 0, input[(size_t) c].data() + start, n);

        p.processBlock (buffer, midi);

        for (int c = 0; c < channels; ++c)
            std::copy (buffer.getReadPointer (c), buffer.getReadPointer (c) + n, output[(size_t) c].begin() + start);

        start += n;
    }

    return output;
}

inline Signal run (TavAudioProcessor& p, const Signal& input, int blockSize)
{
    return run (p, input, [blockSize] { return blockSize; });
}

/** Speech-like test material: a few partials with a slow envelope over low white noise. */
inline Signal programme (int channels, int length, double sampleRate, unsigned seed, float level = 0.3f)
{
    std::mt19937 rng (seed);
    std::normal_distribution<float> noise (0.0f, 0.01f);
    Signal s ((size_t) channels, std::vector<float> ((size_t) length));

    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
        {
            const auto t = (double) i / sampleRate;
            const auto envelope = 0.5 + 0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * 1.3 * t);
            const auto tone = std::sin (2.0 * juce::MathConstants<double>::pi * (220.0 + 30.0 * c) * t)
                              + 0.4 * std::sin (2.0 * juce::MathConstants<double>::pi * 1375.0 * t);
            s[(size_t) c][(size_t) i] = level * (float) (envelope * tone) / 1.4f + noise (rng);
        }

    return s;
}

/** Sets parameters 0 to 10, which a preset carries, to values that differ from the defaults. */
inline void setDistinctPresetParameters (TavAudioProcessor& p)
{
    const float settings[] = { 0.3f, 0.7f, 0.6123f, 0.45f, 1.0f, 1.0f, 0.5f, 0.5f, 0.37f, 1.0f, 1.0f };

    for (int i = 0; i < 11; ++i)
        p.setParameter (i, settings[i]);
}

/** Learns real profiles at 44.1 kHz from noise coloured differently on each channel. */
inline void learnProfiles (TavAudioProcessor& p, unsigned seed, int samples)
{
    prepare (p, 44100.0, 512);
    p.getNoiseReductionBay().startLearning();

    std::mt19937 rng (seed);
    std::normal_distribution<float> noise (0.0f, 0.05f);
    Signal in (2, std::vector<float> ((size_t) samples));
    float previous = 0.0f;

    for (size_t i = 0; i < in[0].size(); ++i)
    {
        in[0][i] = noise (rng);
        previous = 0.9f * previous + noise (rng);
        in[1][i] = 0.3f * previous;
    }

    run (p, in, 512);
    p.getNoiseReductionBay().stopLearning();
    run (p, Signal (2, std::vector<float> (4096)), 512);
}

} // namespace processor_test
