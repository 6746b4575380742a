#pragma once

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <functional>
#include <random>

namespace tavlin::test
{

/** A private folder for one test's files, removed with everything in it when the test ends. */
class ScratchFolder
{
public:
    ScratchFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getChildFile ("tavlin-media-test-" + juce::String::toHexString (juce::Random().nextInt64())))
    {
        folder.createDirectory();
    }

    ~ScratchFolder() { folder.deleteRecursively(); }

    juce::File file (const juce::String& name) const { return folder.getChildFile (name); }
    const juce::File& get() const { return folder; }

private:
    juce::File folder;
};

/** Runs the ffmpeg tool with the given arguments (quietly, overwriting); true when it succeeded. */
inline bool runFfmpeg (const juce::String& arguments)
{
    juce::ChildProcess process;
    juce::StringArray args;
    args.add ("ffmpeg");
    args.add ("-nostdin");
    args.add ("-v");
    args.add ("error");
    args.add ("-y");
    args.addTokens (arguments, " ", "\"");
    args.removeEmptyStrings();

    for (auto& a : args)
        a = a.unquoted();

    if (!process.start (args, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return false;

    auto output = process.readAllProcessOutput();
    const bool finished = process.waitForProcessToFinish (120000);

    if (!finished || process.getExitCode() != 0)
    {
        ADD_FAILURE() << "ffmpeg " << arguments << " failed: " << output;
        return false;
    }

    return true;
}

/** Sample n of channel ch of the test signal: a tone with a channel-dependent frequency. */
inline float sineSample (int64_t n, int ch, double sampleRate)
{
    return 0.5f * (float) std::sin (2.0 * M_PI * (440.0 + 110.0 * ch) * (double) n / sampleRate);
}

/** Writes samples made by a function with a JUCE format; true on success. */
inline bool writeWithJuce (juce::AudioFormat& format, const juce::File& file, double sampleRate, int channels,
                           int64_t length, int bits, const std::function<float (int64_t, int)>& sample, int quality = 0)
{
    file.deleteFile();
    auto stream = file.createOutputStream();

    if (stream == nullptr)
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (
        format.createWriterFor (stream.get(), sampleRate, (unsigned int) channels, bits, {}, quality));

    if (writer == nullptr)
        return false;

    juce::ignoreUnused (stream.release());
    juce::AudioBuffer<float> block (channels, 4096);

    for (int64_t pos = 0; pos < length; pos += block.getNumSamples())
    {
        const int n = (int) std::min<int64_t> (block.getNumSamples(), length - pos);

        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < n; ++i)
                block.setSample (ch, i, sample (pos + i, ch));

        if (!writer->writeFromAudioSampleBuffer (block, 0, n))
            return false;
    }

    return true;
}

inline bool writeWav (const juce::File& file, double sampleRate, int channels, int64_t length, int bits,
                      const std::function<float (int64_t, int)>& sample)
{
    juce::WavAudioFormat wav;
    return writeWithJuce (wav, file, sampleRate, channels, length, bits, sample);
}

/** Reads a whole file through a JUCE format manager into a buffer; false when it cannot be read. */
inline bool readAll (juce::AudioFormatManager& manager, const juce::File& file, juce::AudioBuffer<float>& result,
                     double* sampleRate = nullptr)
{
    std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (file));

    if (reader == nullptr)
        return false;

    result.setSize ((int) reader->numChannels, (int) reader->lengthInSamples);

    if (sampleRate != nullptr)
        *sampleRate = reader->sampleRate;

    return reader->read (&result, 0, (int) reader->lengthInSamples, 0, true, true);
}

inline double toDb (double amplitude)
{
    return 20.0 * std::log10 (amplitude);
}

/** Deterministic noise in [-amplitude, amplitude) from a fixed seed, one value per (sample, channel). */
inline std::vector<float> makeNoise (size_t count, uint32_t seed, float amplitude)
{
    std::mt19937 generator (seed);
    std::uniform_real_distribution<float> distribution (-amplitude, amplitude);
    std::vector<float> values (count);

    for (auto& v : values)
        v = distribution (generator);

    return values;
}

/**
    The lag (in samples) at which b best matches a, searched over [-maxLag, maxLag], with the normalised
    correlation there.
*/
inline std::pair<int, double> bestLag (const float* a, int lengthA, const float* b, int lengthB, int maxLag)
{
    int best = 0;
    double bestValue = -2.0;

    for (int lag = -maxLag; lag <= maxLag; ++lag)
    {
        double sum = 0.0, ea = 0.0, eb = 0.0;

        for (int i = 0; i < lengthA; ++i)
        {
            const int j = i + lag;

            if (j < 0 || j >= lengthB)
                continue;

            sum += (double) a[i] * b[j];
            ea += (double) a[i] * a[i];
            eb += (double) b[j] * b[j];
        }

        const double value = ea > 0 && eb > 0 ? sum / std::sqrt (ea * eb) : 0.0;

        if (value > bestValue)
        {
            bestValue = value;
            best = lag;
        }
    }

    return { best, bestValue };
}

/** A WAVE file written byte by byte, saying what its header is told to: the format tag, channel count, rate
    and bits, over dataBytes of data (byte i is fill (i); zeros without fill).
*/
inline bool writeWaveBytes (const juce::File& file, int formatTag, int channels, int sampleRate, int bits,
                            int dataBytes, const std::function<char (int)>& fill = nullptr)
{
    juce::MemoryOutputStream out;
    const int blockAlign = channels * bits / 8;
    out.write ("RIFF", 4);
    out.writeInt (36 + dataBytes);
    out.write ("WAVEfmt ", 8);
    out.writeInt (16);
    out.writeShort ((short) formatTag);
    out.writeShort ((short) channels);
    out.writeInt (sampleRate);
    out.writeInt (sampleRate * blockAlign);
    out.writeShort ((short) blockAlign);
    out.writeShort ((short) bits);
    out.write ("data", 4);
    out.writeInt (dataBytes);

    for (int i = 0; i < dataBytes; ++i)
        out.writeByte (fill != nullptr ? fill (i) : 0);

    return file.replaceWithData (out.getData(), out.getDataSize());
}

/** A WAV file whose format tag (0x1234) no decoder knows: a well-formed header over a second of bytes. */
inline bool writeUndecodableWav (const juce::File& file)
{
    return writeWaveBytes (file, 0x1234, 2, 44100, 16, 44100 * 4, [] (int i) { return (char) (i * 37); });
}

} // namespace tavlin::test
