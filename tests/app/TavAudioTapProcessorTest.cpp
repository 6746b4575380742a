// The tap bridge driven the way a renderer drives it: prepare with a format, then process calls that pull a
// known source signal. Processed output is compared bit for bit with a second processor fed directly.

#include "TavAudioTapProcessor.h"
#include "ProcessorTestSupport.h"

#include "ExclusiveExportTap.h"
#include "media/AudioProcessingTap.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

using namespace tavlin::media;

namespace
{
constexpr double rate = 44100.0;

/** Collects what goes to the log while it is installed. */
class LogCapture : public juce::Logger
{
public:
    LogCapture() { juce::Logger::setCurrentLogger (this); }
    ~LogCapture() override { juce::Logger::setCurrentLogger (nullptr); }

    int count (const juce::String& text) const
    {
        int n = 0;

        for (auto& line : lines)
            n += line == text ? 1 : 0;

        return n;
    }

    juce::StringArray lines;

private:
    void logMessage (const juce::String& message) override { lines.add (message); }
};

/** The track's sound: fixed-seed noise per channel, handed out block after block. */
class NoiseSource : public AudioProcessingTap::Source
{
public:
    NoiseSource (int channels, int length)
    {
        std::mt19937 rng (1234);
        std::uniform_real_distribution<float> d (-0.5f, 0.5f);
        signal.assign ((size_t) channels, std::vector<float> ((size_t) length));

        for (auto& ch : signal)
            for (auto& v : ch)
                v = d (rng);
    }

    int64_t pullAudio (TapBufferList& list, int64_t frames, MediaTimeRange&) override
    {
        ++pulls;

        for (int i = 0; i < list.numberBuffers; ++i)
            for (int64_t n = 0; n < frames; ++n)
                list.buffers[i].data[n] = signal[(size_t) i % signal.size()][(size_t) (position + n)];

        position += frames;
        return frames;
    }

    processor_test::Signal signal;
    int64_t position = 0;
    int pulls = 0;
};

MediaComposition::Track audioTrack()
{
    MediaComposition::Track t;
    t.mediaType = MediaType::audio;
    t.trackID = 1;
    return t;
}

enum class Expect
{
    processed,
    passedThrough,
    silence
};

enum class Exclusive
{
    none,
    self,
    other
};

struct TapCase
{
    const char* name;
    AudioStreamFormat format;
    int maxFrames;
    int listChannels;
    int frames;
    Exclusive exclusive;
    Expect expect;
    bool reportsFrames;
    // Each exactly once over all calls. Not a juce::StringArray: the test runner keeps the cases until after
    // the framework's leak detector has counted its objects at exit.
    std::vector<juce::String> loggedOnce;
};

void PrintTo (const TapCase& c, std::ostream* os)
{
    *os << c.name;
}

AudioStreamFormat withFlags (int channels, uint32_t flags, int bits)
{
    return { rate, AudioStreamFormat::linearPCM, flags, channels, bits };
}

std::vector<TapCase> tapCases()
{
    AudioStreamFormat notPcm = AudioStreamFormat::planarFloat (rate, 2);
    notPcm.formatID = 0x61616320; // 'aac '
    const AudioStreamFormat int16 = withFlags (2,
                                               AudioStreamFormat::flagIsSignedInteger | AudioStreamFormat::flagIsPacked
                                                   | AudioStreamFormat::flagIsNonInterleaved,
                                               16);
    const AudioStreamFormat interleaved =
        withFlags (2, AudioStreamFormat::flagIsFloat | AudioStreamFormat::flagIsPacked, 32);
    const auto stereo = AudioStreamFormat::planarFloat (rate, 2);

    return {
        { "stereo, whole blocks", stereo, 4096, 2, 4096, Exclusive::none, Expect::processed, true, {} },
        { "stereo, fewer frames than prepared", stereo, 4096, 2, 1000, Exclusive::none, Expect::processed, true, {} },
        { "mono",
          AudioStreamFormat::planarFloat (rate, 1),
          1024,
          1,
          700,
          Exclusive::none,
          Expect::processed,
          true,
          {} },
        { "this tap holds the export", stereo, 1024, 2, 1024, Exclusive::self, Expect::processed, true, {} },
        { "another tap holds the export", stereo, 1024, 2, 1024, Exclusive::other, Expect::silence, true, {} },
        { "16-bit integers",
          int16,
          1024,
          2,
          1024,
          Exclusive::none,
          Expect::passedThrough,
          true,
          { TavAudioTapProcessor::unsupportedFormatFlagMessage, TavAudioTapProcessor::unsupportedProcessingMessage } },
        { "not linear PCM",
          notPcm,
          1024,
          2,
          1024,
          Exclusive::none,
          Expect::passedThrough,
          true,
          { TavAudioTapProcessor::unsupportedFormatIdMessage, TavAudioTapProcessor::unsupportedProcessingMessage } },
        { "interleaved",
          interleaved,
          1024,
          2,
          1024,
          Exclusive::none,
          Expect::passedThrough,
          true,
          { TavAudioTapProcessor::unsupportedLayoutMessage, TavAudioTapProcessor::unsupportedProcessingMessage } },
        { "six channels",
          AudioStreamFormat::planarFloat (rate, 6),
          1024,
          6,
          1024,
          Exclusive::none,
          Expect::passedThrough,
          true,
          { TavAudioTapProcessor::unsupportedLayoutMessage, TavAudioTapProcessor::unsupportedProcessingMessage } },
        { "list with fewer channels than prepared",
          stereo,
          1024,
          1,
          1024,
          Exclusive::none,
          Expect::silence,
          false,
          { TavAudioTapProcessor::sourceAudioMessage + "-1" } },
    };
}

class TapBridgeTest : public ::testing::TestWithParam<TapCase>
{
protected:
    juce::ScopedJuceInitialiser_GUI juce;
};

TEST_P (TapBridgeTest, HandsBackProcessedPassedOrSilentSound)
{
    const auto& c = GetParam();
    // Enough calls to get well past the processor's silent lead-in (its latency, under 13000 samples here).
    const int calls = 18000 / c.frames + 1;
    LogCapture log;

    TavAudioProcessor processor;
    TavAudioTapProcessor bridge (audioTrack(), processor.getChain());
    auto mix = bridge.audioMix();
    ASSERT_NE (mix, nullptr);
    EXPECT_EQ (bridge.audioMix(), mix) << "the mix is made once";
    auto tap = mix->getTapForTrack (1);
    ASSERT_NE (tap, nullptr);
    EXPECT_EQ (tap.get(), bridge.getTap());
    EXPECT_EQ (tap->getCreationFlags(), AudioProcessingTap::creationFlagPreEffects);

    std::unique_ptr<AudioProcessingTap> otherTap;
    std::optional<ExclusiveExportTap> exclusive;

    if (c.exclusive == Exclusive::other)
    {
        AudioProcessingTap::Callbacks none;
        none.process = [] (AudioProcessingTap&, int64_t, uint32_t, TapBufferList&, int64_t*, uint32_t*) {};
        otherTap = AudioProcessingTap::create (none, 0);
        exclusive.emplace (otherTap.get());
    }
    else if (c.exclusive == Exclusive::self)
        exclusive.emplace (tap.get());

    tap->prepare (c.maxFrames, c.format);

    // The renderer's buffers start out holding garbage, as a reused block would.
    NoiseSource source (juce::jmax (1, c.format.channelsPerFrame), calls * c.frames);
    juce::AudioBuffer<float> io (c.listChannels, c.frames);
    processor_test::Signal output ((size_t) c.listChannels, std::vector<float> ((size_t) (calls * c.frames)));

    for (int call = 0; call < calls; ++call)
    {
        for (int ch = 0; ch < c.listChannels; ++ch)
            juce::FloatVectorOperations::fill (io.getWritePointer (ch), 0.75f, c.frames);

        TapBufferList list;
        list.set (io.getArrayOfWritePointers(), c.listChannels, c.frames);
        const auto reported = tap->process (c.frames, list, source);

        EXPECT_EQ (reported, c.reportsFrames ? c.frames : 0) << c.name << " call " << call;

        for (int ch = 0; ch < c.listChannels; ++ch)
            std::copy (io.getReadPointer (ch), io.getReadPointer (ch) + c.frames,
                       output[(size_t) ch].begin() + call * c.frames);
    }

    exclusive.reset();

    switch (c.expect)
    {
        case Expect::silence:
            for (auto& ch : output)
                for (auto v : ch)
                    ASSERT_EQ (v, 0.0f) << c.name << ": silence, never what the buffers held";

            if (c.exclusive == Exclusive::other)
            {
                EXPECT_EQ (source.pulls, 0) << "the source is not fetched while another tap holds the export";
            }
            break;

        case Expect::passedThrough:
            for (size_t ch = 0; ch < output.size(); ++ch)
                for (size_t n = 0; n < output[ch].size(); ++n)
                    ASSERT_EQ (output[ch][n], source.signal[ch][n]) << c.name << ": unprocessed, unchanged";
            break;

        case Expect::processed:
        {
            TavAudioProcessor reference;
            processor_test::prepare (reference, rate, c.maxFrames, c.listChannels);
            auto expected = processor_test::run (reference, source.signal, c.frames);
            EXPECT_EQ (processor.getLatencySamples(), reference.getLatencySamples());
            EXPECT_EQ (processor.getTotalNumInputChannels(), c.listChannels);

            bool heardSomething = false;

            for (size_t ch = 0; ch < output.size(); ++ch)
                for (size_t n = 0; n < output[ch].size(); ++n)
                {
                    ASSERT_EQ (output[ch][n], expected[ch][n]) << c.name << " channel " << ch << " sample " << n;
                    heardSomething = heardSomething || output[ch][n] != 0.0f;
                }

            ASSERT_GT (calls * c.frames, reference.getLatencySamples() + 4096);
            EXPECT_TRUE (heardSomething) << "past the latency the processed sound comes out";
            break;
        }
    }

    for (auto& text : c.loggedOnce)
        EXPECT_EQ (log.count (text), 1) << c.name << ": " << text;

    if (c.loggedOnce.empty())
    {
        EXPECT_TRUE (log.lines.isEmpty()) << c.name << ": " << log.lines.joinIntoString (" | ");
    }
}

INSTANTIATE_TEST_SUITE_P (Cases, TapBridgeTest, ::testing::ValuesIn (tapCases()),
                          [] (const auto& info)
                          {
                              auto name = juce::String (info.param.name)
                                              .retainCharacters (
                                                  "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ");
                              return name.replaceCharacter (' ', '_').toStdString();
                          });

class TapBridgeLifeTest : public ::testing::Test
{
protected:
    juce::ScopedJuceInitialiser_GUI juce;
};

TEST_F (TapBridgeLifeTest, ResetPrimesTheProcessorBeforeAndAfterPreparing)
{
    TavAudioProcessor processor;
    TavAudioTapProcessor bridge (audioTrack(), processor.getChain());

    // Before any mix or prepare there is nothing to zero but the processor itself.
    bridge.reset();
    EXPECT_EQ (bridge.getTap(), nullptr);

    auto tap = bridge.audioMix()->getTapForTrack (1);
    bridge.reset(); // the 2 x 512 buffer of a fresh tap

    // After a rendering, reset leaves the processor as a fresh one: the same output for the same input.
    tap->prepare (1024, AudioStreamFormat::planarFloat (rate, 2));
    NoiseSource source (2, 8 * 1024);
    juce::AudioBuffer<float> io (2, 1024);

    auto render = [&] (int blocks)
    {
        processor_test::Signal out (2, std::vector<float> ((size_t) blocks * 1024));

        for (int b = 0; b < blocks; ++b)
        {
            TapBufferList list;
            list.set (io.getArrayOfWritePointers(), 2, 1024);
            tap->process (1024, list, source);

            for (int ch = 0; ch < 2; ++ch)
                std::copy (io.getReadPointer (ch), io.getReadPointer (ch) + 1024, out[(size_t) ch].begin() + b * 1024);
        }

        return out;
    };

    auto first = render (4);
    bridge.reset();
    source.position = 0;
    auto again = render (4);
    EXPECT_EQ (first, again);
}

TEST_F (TapBridgeLifeTest, TheTapOutlivesItsBridgeWhileARendererHoldsIt)
{
    TavAudioProcessor processor;
    std::shared_ptr<AudioProcessingTap> held;

    {
        TavAudioTapProcessor bridge (audioTrack(), processor.getChain());
        held = bridge.audioMix()->getTapForTrack (1);
        held->prepare (512, AudioStreamFormat::planarFloat (rate, 2));
    }

    NoiseSource source (2, 512);
    juce::AudioBuffer<float> io (2, 512);
    TapBufferList list;
    list.set (io.getArrayOfWritePointers(), 2, 512);
    EXPECT_EQ (held->process (512, list, source), 512);
    held.reset();
}
} // namespace
