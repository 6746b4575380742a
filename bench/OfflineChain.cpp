// Runs a WAV file through the whole restoration chain offline, in 512-sample host blocks, and reports
// how fast that is compared with real time.
//
//   OfflineChain input.wav output.wav [--learn startSeconds lengthSeconds] [--no-learn] [--defaults]
//                [--set INDEX=VALUE]... [--threads 1|2] [--noise-reduction-only] [--float]
//
// The noise profile is learned from the given stretch first (default: the first second) unless
// --no-learn is given. The chain then runs with the settings a user would typically choose, or with
// the chain's factory settings under --defaults; each --set then gives one parameter (by index)
// a normalised value. The output is aligned with the input (the chain's latency is trimmed off)
// and has the same length. --threads 2 runs the two channels on two threads as the application's
// offline passes do; --noise-reduction-only leaves every stage but the noise reduction switched off.
// --float writes 32-bit float samples instead of 24-bit ones, so that outputs compare to the bit.

#include "ProcessingChain.h"

#include "ZNoiseReductionBay.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace
{
int hostBlock = 512;

int usage()
{
    std::fprintf (stderr, "usage: OfflineChain input.wav output.wav [--learn startSeconds lengthSeconds] [--no-learn]\n"
                          "                    [--defaults] [--set INDEX=VALUE]... [--threads 1|2] "
                          "[--noise-reduction-only] [--float]\n");
    return 2;
}

struct Options
{
    double learnStart = 0.0, learnLength = 1.0;
    bool learn = true;
    bool defaults = false;
    bool noiseReductionOnly = false;
    bool floatOutput = false;
    int threads = 1;
    std::vector<std::pair<int, float>> settings;
};

/** Reads the options after the two file names; false on anything it does not know. */
bool parseOptions (int argc, char* argv[], Options& options)
{
    for (int i = 3; i < argc; ++i)
    {
        const juce::String option (argv[i]);

        if (option == "--learn" && i + 2 < argc)
        {
            options.learnStart = juce::String (argv[++i]).getDoubleValue();
            options.learnLength = juce::String (argv[++i]).getDoubleValue();
        }
        else if (option == "--no-learn")
        {
            options.learn = false;
        }
        else if (option == "--defaults")
        {
            options.defaults = true;
        }
        else if (option == "--noise-reduction-only")
        {
            options.noiseReductionOnly = true;
        }
        else if (option == "--host-block" && i + 1 < argc)
        {
            hostBlock = juce::String (argv[++i]).getIntValue();

            if (hostBlock < 1 || hostBlock > 65536)
                return false;
        }
        else if (option == "--float")
        {
            options.floatOutput = true;
        }
        else if (option == "--threads" && i + 1 < argc)
        {
            options.threads = juce::String (argv[++i]).getIntValue();

            if (options.threads != 1 && options.threads != 2)
                return false;
        }
        else if (option == "--set" && i + 1 < argc)
        {
            const juce::String setting (argv[++i]);
            const auto index = setting.upToFirstOccurrenceOf ("=", false, false);
            const auto value = setting.fromFirstOccurrenceOf ("=", false, false);

            if (!setting.contains ("=") || !index.containsOnly ("0123456789") || index.isEmpty()
                || !value.containsOnly ("0123456789.-+eE") || value.isEmpty())
                return false;

            const auto parameter = index.getIntValue();
            const auto normalised = value.getFloatValue();

            if (parameter >= ProcessingChain::numParameters || !(normalised >= 0.0f && normalised <= 1.0f))
                return false;

            options.settings.emplace_back (parameter, normalised);
        }
        else
        {
            return false;
        }
    }

    return true;
}

/** Runs count samples of the source from start through the chain, in host blocks; null source
    means silence. The processed samples go to destination from destinationStart on, when given.
*/
void runThrough (ProcessingChain& chain, const juce::AudioBuffer<float>* source, int start, int count,
                 juce::AudioBuffer<float>* destination, int destinationStart)
{
    const auto channels = chain.getNumInputChannels();
    juce::AudioBuffer<float> block (channels, hostBlock);

    for (int done = 0; done < count; done += hostBlock)
    {
        const auto n = std::min (hostBlock, count - done);
        block.clear();

        if (source != nullptr)
            for (int c = 0; c < channels; ++c)
                block.copyFrom (c, 0, *source, c, start + done, n);

        chain.process (block, n);

        if (destination != nullptr)
        {
            // Samples that would land before the destination's start are dropped.
            const auto at = destinationStart + done;
            const auto skip = std::max (0, -at);
            const auto usable = std::min (n - skip, destination->getNumSamples() - (at + skip));

            for (int c = 0; c < channels && usable > 0; ++c)
                destination->copyFrom (c, at + skip, block, c, skip, usable);
        }
    }
}
} // namespace

int main (int argc, char* argv[])
{
    Options options;

    if (argc < 3 || !parseOptions (argc, argv, options))
        return usage();

    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const juce::File inputFile = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const juce::File outputFile = juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]);
    const auto learnStart = options.learnStart, learnLength = options.learnLength;

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (inputFile));

    if (reader == nullptr)
    {
        std::fprintf (stderr, "cannot read %s\n", inputFile.getFullPathName().toRawUTF8());
        return 1;
    }

    const auto channels = (int) reader->numChannels;
    const auto rate = reader->sampleRate;
    const auto length = (int) std::min<juce::int64> (reader->lengthInSamples, std::numeric_limits<int>::max() / 2);

    if (channels < 1 || channels > 2 || length < 1 || rate <= 0.0)
    {
        std::fprintf (stderr, "only mono or stereo files with samples are supported\n");
        return 1;
    }

    juce::AudioBuffer<float> input (channels, length);
    reader->read (&input, 0, length, 0, true, true);

    ProcessingChain chain;
    chain.prepare (rate, hostBlock);
    chain.setPlayConfig (channels, channels, rate, hostBlock);
    const auto latency = chain.getLatencySamples();

    // Learn the noise profile from the stretch, then start afresh as the application does after a
    // learn pass. The stages ahead of the noise reduction delay the stretch, so learning starts only
    // once it has reached the bay.
    const auto stretchStart = juce::jlimit (0, length - 1, (int) (learnStart * rate));
    const auto stretchLength = juce::jlimit (std::min (length - stretchStart, 4 * hostBlock), length - stretchStart,
                                             (int) (learnLength * rate));
    const auto ahead = std::min (stretchLength / 2, 8192);
    auto& noiseReduction = chain.getNoiseReductionBay();

    if (options.learn)
    {
        runThrough (chain, &input, stretchStart, ahead, nullptr, 0);
        noiseReduction.startLearning();
        runThrough (chain, &input, stretchStart + ahead, stretchLength - ahead, nullptr, 0);
        noiseReduction.stopLearning();
        runThrough (chain, nullptr, 0, 4 * hostBlock, nullptr, 0);
    }

    chain.reset();

    const bool learned = options.learn && noiseReduction.isLearning() == 0 && noiseReduction.getMode() == 1;

    if (!options.defaults)
    {
        chain.setParameter (ProcessingChain::noiseReductionMode, 0.5f);
        chain.setParameter (ProcessingChain::amountBroadbandNR, 0.5f);

        if (!options.noiseReductionOnly)
        {
            chain.setParameter (ProcessingChain::clickCrackleDetection, 0.5f);
            chain.setParameter (ProcessingChain::humRemoval, 0.0f);
            chain.setParameter (ProcessingChain::declipper, 1.0f);
            chain.setParameter (ProcessingChain::enhance, 0.5f);
            chain.setParameter (ProcessingChain::boostVolume, 0.25f);
        }
    }
    else
    {
        // Every parameter at its factory value, so a learned profile is not used unless a --set says so.
        for (int index = 0; index < ProcessingChain::numParameters; ++index)
            chain.setParameter (index, chain.getParameterDefaultValue (index));
    }

    for (const auto& [index, value] : options.settings)
        chain.setParameter (index, value);

    juce::AudioBuffer<float> output (channels, length);
    output.clear();

    std::unique_ptr<ProcessingChain::OfflineProcessing> offline;

    if (options.threads == 2)
        offline = std::make_unique<ProcessingChain::OfflineProcessing> (chain);

    const auto began = std::chrono::steady_clock::now();
    runThrough (chain, &input, 0, length, &output, -latency);
    runThrough (chain, nullptr, 0, latency, &output, length - latency);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - began;
    offline.reset();

    outputFile.deleteFile();
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (
        new juce::FileOutputStream (outputFile), rate, (unsigned) channels, options.floatOutput ? 32 : 24, {}, 0));

    if (writer == nullptr || !writer->writeFromAudioSampleBuffer (output, 0, length))
    {
        std::fprintf (stderr, "cannot write %s\n", outputFile.getFullPathName().toRawUTF8());
        return 1;
    }

    const auto audioSeconds = (double) length / rate;
    if (options.learn)
        std::printf ("%s: %d channel(s), %.0f Hz, %.2f s; noise profile %s from %.2f s for %.2f s\n",
                     inputFile.getFileName().toRawUTF8(), channels, rate, audioSeconds,
                     learned ? "learned" : "NOT learned", (double) stretchStart / rate, (double) stretchLength / rate);
    else
        std::printf ("%s: %d channel(s), %.0f Hz, %.2f s; no noise profile learned\n",
                     inputFile.getFileName().toRawUTF8(), channels, rate, audioSeconds);

    std::printf ("settings: %s", options.defaults ? "factory" : "typical");

    for (const auto& [index, value] : options.settings)
        std::printf (", %d=%g", index, (double) value);

    std::printf ("\n");
    std::printf ("latency %d samples; %s on %d thread(s); chain time %.3f s; %.1f x real time\n", latency,
                 options.noiseReductionOnly ? "noise reduction alone" : "whole chain", options.threads, elapsed.count(),
                 audioSeconds / elapsed.count());
    std::printf ("wrote %s\n", outputFile.getFullPathName().toRawUTF8());
    return 0;
}
