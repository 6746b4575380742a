// Material and measures for the quality comparison (quality.sh): makes programme-like material, damages
// it, and measures a restoration against the clean programme.
//
//   QualityTool music SECONDS RATE out.wav        drums and plucked chords after 1 s of silence, peak 0.7
//   QualityTool damage noise DB in.wav out.wav     white noise DB below the programme's RMS level
//   QualityTool damage crackle RATE in.wav out.wav crackle bursts, RATE a second
//   QualityTool damage clicks RATE in.wav out.wav  clicks, RATE a second
//   QualityTool damage clip DB in.wav out.wav      hard clip DB below the programme's peak
//   QualityTool damage hum DB in.wav out.wav       50 Hz hum (with 100 and 150 Hz at -6 and -12 dB), DB below
//                                                  the programme's RMS level
//   QualityTool measure MATERIAL TOOL clean.wav damaged.wav processed.wav
//
// measure aligns the processed file with the clean one (within +-4096 samples) and prints one table
// row: SNR gain (processed against damaged, both against the clean programme), log-spectral distance
// from the clean programme over its active frames, and the residual noise: the level of what differs
// from the clean programme in its pauses (frames below -60 dBFS).
//
// Files are mono (the first channel is read) and written as 32-bit float WAV.

#include "ProgrammeSignals.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
using tavlin::test::programme::Samples;

struct Audio
{
    Samples samples;
    double rate = 0.0;
};

int usage()
{
    std::fprintf (stderr, "usage: QualityTool music SECONDS RATE out.wav\n"
                          "       QualityTool damage noise|crackle|clicks|clip|hum VALUE in.wav out.wav\n"
                          "       QualityTool measure MATERIAL TOOL clean.wav damaged.wav processed.wav\n");
    return 2;
}

juce::File fileFor (const char* path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

bool read (const char* path, Audio& audio)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (fileFor (path)));

    if (reader == nullptr || reader->lengthInSamples <= 0)
    {
        std::fprintf (stderr, "cannot read %s\n", path);
        return false;
    }

    const auto length = (int) reader->lengthInSamples;
    juce::AudioBuffer<float> buffer ((int) reader->numChannels, length);
    reader->read (&buffer, 0, length, 0, true, true);
    audio.samples.assign (buffer.getReadPointer (0), buffer.getReadPointer (0) + length);
    audio.rate = reader->sampleRate;
    return true;
}

bool write (const char* path, const Audio& audio)
{
    const auto file = fileFor (path);
    file.deleteFile();
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (new juce::FileOutputStream (file), audio.rate, 1, 32, {}, 0));
    const float* channels[] = { audio.samples.data() };

    if (writer == nullptr || !writer->writeFromFloatArrays (channels, 1, (int) audio.samples.size()))
    {
        std::fprintf (stderr, "cannot write %s\n", path);
        return false;
    }

    return true;
}

double rmsOf (const Samples& x)
{
    double sum = 0.0;
    for (auto v : x)
        sum += (double) v * v;
    return std::sqrt (sum / (double) std::max<size_t> (1, x.size()));
}

double toDb (double v)
{
    return 20.0 * std::log10 (std::max (v, 1e-12));
}

/** The lag (samples) of processed behind clean, within +-4096, by correlation over one second from
    the middle.
*/
int findLag (const Samples& clean, const Samples& processed)
{
    constexpr int range = 4096;
    const auto length = std::min (clean.size(), processed.size());
    const auto span = std::min<size_t> (length / 4, 44100);
    const auto from = (length - span) / 2;
    auto best = 0;
    auto bestScore = -1e300;

    for (int lag = -range; lag <= range; ++lag)
    {
        double score = 0.0;

        for (auto i = from; i < from + span; ++i)
        {
            const auto j = (long) i + lag;

            if (j >= 0 && (size_t) j < processed.size())
                score += (double) clean[i] * processed[(size_t) j];
        }

        if (score > bestScore)
        {
            bestScore = score;
            best = lag;
        }
    }

    return best;
}

Samples aligned (const Samples& processed, int lag, size_t length)
{
    Samples y (length, 0.0f);

    for (size_t i = 0; i < length; ++i)
    {
        const auto j = (long) i + lag;

        if (j >= 0 && (size_t) j < processed.size())
            y[i] = processed[(size_t) j];
    }

    return y;
}

/** Mean log-spectral distance (dB) over the frames whose clean level is above -60 dBFS: 1024-point
    Hann frames every 2048 samples, power spectra compared in dB at every other bin, down to 60 dB
    below the frame's strongest clean bin.
*/
double spectralDistance (const Samples& clean, const Samples& test)
{
    constexpr int n = 1024;
    std::vector<double> window (n);

    for (int i = 0; i < n; ++i)
        window[(size_t) i] = 0.5 - 0.5 * std::cos (2.0 * M_PI * i / n);

    // A real DFT by the recurrence of each bin's twiddle: slow but plain, and fast enough here.
    std::vector<double> cosines (n), sines (n);

    for (int i = 0; i < n; ++i)
    {
        cosines[(size_t) i] = std::cos (2.0 * M_PI * i / n);
        sines[(size_t) i] = std::sin (2.0 * M_PI * i / n);
    }

    auto power = [&] (const Samples& x, size_t start, std::vector<double>& out)
    {
        for (int k = 0; k <= n / 2; k += 2)
        {
            double re = 0.0, im = 0.0;

            for (int i = 0; i < n; ++i)
            {
                const auto v = window[(size_t) i] * x[start + (size_t) i];
                const auto t = (size_t) ((k * i) % n);
                re += v * cosines[t];
                im -= v * sines[t];
            }

            out[(size_t) k / 2] = re * re + im * im;
        }
    };

    std::vector<double> a (n / 4 + 1), b (n / 4 + 1);
    double total = 0.0;
    int frames = 0;

    for (size_t start = 0; start + n <= clean.size(); start += 2 * n)
    {
        double energy = 0.0;

        for (int i = 0; i < n; ++i)
            energy += (double) clean[start + (size_t) i] * clean[start + (size_t) i];

        if (toDb (std::sqrt (energy / n)) < -60.0)
            continue;

        power (clean, start, a);
        power (test, start, b);

        // Bins more than 60 dB below the frame's strongest clean bin count as that floor, so that
        // empty bins do not dominate.
        const auto floor = *std::max_element (a.begin(), a.end()) * 1e-6 + 1e-20;
        double sum = 0.0;

        for (size_t k = 0; k < a.size(); ++k)
        {
            const auto d = 10.0 * std::log10 (std::max (b[k], floor) / std::max (a[k], floor));
            sum += d * d;
        }

        total += std::sqrt (sum / (double) a.size());
        ++frames;
    }

    return frames > 0 ? total / frames : 0.0;
}

/** RMS (dBFS) of test - clean over the 20 ms frames whose clean level is below -60 dBFS. */
double residualNoise (const Samples& clean, const Samples& test, double rate)
{
    const auto frame = (size_t) (0.02 * rate);
    double sum = 0.0;
    size_t count = 0;

    for (size_t start = 0; start + frame <= clean.size(); start += frame)
    {
        Samples part (clean.begin() + (long) start, clean.begin() + (long) (start + frame));

        if (toDb (rmsOf (part)) >= -60.0)
            continue;

        for (auto i = start; i < start + frame; ++i)
        {
            const auto d = (double) test[i] - clean[i];
            sum += d * d;
        }

        count += frame;
    }

    return count > 0 ? toDb (std::sqrt (sum / (double) count)) : 0.0;
}

int makeMusic (double seconds, double rate, const char* out)
{
    Audio audio { Samples ((size_t) rate, 0.0f), rate };
    const auto programme = tavlin::test::programme::music (seconds, rate, 4);
    audio.samples.insert (audio.samples.end(), programme.begin(), programme.end());
    return write (out, audio) ? 0 : 1;
}

int damage (const std::string& kind, double value, const char* in, const char* out)
{
    using namespace tavlin::test::programme;
    Audio audio;

    if (!read (in, audio))
        return 1;

    auto& x = audio.samples;

    // The programme's RMS level over its active samples.
    auto activeRms = [&x]
    {
        std::vector<float> active;

        for (auto v : x)
            if (std::abs (v) > 1e-4f)
                active.push_back (v);

        return rmsOf (active);
    };

    if (kind == "noise")
    {
        std::mt19937 generator (17);
        std::normal_distribution<float> noise (0.0f, (float) (activeRms() * std::pow (10.0, -value / 20.0)));

        for (auto& v : x)
            v += noise (generator);
    }
    else if (kind == "hum")
    {
        // The three partials' RMS is sqrt ((1 + 0.25 + 0.0625) / 2) times the fundamental's amplitude.
        const auto amplitude = activeRms() * std::pow (10.0, -value / 20.0) / std::sqrt (1.3125 / 2.0);

        for (size_t i = 0; i < x.size(); ++i)
        {
            const auto t = (double) i / audio.rate;
            x[i] += (float) (amplitude
                             * (std::sin (2.0 * M_PI * 50.0 * t) + 0.5 * std::sin (2.0 * M_PI * 100.0 * t)
                                + 0.25 * std::sin (2.0 * M_PI * 150.0 * t)));
        }
    }
    else if (kind == "crackle")
    {
        x = addCrackle (x, audio.rate, value, 7);
    }
    else if (kind == "clicks")
    {
        x = addClicks (x, audio.rate, value, 8);
    }
    else if (kind == "clip")
    {
        float peak = 0.0f;

        for (auto v : x)
            peak = std::max (peak, std::abs (v));

        x = clip (x, (float) (peak * std::pow (10.0, -value / 20.0)));
    }
    else
    {
        return usage();
    }

    return write (out, audio) ? 0 : 1;
}

int measure (const char* material, const char* tool, const char* cleanPath, const char* damagedPath,
             const char* processedPath)
{
    Audio clean, damaged, processed;

    if (!read (cleanPath, clean) || !read (damagedPath, damaged) || !read (processedPath, processed))
        return 1;

    const auto length = clean.samples.size();
    const auto before = aligned (damaged.samples, 0, length);
    const auto after = aligned (processed.samples, findLag (clean.samples, processed.samples), length);
    const auto snrBefore = tavlin::test::programme::snrDb (clean.samples, before, 0, 0, length);
    const auto snrAfter = tavlin::test::programme::snrDb (clean.samples, after, 0, 0, length);

    // Clean material has no SNR to gain: its row shows the SNR of the result.
    const auto gainText = snrBefore >= 200.0
                              ? "SNR " + juce::String (snrAfter, 1) + " dB"
                              : (snrAfter >= snrBefore ? "+" : "") + juce::String (snrAfter - snrBefore, 2) + " dB";
    const auto residual = residualNoise (clean.samples, after, clean.rate);
    const auto residualText =
        residual < -140.0 ? juce::String ("below -140 dBFS") : juce::String (residual, 1) + " dBFS";
    std::printf ("| %s | %s | %s | %.2f dB | %s |\n", material, tool, gainText.toRawUTF8(),
                 spectralDistance (clean.samples, after), residualText.toRawUTF8());
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    const std::string command = argc > 1 ? argv[1] : "";

    if (command == "music" && argc == 5)
        return makeMusic (std::atof (argv[2]), std::atof (argv[3]), argv[4]);

    if (command == "damage" && argc == 6)
        return damage (argv[2], std::atof (argv[3]), argv[4], argv[5]);

    if (command == "measure" && argc == 7)
        return measure (argv[2], argv[3], argv[4], argv[5], argv[6]);

    return usage();
}
