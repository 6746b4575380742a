// The whole chain on programme material: the plain scalar kernels on one thread against the processor's
// best vector kernels on one and on two threads. Speech comes from espeak-ng and sox at test time, with
// plucked chords and drums, hiss, hum, crackle, clicks and a clipped stretch on top.

#include "ProcessorTestSupport.h"
#include "ProgrammeSignals.h"
#include "ZVectorKernels.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace processor_test;

namespace
{
constexpr double rate = 44100.0;
constexpr int seconds = 8;

/** Spoken sentences at 44.1 kHz, as long as asked (repeated), or empty when the tools fail. */
std::vector<float> speech (int length)
{
    const auto folder = juce::File::createTempFile ("chain-speech");
    folder.createDirectory();
    const auto voice = folder.getChildFile ("voice.wav"), resampled = folder.getChildFile ("voice44.wav");
    const auto command = "espeak-ng -s 150 -w '" + voice.getFullPathName()
                         + "' 'The old mill stood by the river for more than a century. Every spring the "
                           "families gathered to clean the paths and paint the benches.' && sox '"
                         + voice.getFullPathName() + "' -r 44100 '" + resampled.getFullPathName() + "'";
    std::vector<float> out;

    if (std::system (command.toRawUTF8()) == 0)
    {
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatReader> reader (
            wav.createReaderFor (resampled.createInputStream().release(), true));

        if (reader != nullptr && reader->lengthInSamples > 0)
        {
            juce::AudioBuffer<float> buffer (1, (int) reader->lengthInSamples);
            reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, false);

            for (int i = 0; i < length; ++i)
                out.push_back (buffer.getSample (0, i % buffer.getNumSamples()));
        }
    }

    folder.deleteRecursively();
    return out;
}

Signal programmeMaterial()
{
    namespace programme = tavlin::test::programme;
    const auto length = seconds * (int) rate;
    auto voice = speech (length);

    if (voice.empty())
        return {};

    Signal out (2);
    std::mt19937 rng (11);
    std::normal_distribution<float> hiss (0.0f, 0.01f);

    for (int c = 0; c < 2; ++c)
    {
        auto music = programme::music (seconds, rate, 7 + (uint32_t) c);
        auto& x = out[(size_t) c];
        x.resize ((size_t) length);

        for (int i = 0; i < length; ++i)
            x[(size_t) i] = 0.3f * music[(size_t) i] + 0.6f * voice[(size_t) ((i + 37 * c) % length)] + hiss (rng)
                            + 0.02f * (float) std::sin (programme::twoPi * 50.0 * i / rate);

        // Crackle and clicks, and a stretch driven into clipping.
        x = programme::addClicks (programme::addCrackle (x, rate, 20.0, 3 + (uint32_t) c), rate, 2.0, 5 + (uint32_t) c);
        std::vector<float> loud (x.begin() + 3 * (int) rate, x.begin() + 4 * (int) rate);

        for (auto& v : loud)
            v *= 3.0f;

        loud = programme::clip (loud, 0.9f);
        std::copy (loud.begin(), loud.end(), x.begin() + 3 * (int) rate);
    }

    return out;
}

/** Learns from the first second, then runs the material with every stage on, as a user would. */
Signal processWholeChain (const Signal& input, bool twoThreads, int64_t* blocksOnTwoThreads = nullptr)
{
    TavAudioProcessor p;
    prepare (p, rate, 512);

    Signal head (2);

    for (int c = 0; c < 2; ++c)
        head[(size_t) c].assign (input[(size_t) c].begin(), input[(size_t) c].begin() + (int) rate);

    p.getNoiseReductionBay().startLearning();
    run (p, head, 512);
    p.getNoiseReductionBay().stopLearning();
    run (p, Signal (2, std::vector<float> (4096)), 512);
    p.reset();

    p.setParameter (TavAudioProcessor::noiseReductionMode, 0.5f);
    p.setParameter (TavAudioProcessor::amountBroadbandNR, 0.5f);
    p.setParameter (TavAudioProcessor::clickCrackleDetection, 0.5f);
    p.setParameter (TavAudioProcessor::humRemoval, 0.0f);
    p.setParameter (TavAudioProcessor::declipper, 1.0f);
    p.setParameter (TavAudioProcessor::enhance, 0.5f);
    p.setParameter (TavAudioProcessor::boostVolume, 0.25f);

    std::unique_ptr<TavAudioProcessor::OfflineProcessing> offline;

    if (twoThreads)
        offline = std::make_unique<TavAudioProcessor::OfflineProcessing> (p);

    // Host calls of varied sizes, as a renderer makes them.
    int call = 0;
    auto out = run (p, input, [&call] { return 256 + 384 * (call++ % 5); });

    if (blocksOnTwoThreads != nullptr)
        *blocksOnTwoThreads = p.getBlocksOnTwoThreads();

    return out;
}

struct Difference
{
    double relativeDb = -400.0;
    size_t differingSamples = 0;
};

Difference compare (const Signal& reference, const Signal& other)
{
    double signal = 0.0, error = 0.0;
    Difference d;

    for (size_t c = 0; c < reference.size(); ++c)
        for (size_t i = 0; i < reference[c].size(); ++i)
        {
            const auto x = reference[c][i], y = other[c][i];
            signal += (double) x * x;
            error += ((double) x - y) * ((double) x - y);
            d.differingSamples += std::memcmp (&x, &y, sizeof (x)) != 0 ? 1 : 0;
        }

    if (error > 0.0)
        d.relativeDb = 10.0 * std::log10 (error / signal);

    return d;
}
} // namespace

TEST (ChainEquivalence, VectorKernelsAndTwoThreadsGiveThePlainScalarChainsOutput)
{
    const auto input = programmeMaterial();
    ASSERT_FALSE (input.empty()) << "espeak-ng and sox make the speech";

    const auto sets = vesk::vectorKernels::availableInstructionSets();
    ASSERT_TRUE (vesk::vectorKernels::useInstructionSet (sets.back()));
    const auto scalar = processWholeChain (input, false);
    ASSERT_TRUE (vesk::vectorKernels::useInstructionSet ({}));

    const auto vectorOneThread = processWholeChain (input, false);
    int64_t threadedBlocks = 0;
    const auto vectorTwoThreads = processWholeChain (input, true, &threadedBlocks);
    EXPECT_GT (threadedBlocks, 0) << "the second run used two threads";

    // The chain did something: the output is far from the input.
    EXPECT_GT (compare (input, scalar).relativeDb, -20.0);

    // Threads keep every float operation in its order: the same bits.
    EXPECT_EQ (compare (vectorOneThread, vectorTwoThreads).differingSamples, 0u);

    // The vector kernels keep the order too; only the logarithm may differ in a double's last bit.
    const auto d = compare (scalar, vectorOneThread);
    EXPECT_LT (d.relativeDb, -120.0) << sets.back() << " against " << sets.front() << ": " << d.differingSamples
                                     << " samples differ";
    RecordProperty ("differingSamples", (int) d.differingSamples);
}
