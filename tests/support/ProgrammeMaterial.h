#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace tavlin::test
{

/** Music-like test material, built in code from fixed seeds: plucked chords (Karplus-Strong strings)
    every second, drum hits (a pitch-falling thump with a noise burst) on the half seconds, over light
    hiss and 50 Hz hum. The channels differ in their chord voicing and noise, as a stereo recording does.
    Peaks stay near the given level.
*/
inline std::vector<std::vector<float>> pluckedChordsAndDrums (int channels, int length, double sampleRate,
                                                              unsigned seed, float level = 0.5f)
{
    constexpr double pi = 3.14159265358979323846;
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> uniform (-1.0f, 1.0f);
    std::normal_distribution<float> hiss (0.0f, 0.004f);

    const double chords[][3] = {
        { 196.0, 246.9, 293.7 }, { 220.0, 261.6, 329.6 }, { 174.6, 220.0, 261.6 }, { 196.0, 246.9, 392.0 }
    };
    const auto second = (int) sampleRate;
    std::vector<std::vector<float>> out ((size_t) channels, std::vector<float> ((size_t) length));

    for (int c = 0; c < channels; ++c)
    {
        auto& x = out[(size_t) c];

        for (int start = 0, chord = 0; start < length; start += second, ++chord)
        {
            for (auto hz : chords[chord % 4])
            {
                // A string: a delay line of one period filled with noise, averaged on every pass.
                const auto period = std::max (2, (int) std::lround (sampleRate / (hz * (1.0 + 0.002 * c))));
                std::vector<float> line ((size_t) period);
                for (auto& v : line)
                    v = uniform (rng);

                for (int i = 0; i < second && start + i < length; ++i)
                {
                    const auto j = (size_t) (i % period);
                    const auto next = line[(j + 1) % (size_t) period];
                    x[(size_t) (start + i)] += 0.22f * line[j];
                    line[j] = 0.4985f * (line[j] + next);
                }
            }
        }

        for (int start = second / 2; start < length; start += second)
        {
            for (int i = 0; i < second / 4 && start + i < length; ++i)
            {
                const auto t = (double) i / sampleRate;
                const auto thump =
                    std::sin (2.0 * pi * (55.0 + 90.0 * std::exp (-t * 30.0)) * t) * std::exp (-t * 12.0);
                const auto burst = uniform (rng) * std::exp (-t * 60.0);
                x[(size_t) (start + i)] += (float) (0.45 * thump + 0.2 * burst);
            }
        }

        for (int i = 0; i < length; ++i)
            x[(size_t) i] = level * x[(size_t) i] + hiss (rng)
                            + 0.01f * (float) std::sin (2.0 * pi * 50.0 * (double) i / sampleRate + c);
    }

    return out;
}

} // namespace tavlin::test
