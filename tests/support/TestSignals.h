#pragma once

#include "ZBuffer.h"

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace tavlin::test
{

/** Fills a buffer's length with uniform noise in [-amplitude, amplitude) from a fixed seed. */
inline void fillNoise (vesk::ZBuffer& buffer, uint32_t seed, float amplitude = 1.0f)
{
    std::mt19937 generator (seed);
    std::uniform_real_distribution<float> distribution (-amplitude, amplitude);

    for (int i = 0; i < buffer.getLength(); ++i)
        buffer.getData()[i] = distribution (generator);
}

/** The discrete Fourier transform of real samples, in double: X[k] = sum x[j] e^(-2 pi i j k / n). */
inline std::vector<std::complex<double>> naiveDft (const float* x, int n)
{
    std::vector<std::complex<double>> bins ((size_t) n / 2 + 1);

    for (int k = 0; k <= n / 2; ++k)
    {
        std::complex<double> sum;

        for (int j = 0; j < n; ++j)
        {
            auto angle = -2.0 * M_PI * (double) ((int64_t) j * k % n) / (double) n;
            sum += (double) x[j] * std::complex<double> (std::cos (angle), std::sin (angle));
        }

        bins[(size_t) k] = sum;
    }

    return bins;
}

/** A sine of length samples at a frequency (Hz), amplitude and start phase (radians). */
inline std::vector<float> sine (int length, double frequency, double amplitude, double phase = 0.0,
                                double sampleRate = 44100.0)
{
    std::vector<float> x ((size_t) length);
    for (int t = 0; t < length; ++t)
        x[(size_t) t] = (float) (amplitude * std::sin (2.0 * M_PI * frequency * t / sampleRate + phase));
    return x;
}

inline double toDb (double amplitude)
{
    return 20.0 * std::log10 (amplitude);
}

} // namespace tavlin::test
