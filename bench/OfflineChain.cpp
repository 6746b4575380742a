// Runs a WAV file through the whole restoration chain offline, in 512-sample host blocks, with the
// settings a user would choose, and reports how fast that is compared with real time.
//
//   OfflineChain input.wav output.wav [--learn startSeconds lengthSeconds] [--threads 1|2]
//                [--noise-reduction-only]
//
// The noise profile is learned from the given stretch first (default: the first second). The
// output is aligned with the input (the processor's latency is trimmed off) and has the same length.
// --threads 2 runs the two channels on two threads as the application's offline passes do;
// --noise-reduction-only leaves every other stage switched off.

#include "TavAudioProcessor.h"

#include "ZNoiseReductionBay.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace
{
constexpr int hostBlock = 512;

int usage()
{
    std::fprintf (stderr, "usage: OfflineChain input.wav output.wav [--learn startSeconds lengthSeconds] "
                          "[--threads 1|2] [--noise-reduction-only]\n");
    return 2;
}

/** Runs count samples of the source from start through the processor, in host blocks; null source
    means silence. The processed samples go to destination from destinationStart on, when given.
*/
void runThrough (TavAudioProcessor& processor, const juce::AudioBuffer<float>* source, int start, int count,
                 juce::AudioBuffer<float>* destination, int destinationStart)
{
    const auto channels = processor.getTotalNumInputChannels();
    juce::AudioBuffer<float> block (channels, hostBlock);
    juce::MidiBuffer midi;

    for (int done = 0; done < count; done += hostBlock)
    {
        const auto n = std::min (hostBlock, count - done);
        block.clear();

        if (source != nullptr)
            for (int c = 0; c < channels; ++c)
                block.copyFrom (c, 0, *source, c, start + done, n);

        processor.processBlockWithSize (block, midi, n);

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
    if (argc < 3)
        return usage();

    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const juce::File inputFile = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const juce::File outputFile = juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]);
    double learnStart = 0.0, learnLength = 1.0;
    int threads = 1;
    bool noiseReductionOnly = false;

    for (int i = 3; i < argc; ++i)
    {
        const juce::String option (argv[i]);

        if (option == "--learn" && i + 2 < argc)
        {
            learnStart = juce::String (argv[++i]).getDoubleValue();
            learnLength = juce::String (argv[++i]).getDoubleValue();
        }
        else if (option == "--threads" && i + 1 < argc)
        {
            threads = juce::String (argv[++i]).getIntValue();

            if (threads != 1 && threads != 2)
                return usage();
        }
        else if (option == "--noise-reduction-only")
        {
            noiseReductionOnly = true;
        }
        else
        {
            return usage();
        }
    }

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

    TavAudioProcessor processor;
    processor.prepareToPlay (rate, hostBlock);
    processor.setPlayConfigDetails (channels, channels, rate, hostBlock);
    const auto latency = processor.getLatencySamples();

    // Learn the noise profile from the stretch, then start afresh as the application does after a
    // learn pass. The stages ahead of the noise reduction delay the stretch, so learning starts only
    // once it has reached the bay.
    const auto stretchStart = juce::jlimit (0, length - 1, (int) (learnStart * rate));
    const auto stretchLength = juce::jlimit (std::min (length - stretchStart, 4 * hostBlock), length - stretchStart,
                                             (int) (learnLength * rate));
    const auto ahead = std::min (stretchLength / 2, 8192);
    auto& noiseReduction = processor.getNoiseReductionBay();
    runThrough (processor, &input, stretchStart, ahead, nullptr, 0);
    noiseReduction.startLearning();
    runThrough (processor, &input, stretchStart + ahead, stretchLength - ahead, nullptr, 0);
    noiseReduction.stopLearning();
    runThrough (processor, nullptr, 0, 4 * hostBlock, nullptr, 0);
    processor.reset();

    const bool learned = noiseReduction.isLearning() == 0 && noiseReduction.getMode() == 1;

    processor.setParameter (TavAudioProcessor::noiseReductionMode, 0.5f);
    processor.setParameter (TavAudioProcessor::amountBroadbandNR, 0.5f);

    if (!noiseReductionOnly)
    {
        processor.setParameter (TavAudioProcessor::clickCrackleDetection, 0.5f);
        processor.setParameter (TavAudioProcessor::humRemoval, 0.0f);
        processor.setParameter (TavAudioProcessor::declipper, 1.0f);
        processor.setParameter (TavAudioProcessor::enhance, 0.5f);
        processor.setParameter (TavAudioProcessor::boostVolume, 0.25f);
    }

    juce::AudioBuffer<float> output (channels, length);
    output.clear();

    std::unique_ptr<TavAudioProcessor::OfflineProcessing> offline;

    if (threads == 2)
        offline = std::make_unique<TavAudioProcessor::OfflineProcessing> (processor);

    const auto began = std::chrono::steady_clock::now();
    runThrough (processor, &input, 0, length, &output, -latency);
    runThrough (processor, nullptr, 0, latency, &output, length - latency);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - began;
    offline.reset();

    outputFile.deleteFile();
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (new juce::FileOutputStream (outputFile), rate, (unsigned) channels, 24, {}, 0));

    if (writer == nullptr || !writer->writeFromAudioSampleBuffer (output, 0, length))
    {
        std::fprintf (stderr, "cannot write %s\n", outputFile.getFullPathName().toRawUTF8());
        return 1;
    }

    const auto audioSeconds = (double) length / rate;
    std::printf ("%s: %d channel(s), %.0f Hz, %.2f s; noise profile %s from %.2f s for %.2f s\n",
                 inputFile.getFileName().toRawUTF8(), channels, rate, audioSeconds, learned ? "learned" : "NOT learned",
                 (double) stretchStart / rate, (double) stretchLength / rate);
    std::printf ("latency %d samples; %s on %d thread(s); chain time %.3f s; %.1f x real time\n", latency,
                 noiseReductionOnly ? "noise reduction alone" : "whole chain", threads, elapsed.count(),
                 audioSeconds / elapsed.count());
    std::printf ("wrote %s\n", outputFile.getFullPathName().toRawUTF8());
    return 0;
}
