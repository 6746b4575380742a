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
#include <pthread.h>
#include <sched.h>

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

/** Parameter settings (index, normalised value) put on top of the typical ones. */
using Settings = std::vector<std::pair<int, float>>;

struct ChainCase
{
    const char* name;
    Settings settings;
};

const ChainCase chainCases[] = {
    { "typical", {} },
    // The expander, every filter of the noise reduction, level tracking and another enhancer preset.
    { "every filter",
      { { TavAudioProcessor::dexpAmount, 0.5f },
        { TavAudioProcessor::dexpThreshold, 0.6f },
        { TavAudioProcessor::preserveVoice, 1.0f },
        { TavAudioProcessor::removeRumble, 1.0f },
        { TavAudioProcessor::humRemoval, 0.5f },
        { TavAudioProcessor::numHumHarmonics, 1.0f },
        { TavAudioProcessor::track, 1.0f },
        { TavAudioProcessor::enhancePreset, 0.34f } } },
    { "noise only", { { TavAudioProcessor::noiseReductionMode, 1.0f } } },
};

/** Learns from the first second, then runs the material with every stage on, as a user would. */
Signal processWholeChain (const Signal& input, bool twoThreads, const Settings& settings = {},
                          int64_t* blocksOnTwoThreads = nullptr)
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

    for (const auto& [index, value] : settings)
        p.setParameter (index, value);

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

    for (const auto& chainCase : chainCases)
    {
        SCOPED_TRACE (chainCase.name);
        ASSERT_TRUE (vesk::vectorKernels::useInstructionSet (sets.back()));
        const auto scalar = processWholeChain (input, false, chainCase.settings);
        ASSERT_TRUE (vesk::vectorKernels::useInstructionSet ({}));

        const auto vectorOneThread = processWholeChain (input, false, chainCase.settings);
        int64_t threadedBlocks = 0;
        const auto vectorTwoThreads = processWholeChain (input, true, chainCase.settings, &threadedBlocks);
        EXPECT_GT (threadedBlocks, 0) << "the second run used two threads";

        // The chain did something: the output is far from the input.
        EXPECT_GT (compare (input, scalar).relativeDb, -20.0);

        // Threads keep every float operation in its order: the same bits.
        EXPECT_EQ (compare (vectorOneThread, vectorTwoThreads).differingSamples, 0u);

        // The vector kernels keep the order too; only the logarithms and powers may differ in their
        // last bits.
        const auto d = compare (scalar, vectorOneThread);
        EXPECT_LT (d.relativeDb, -120.0) << sets.back() << " against " << sets.front() << ": " << d.differingSamples
                                         << " samples differ";
        RecordProperty (std::string ("differingSamples ") + chainCase.name, (int) d.differingSamples);
    }
}

TEST (ChainEquivalence, OneAllowedCoreKeepsTheOfflinePassOnOneThread)
{
    // A second thread on the same core would only take turns with the first: none is made or woken.
    cpu_set_t allowed, one;
    ASSERT_EQ (pthread_getaffinity_np (pthread_self(), sizeof (allowed), &allowed), 0);
    CPU_ZERO (&one);
    CPU_SET (sched_getcpu(), &one);
    ASSERT_EQ (pthread_setaffinity_np (pthread_self(), sizeof (one), &one), 0);

    const auto threads = []
    {
        int count = 0;

        for (const auto& entry : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
            count += entry.exists() ? 1 : 0;

        return count;
    };

    Signal input (2, std::vector<float> (44100));
    std::mt19937 rng (5);
    std::normal_distribution<float> noise (0.0f, 0.1f);

    for (auto& channel : input)
        for (auto& x : channel)
            x = noise (rng);

    TavAudioProcessor p;
    prepare (p, rate, 512);
    const auto before = threads();
    Signal output;

    {
        const TavAudioProcessor::OfflineProcessing offline (p);
        output = run (p, input, 512);
    }

    const auto after = threads();
    pthread_setaffinity_np (pthread_self(), sizeof (allowed), &allowed);

    EXPECT_EQ (p.getBlocksOnTwoThreads(), 0);
    EXPECT_EQ (after, before) << "no second thread for the pass";
}

TEST (ChainEquivalence, LearningOnTwoThreadsStartsAndStopsAtTheSameBlocks)
{
    // A learn pass as the document runs it: learning starts and stops between host calls while blocks
    // may still be on the second thread. The profile and what follows are those of one thread.
    const auto input = programmeMaterial();
    ASSERT_FALSE (input.empty()) << "espeak-ng and sox make the speech";

    const auto learnAndRun = [&input] (bool twoThreads, std::vector<float>& profile, int64_t& threadedBlocks)
    {
        TavAudioProcessor p;
        prepare (p, rate, 512);
        std::unique_ptr<TavAudioProcessor::OfflineProcessing> offline;

        if (twoThreads)
            offline = std::make_unique<TavAudioProcessor::OfflineProcessing> (p);

        p.setParameter (TavAudioProcessor::clickCrackleDetection, 0.5f);
        p.setParameter (TavAudioProcessor::enhance, 0.5f);
        auto& bay = p.getNoiseReductionBay();
        juce::MidiBuffer midi;
        Signal output (2, std::vector<float> (input[0].size()));
        const auto calls = (int) input[0].size() / 512;

        for (int call = 0; call < calls; ++call)
        {
            if (call == 20)
                bay.startLearning();

            if (call == 57)
                bay.stopLearning();

            juce::AudioBuffer<float> buffer (2, 512);

            for (int c = 0; c < 2; ++c)
                buffer.copyFrom (c, 0, input[(size_t) c].data() + call * 512, 512);

            p.processBlock (buffer, midi);

            for (int c = 0; c < 2; ++c)
                std::copy_n (buffer.getReadPointer (c), 512, output[(size_t) c].begin() + call * 512);
        }

        offline.reset();
        const auto* learned = bay.getChannelNoiseProfile (1);
        profile.assign (learned->getData(), learned->getData() + learned->getLength());
        threadedBlocks = p.getBlocksOnTwoThreads();
        return output;
    };

    std::vector<float> oneProfile, twoProfile;
    int64_t oneBlocks = 0, twoBlocks = 0;
    const auto one = learnAndRun (false, oneProfile, oneBlocks);
    const auto two = learnAndRun (true, twoProfile, twoBlocks);

    EXPECT_GT (twoBlocks, 0);
    EXPECT_EQ (oneProfile, twoProfile);
    EXPECT_EQ (compare (one, two).differingSamples, 0u);
    EXPECT_NE (oneProfile, std::vector<float> (oneProfile.size(), -48.0f)) << "a profile was learned";
}
