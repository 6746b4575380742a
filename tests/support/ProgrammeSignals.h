#pragma once

// Programme-like material built in code from fixed seeds: a voiced speech-like signal with consonant
// onsets, a drum kit with 0.1-2 ms attacks, plucked chords, and the damage a restoration stage repairs
// (crackle, clicks, hard clipping). Shared by the tests and the quality benchmark.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace tavlin::test::programme
{

using Samples = std::vector<float>;

constexpr double twoPi = 6.283185307179586;

/** Scales so that the largest magnitude is peak. */
inline void normalise (Samples& x, float peak)
{
    float largest = 0.0f;
    for (auto v : x)
        largest = std::max (largest, std::abs (v));
    if (largest > 0.0f)
        for (auto& v : x)
            v *= peak / largest;
}

/** Two-pole resonator (bandwidth in Hz) run in place over a stretch. */
struct Resonator
{
    Resonator (double frequency, double bandwidth, double rate)
    {
        const auto r = std::exp (-M_PI * bandwidth / rate);
        a1 = 2.0 * r * std::cos (twoPi * frequency / rate);
        a2 = -r * r;
        gain = 1.0 - r;
    }

    double operator() (double x)
    {
        const auto y = gain * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }

    double a1, a2, gain, y1 = 0.0, y2 = 0.0;
};

/** Speech-like material: syllables of a glottal pulse train through three formants, with a falling
    intonation, each started by a plosive burst (0.1 ms attack) or a fricative, pauses of digital
    silence between words; the take ends in a pause. Peak 0.7.
*/
inline Samples voiced (double seconds, double rate, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> uniform (0.0, 1.0);
    std::normal_distribution<double> normal (0.0, 1.0);
    Samples x ((size_t) (seconds * rate), 0.0f);
    const double vowels[][3] = {
        { 730, 1090, 2440 }, { 270, 2290, 3010 }, { 530, 1840, 2480 }, { 300, 870, 2240 }, { 640, 1190, 2390 }
    };
    size_t at = (size_t) (0.05 * rate);

    while (at < x.size())
    {
        const auto syllables = 1 + (int) (uniform (rng) * 3.0);

        for (int s = 0; s < syllables && at < x.size(); ++s)
        {
            const auto length = (size_t) ((0.12 + 0.18 * uniform (rng)) * rate);
            const auto& v = vowels[(size_t) (uniform (rng) * 5.0) % 5];
            Resonator f1 (v[0], 80, rate), f2 (v[1], 120, rate), f3 (v[2], 180, rate);
            Resonator hiss (4500 + 2000 * uniform (rng), 2500, rate);
            const auto f0 = 100.0 + 90.0 * uniform (rng);
            const auto plosive = uniform (rng) < 0.5;
            const auto consonant = (size_t) ((plosive ? 0.012 : 0.06) * rate);
            double phase = 0.0, glottal = 0.0;

            // A syllable that would be cut off by the end is left out: a take ends in a pause.
            if (at + length + consonant > x.size())
            {
                at = x.size();
                break;
            }

            for (size_t i = 0; i < length + consonant && at + i < x.size(); ++i)
            {
                const auto t = (double) i / rate;
                double y = 0.0;

                if (i < consonant)
                {
                    // Plosive: a burst with a 0.1 ms attack; fricative: noise swelling in over 10 ms.
                    const auto attack = plosive ? std::min (1.0, t / 0.0001) : std::min (1.0, t / 0.01);
                    const auto decay = plosive ? std::exp (-t / 0.004) : 1.0;
                    y = 0.5 * attack * decay * hiss (normal (rng));
                }
                else
                {
                    const auto tv = (double) (i - consonant) / rate;
                    const auto envelope =
                        std::min (1.0, tv / 0.015) * std::min (1.0, (double) (length + consonant - i) / (0.04 * rate));
                    const auto pitch = f0 * (1.0 - 0.15 * tv / 0.3);
                    phase += pitch / rate;
                    double pulse = 0.0;

                    if (phase >= 1.0)
                    {
                        phase -= 1.0;
                        pulse = 1.0;
                    }

                    // The glottal source falls off towards the highs; breath noise rides on it.
                    glottal = 0.9 * glottal + pulse;
                    const auto source = glottal + 0.05 * normal (rng);
                    y = envelope * (f1 (source) * 3.0 + f2 (source) * 2.0 + f3 (source) * 1.2);
                }

                x[at + i] += (float) y;
            }

            at += length + consonant;
        }

        at += (size_t) ((0.08 + 0.25 * uniform (rng)) * rate);
    }

    normalise (x, 0.7f);
    return x;
}

/** Speech spoken by espeak-ng and resampled by sox to the rate, peak 0.7; empty when either tool
    fails. The text must hold no single quote.
*/
inline Samples spoken (const std::string& text, double rate)
{
    char folder[] = "/tmp/programme-speech-XXXXXX";

    if (mkdtemp (folder) == nullptr)
        return {};

    const auto voice = std::string (folder) + "/voice.wav", raw = std::string (folder) + "/voice.f32";
    const auto command = "espeak-ng -w '" + voice + "' '" + text + "' && sox '" + voice + "' -r "
                         + std::to_string ((int) rate) + " -t f32 '" + raw + "'";
    Samples x;

    if (std::system (command.c_str()) == 0)
    {
        if (auto* file = std::fopen (raw.c_str(), "rb"))
        {
            float v = 0.0f;

            while (std::fread (&v, sizeof v, 1, file) == 1)
                x.push_back (v);

            std::fclose (file);
        }
    }

    std::remove (voice.c_str());
    std::remove (raw.c_str());
    rmdir (folder);
    normalise (x, 0.7f);
    return x;
}

/** A drum kit at 120 beats per minute: kick (2 ms attack, falling pitch), snare (0.5 ms attack, tone
    and noise) and closed hi-hat (0.1 ms attack, bright noise), with varying levels. Peak 0.7.
*/
inline Samples drums (double seconds, double rate, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> uniform (0.0, 1.0);
    std::normal_distribution<double> normal (0.0, 1.0);
    Samples x ((size_t) (seconds * rate), 0.0f);
    const auto eighth = 0.25 * rate;

    auto hit = [&] (size_t start, int kind, double level)
    {
        const auto length = (size_t) ((kind == 0 ? 0.35 : kind == 1 ? 0.25 : 0.08) * rate);
        const auto attack = kind == 0 ? 0.002 : kind == 1 ? 0.0005 : 0.0001;
        double phase = 0.0, previous = 0.0, high = 0.0;

        for (size_t i = 0; i < length && start + i < x.size(); ++i)
        {
            const auto t = (double) i / rate;
            const auto rise = std::min (1.0, t / attack);
            double y = 0.0;

            if (kind == 0)
            {
                phase += (50.0 + 100.0 * std::exp (-t / 0.03)) / rate;
                y = std::sin (twoPi * phase) * std::exp (-t / 0.12);
            }
            else if (kind == 1)
            {
                phase += 190.0 / rate;
                y = 0.5 * std::sin (twoPi * phase) * std::exp (-t / 0.05) + 0.6 * normal (rng) * std::exp (-t / 0.07);
            }
            else
            {
                // First difference of noise: a bright, hissing hat.
                const auto n = normal (rng);
                high = n - previous;
                previous = n;
                y = 0.4 * high * std::exp (-t / 0.02);
            }

            x[start + i] += (float) (level * rise * y);
        }
    };

    for (size_t step = 0; (double) step * eighth < (double) x.size(); ++step)
    {
        const auto start = (size_t) ((double) step * eighth);
        hit (start, 2, 0.5 + 0.5 * uniform (rng));

        if (step % 4 == 0)
            hit (start, 0, 0.8 + 0.2 * uniform (rng));
        else if (step % 4 == 2)
            hit (start, 1, 0.7 + 0.3 * uniform (rng));
    }

    normalise (x, 0.7f);
    return x;
}

/** Plucked chords (a plucked-string model per note, struck with a 0.1 ms attack), one chord per bar
    of two seconds, each string decaying. Peak 0.7.
*/
inline Samples pluckedChords (double seconds, double rate, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> uniform (-1.0, 1.0);
    Samples x ((size_t) (seconds * rate), 0.0f);
    const double chords[][4] = { { 130.81, 164.81, 196.00, 261.63 },
                                 { 110.00, 130.81, 164.81, 220.00 },
                                 { 174.61, 220.00, 261.63, 349.23 },
                                 { 196.00, 246.94, 293.66, 392.00 } };
    const auto bar = (size_t) (2.0 * rate);

    for (size_t c = 0; c * bar < x.size(); ++c)
    {
        for (size_t note = 0; note < 4; ++note)
        {
            // Strummed: each string 15 ms after the one before.
            const auto start = c * bar + note * (size_t) (0.015 * rate);
            const auto period = std::max<size_t> (2, (size_t) (rate / chords[c % 4][note]));
            std::vector<double> line (period);

            for (auto& v : line)
                v = uniform (rng);

            for (size_t i = 0; i < 2 * bar && start + i < x.size(); ++i)
            {
                const auto k = i % period;
                const auto out = line[k];
                line[k] = 0.4985 * (line[k] + line[(k + 1) % period]);
                x[start + i] += (float) (0.25 * out * std::min (1.0, (double) i / (0.0001 * rate)));
            }
        }
    }

    normalise (x, 0.7f);
    return x;
}

/** Drums and plucked chords together. Peak 0.7. */
inline Samples music (double seconds, double rate, uint32_t seed)
{
    auto x = drums (seconds, rate, seed);
    const auto chords = pluckedChords (seconds, rate, seed + 1);

    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 0.6f * x[i] + 0.6f * chords[i];

    normalise (x, 0.7f);
    return x;
}

/** Adds crackle: bursts of 1-8 samples of decaying impulses of either sign, amplitude 0.05-0.3, at
    the given rate per second.
*/
inline Samples addCrackle (Samples x, double rate, double perSecond, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> uniform (0.0, 1.0);
    const auto count = (size_t) (perSecond * (double) x.size() / rate);

    for (size_t k = 0; k < count; ++k)
    {
        const auto at = (size_t) (uniform (rng) * (double) (x.size() - 16));
        const auto length = 1 + (size_t) (uniform (rng) * 8.0);
        const auto amplitude = (0.05 + 0.25 * uniform (rng)) * (uniform (rng) < 0.5 ? -1.0 : 1.0);

        for (size_t i = 0; i < length; ++i)
            x[at + i] += (float) (amplitude * std::exp (-(double) i / 2.0) * (i % 2 == 0 ? 1.0 : -0.6));
    }

    return x;
}

/** Adds clicks: single spikes and short pops of 2-30 samples, amplitude 0.3-0.9, at the given rate per
    second.
*/
inline Samples addClicks (Samples x, double rate, double perSecond, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> uniform (0.0, 1.0);
    const auto count = (size_t) (perSecond * (double) x.size() / rate);

    for (size_t k = 0; k < count; ++k)
    {
        const auto at = (size_t) (uniform (rng) * (double) (x.size() - 40));
        const auto length = 2 + (size_t) (uniform (rng) * 28.0);
        const auto amplitude = (0.3 + 0.6 * uniform (rng)) * (uniform (rng) < 0.5 ? -1.0 : 1.0);

        for (size_t i = 0; i < length; ++i)
            x[at + i] += (float) (amplitude * std::sin (M_PI * (double) (i + 1) / (double) (length + 1)));
    }

    return x;
}

/** Hard clipping at +-level. */
inline Samples clip (Samples x, float level)
{
    for (auto& v : x)
        v = std::clamp (v, -level, level);
    return x;
}

/** Signal-to-noise ratio in dB of test against reference, over reference[from .. to), test delayed by
    delay samples.
*/
inline double snrDb (const Samples& reference, const Samples& test, size_t delay, size_t from, size_t to)
{
    double signal = 0.0, error = 0.0;

    for (size_t i = from; i < to && i + delay < test.size(); ++i)
    {
        const auto d = (double) test[i + delay] - (double) reference[i];
        signal += (double) reference[i] * (double) reference[i];
        error += d * d;
    }

    return error > 0.0 ? 10.0 * std::log10 (signal / error) : 200.0;
}

} // namespace tavlin::test::programme
