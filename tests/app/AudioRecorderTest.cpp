// The recorder without a sound card: a fake device drives the callbacks with generated signals, and the
// WAV files are read back byte by byte. Also the recording names, the elapsed-time text and the level
// strips fed by the same callbacks.

#include "AudioRecorder.h"
#include "FakeAudioIODevice.h"
#include "LiveAudioInputDisplayComp.h"
#include "RecorderComponent.h"
#include "RecordingWavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace
{
using Signal = std::vector<std::vector<float>>;

/** The parts of a WAV file a recording is judged by, read straight from its bytes. */
struct WavFile
{
    int formatTag = 0; // 1 integer PCM, 3 float (the extensible form is resolved to its sub-format)
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    std::vector<uint8_t> data;

    static WavFile read (const juce::File& file)
    {
        juce::MemoryBlock block;
        WavFile wav;

        if (!file.loadFileAsData (block) || block.getSize() < 12)
            return wav;

        auto* bytes = static_cast<const uint8_t*> (block.getData());
        auto u16 = [bytes] (size_t at) { return (int) (bytes[at] | (bytes[at + 1] << 8)); };
        auto u32 = [bytes] (size_t at) { return (uint32_t) juce::ByteOrder::littleEndianInt (bytes + at); };

        if (std::memcmp (bytes, "RIFF", 4) != 0 || std::memcmp (bytes + 8, "WAVE", 4) != 0)
            return wav;

        for (size_t at = 12; at + 8 <= block.getSize();)
        {
            const auto size = (size_t) u32 (at + 4);
            const auto body = at + 8;

            if (body + size > block.getSize())
                break;

            if (std::memcmp (bytes + at, "fmt ", 4) == 0)
            {
                wav.formatTag = u16 (body);
                wav.channels = u16 (body + 2);
                wav.sampleRate = (int) u32 (body + 4);
                wav.bits = u16 (body + 14);

                if (wav.formatTag == 0xfffe && size >= 26)
                    wav.formatTag = u16 (body + 24);
            }
            else if (std::memcmp (bytes + at, "data", 4) == 0)
            {
                wav.data.assign (bytes + body, bytes + body + size);
            }

            at = body + size + (size & 1);
        }

        return wav;
    }

    int64_t frames() const { return channels > 0 && bits > 0 ? (int64_t) data.size() / (channels * bits / 8) : 0; }

    /** The raw sample of a channel and frame: the signed integer, or the float's bit pattern at 32 bits. */
    int64_t sample (int channel, int64_t frame) const
    {
        const auto bytesPerSample = bits / 8;
        const auto* p = data.data() + (size_t) ((frame * channels + channel) * bytesPerSample);

        if (bits == 16)
            return (int16_t) (p[0] | (p[1] << 8));

        if (bits == 24)
        {
            auto v = (int32_t) (p[0] | (p[1] << 8) | (p[2] << 16));
            return v >= 0x800000 ? v - 0x1000000 : v;
        }

        return (int64_t) juce::ByteOrder::littleEndianInt (p);
    }
};

/** What a sample must become in the file: its integer step at 16 or 24 bits, its bit pattern at 32. */
int64_t expectedSample (float value, int bits)
{
    if (bits == 32)
    {
        uint32_t pattern;
        std::memcpy (&pattern, &value, sizeof (pattern));
        return (int64_t) pattern;
    }

    const auto full = (double) (1 << (bits - 1));
    return (int64_t) std::nearbyint (juce::jlimit (-full, full - 1.0, (double) value * full));
}

/** A signal on the steps of the bit depth (random steps, both extremes, zero, one step each side, and
    values beyond full scale), different on every channel. At 32 bits: random floats, full scale and beyond.
*/
Signal generatedSignal (int channels, int length, int bits, unsigned seed)
{
    std::mt19937 rng (seed);
    Signal s ((size_t) channels, std::vector<float> ((size_t) length));
    const auto full = bits == 32 ? 1.0 : (double) (1 << (bits - 1));
    std::uniform_int_distribution<int> step (-(int) full, (int) full - 1);
    std::uniform_real_distribution<float> value (-1.0f, 1.0f);
    const float specials[] = {
        -1.0f, (float) ((full - 1.0) / full), 0.0f, (float) (1.0 / full), (float) (-1.0 / full), 1.5f, -1.5f, 1.0f
    };

    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
        {
            auto& x = s[(size_t) c][(size_t) i];

            if ((i + c) % 97 < (int) std::size (specials))
                x = specials[(i + c) % 97];
            else
                x = bits == 32 ? value (rng) : (float) (step (rng) / full);
        }

    return s;
}

class AudioRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile ("recordings");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    static juce::BigInteger firstBits (int n)
    {
        juce::BigInteger b;
        b.setRange (0, n, true);
        return b;
    }

    /** Opens the device with every input and both outputs at its first rate and starts it on callback. */
    static void run (FakeAudioIODevice& device, juce::AudioIODeviceCallback& callback, int inputs)
    {
        device.open (firstBits (inputs), firstBits (2), device.getAvailableSampleRates()[0], 512);
        device.start (&callback);
    }

    /** Feeds the signal through the device in blocks of changing sizes; checks that the outputs are silent.
        With a recorder, a block goes in only once the writer thread has made room for it in the FIFO, as a
        device delivering in real time would leave it.
    */
    static void feed (FakeAudioIODevice& device, const Signal& signal, const AudioRecorder* recorder = nullptr)
    {
        const int sizes[] = { 512, 100, 1, 480, 4096, 37 };
        const auto length = (int) signal[0].size();

        for (int start = 0, k = 0; start < length; ++k)
        {
            const auto n = std::min (sizes[k % (int) std::size (sizes)], length - start);

            for (int waited = 0;
                 recorder != nullptr && waited < 10000
                 && recorder->getSampleCount() - recorder->getWrittenSampleCount() + n > AudioRecorder::fifoSamples / 2;
                 ++waited)
                juce::Thread::sleep (1);

            for (const auto& out : device.process (signal, start, n))
                for (auto v : out)
                    ASSERT_EQ (v, 0.0f) << "the outputs are silent";
            start += n;
        }
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder;
};

TEST_F (AudioRecorderTest, RecordingsReadBackBitExact)
{
    struct Case
    {
        int bits, recordChannels, deviceInputs;
    };

    const Case cases[] = {
        { 16, 1, 2 },
        { 16, 2, 2 },
        { 24, 1, 2 },
        { 24, 2, 2 },
        { 32, 1, 2 },
        { 32, 2, 2 },
        // A stereo recording from a one-channel device repeats that channel and reads nothing beyond it.
        { 16, 2, 1 },
        { 24, 2, 1 },
        { 32, 2, 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.bits) + " bits, " + juce::String (c.recordChannels) + " channel(s) from "
                      + juce::String (c.deviceInputs));
        AudioRecorder recorder;
        FakeAudioIODevice device ("Test Line", c.deviceInputs, { 48000.0 });
        run (device, recorder, c.deviceInputs);
        ASSERT_EQ (recorder.getSampleRate(), 48000.0);

        auto file = folder.getChildFile ("take.wav");
        ASSERT_TRUE (file.replaceWithText ("an older file of the same name"));
        ASSERT_TRUE (recorder.startRecording (file, c.recordChannels, c.bits).wasOk());
        EXPECT_TRUE (recorder.isRecording());

        const auto length = 48000 + 123;
        const auto signal = generatedSignal (c.deviceInputs, length, c.bits, (unsigned) (c.bits * 10 + c.deviceInputs));
        feed (device, signal, &recorder);
        EXPECT_EQ (recorder.getSampleCount(), length);
        EXPECT_EQ (recorder.getDroppedSampleCount(), 0);

        auto result = recorder.stop();
        ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();
        EXPECT_FALSE (recorder.isRecording());
        EXPECT_EQ (recorder.getSampleCount(), 0) << "the next recording's time starts at zero";

        const auto wav = WavFile::read (file);
        EXPECT_EQ (wav.formatTag, c.bits == 32 ? 3 : 1);
        EXPECT_EQ (wav.channels, c.recordChannels);
        EXPECT_EQ (wav.sampleRate, 48000);
        EXPECT_EQ (wav.bits, c.bits);
        ASSERT_EQ (wav.frames(), length);

        int mismatches = 0;

        for (int ch = 0; ch < c.recordChannels; ++ch)
        {
            const auto& source = signal[(size_t) std::min (ch, c.deviceInputs - 1)];

            for (int i = 0; i < length; ++i)
                if (wav.sample (ch, i) != expectedSample (source[(size_t) i], c.bits) && ++mismatches < 5)
                    ADD_FAILURE() << "channel " << ch << " sample " << i << ": " << wav.sample (ch, i) << " for "
                                  << source[(size_t) i];
        }

        EXPECT_EQ (mismatches, 0);
    }
}

TEST_F (AudioRecorderTest, RecordingThatCannotStartSaysWhyAndWritesNothing)
{
    auto blocker = folder.getChildFile ("not a folder");
    ASSERT_TRUE (blocker.replaceWithText ("x"));

    struct Case
    {
        const char* name;
        int deviceInputs; // -1: no device runs
        juce::File file;
        int channels, bits;
        const char* expected;
    };

    const Case cases[] = {
        { "no device runs", -1, folder.getChildFile ("a.wav"), 1, 16, "No audio input device" },
        { "device without inputs", 0, folder.getChildFile ("b.wav"), 1, 16, "no input channel" },
        { "three channels", 2, folder.getChildFile ("c.wav"), 3, 16, "1 or 2 channels" },
        { "20 bits", 2, folder.getChildFile ("d.wav"), 2, 20, "16, 24 or 32 bits" },
        { "folder that cannot be made", 2, blocker.getChildFile ("e.wav"), 2, 16, "could not be created" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        AudioRecorder recorder;
        FakeAudioIODevice device ("Test Line", std::max (0, c.deviceInputs), { 44100.0 });

        if (c.deviceInputs >= 0)
            run (device, recorder, c.deviceInputs);

        auto result = recorder.startRecording (c.file, c.channels, c.bits);
        EXPECT_TRUE (result.failed());
        EXPECT_TRUE (result.getErrorMessage().contains (c.expected)) << result.getErrorMessage();
        EXPECT_FALSE (recorder.isRecording());
        EXPECT_FALSE (c.file.exists());

        device.process (Signal (2, std::vector<float> (512, 0.5f)), 0, 512);
        EXPECT_EQ (recorder.getSampleCount(), 0);
        EXPECT_TRUE (recorder.stop().wasOk()) << "nothing was recording";
    }
}

TEST_F (AudioRecorderTest, BlocksThatCouldNotBeWrittenAreReported)
{
    struct Case
    {
        const char* name;
        bool stallWriterThread;
        bool restartAtOtherRate;
    };

    // Holds the writer thread up, as a slow disk does: a client of the thread that waits until released, at the
    // latest when it goes.
    struct Stall : juce::TimeSliceClient
    {
        explicit Stall (juce::TimeSliceThread& writerThread) : thread (writerThread) {}

        ~Stall() override
        {
            released.signal();
            thread.removeTimeSliceClient (this);
        }

        int useTimeSlice() override
        {
            entered.signal();
            released.wait();
            return -1; // and leaves the thread
        }

        juce::TimeSliceThread& thread;
        juce::WaitableEvent entered, released;
    };

    for (auto c : { Case { "the writer thread falls behind", true, false },
                    Case { "the device restarts at another rate", false, true } })
    {
        SCOPED_TRACE (c.name);
        AudioRecorder recorder;
        FakeAudioIODevice device ("Test Line", 2, { 48000.0, 96000.0 });
        run (device, recorder, 2);
        Stall stall (recorder.getWriterThread());

        if (c.stallWriterThread)
        {
            stall.thread.addTimeSliceClient (&stall);
            ASSERT_TRUE (stall.entered.wait (4000));
        }

        auto file = folder.getChildFile ("dropped.wav");
        ASSERT_TRUE (recorder.startRecording (file, 2, 16).wasOk());

        const auto total = 100 * 512;
        const auto signal = generatedSignal (2, total, 16, 5);

        for (int block = 0; block < 100; ++block)
        {
            if (c.restartAtOtherRate && block == 40)
            {
                device.stop();
                device.open (firstBits (2), firstBits (2), 96000.0, 512);
                device.start (&recorder);
            }

            device.process (signal, block * 512, 512);
        }

        const auto dropped = recorder.getDroppedSampleCount();
        EXPECT_GT (dropped, 0);
        EXPECT_EQ (recorder.getSampleCount(), total) << "the elapsed time counts every block";
        stall.released.signal();

        auto result = recorder.stop();
        EXPECT_TRUE (result.failed());
        EXPECT_TRUE (result.getErrorMessage().contains ("could not be written")) << result.getErrorMessage();
        EXPECT_TRUE (result.getErrorMessage().contains ("dropped.wav"));

        // What was written is the start of the recording, intact.
        const auto wav = WavFile::read (file);
        ASSERT_EQ (wav.frames() + dropped, total);
        for (int i = 0; i < wav.frames(); i += 7)
            ASSERT_EQ (wav.sample (1, i), expectedSample (signal[1][(size_t) i], 16)) << i;
    }
}

TEST (RecordingWavWriter, RoundsToTheNearestStepAndClamps)
{
    struct Case
    {
        float sample;
        int bits;
        int expected;
    };

    const Case cases[] = {
        { 32767.0f / 32768.0f, 16, 32767 << 16 },
        { 16384.0f / 32768.0f, 16, 16384 << 16 },
        { -1.0f, 16, -32768 * 65536 },
        { 1.0f, 16, 32767 << 16 },
        { 2.0f, 16, 32767 << 16 },
        { -2.0f, 16, -32768 * 65536 },
        { 0.4f / 32768.0f, 16, 0 },
        { 0.6f / 32768.0f, 16, 1 << 16 },
        { std::nanf (""), 16, 0 },
        { 8388607.0f / 8388608.0f, 24, 8388607 << 8 },
        { -8388608.0f / 8388608.0f, 24, -8388608 * 256 },
        { 4194304.0f / 8388608.0f, 24, 4194304 << 8 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (RecordingWavWriter::toLeftJustified (c.sample, c.bits), c.expected) << c.sample << " " << c.bits;
}

TEST_F (AudioRecorderTest, RecordingNamesTakeTheFirstFreeNumber)
{
    struct Case
    {
        std::vector<const char*> existing;
        const char* expected;
    };

    const std::vector<Case> cases = {
        { {}, "Tavlin Recording.wav" },
        { { "Tavlin Recording.wav" }, "Tavlin Recording(2).wav" },
        { { "Tavlin Recording.wav", "Tavlin Recording(2).wav" }, "Tavlin Recording(3).wav" },
        { { "Tavlin Recording(2).wav" }, "Tavlin Recording.wav" },
        { { "Tavlin Recording.wav", "Tavlin Recording(3).wav" }, "Tavlin Recording(2).wav" },
        { { "Tavlin Recording.WAV", "tavlin recording.wav" }, "Tavlin Recording.wav" },
    };

    for (const auto& c : cases)
    {
        auto case_folder = folder.getNonexistentChildFile ("case", {}, false);
        ASSERT_TRUE (case_folder.createDirectory());

        for (auto* name : c.existing)
            ASSERT_TRUE (case_folder.getChildFile (name).replaceWithText ("x"));

        EXPECT_EQ (RecorderComponent::getRecordingFile (case_folder), case_folder.getChildFile (c.expected));
    }

    // One recording after another never overwrites an earlier one.
    auto sequence = folder.getChildFile ("sequence");
    ASSERT_TRUE (sequence.createDirectory());
    const char* expected[] = { "Tavlin Recording.wav", "Tavlin Recording(2).wav", "Tavlin Recording(3).wav",
                               "Tavlin Recording(4).wav" };

    for (auto* name : expected)
    {
        auto next = RecorderComponent::getRecordingFile (sequence);
        EXPECT_EQ (next.getFileName(), name);
        ASSERT_TRUE (next.replaceWithText ("x"));
    }
}

TEST (RecorderElapsedTime, FormatsHoursMinutesSecondsAndMilliseconds)
{
    struct Case
    {
        juce::int64 samples;
        double rate;
        const char* expected;
    };

    const Case cases[] = {
        { 0, 44100.0, "00:00:00.000" },
        { 90 * 48000, 48000.0, "00:01:30.000" },
        { 90 * 48000, 44100.0, "00:01:37.959" },
        { 44099, 44100.0, "00:00:00.999" },
        { 44100, 44100.0, "00:00:01.000" },
        { (juce::int64) 3723 * 48000 + 24, 48000.0, "01:02:03.000" },
        { (juce::int64) 3723 * 48000 + 25, 48000.0, "01:02:03.000" },
        { (juce::int64) 3723 * 48000 + 48, 48000.0, "01:02:03.001" },
        { (juce::int64) 100 * 3600 * 44100, 44100.0, "100:00:00.000" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (RecorderComponent::formatElapsed (c.samples, c.rate), c.expected) << c.samples << " at " << c.rate;
}

class LevelStripTest : public AudioRecorderTest
{
protected:
    static Signal constant (const std::vector<float>& levels, int length)
    {
        Signal s;
        for (auto level : levels)
            s.emplace_back ((size_t) length, level);
        return s;
    }
};

TEST_F (LevelStripTest, EachPointSums101SamplesOfItsOwnChannel)
{
    struct Case
    {
        bool useFirstInput;
        int deviceInputs;
        float expected; // every point after the first
        float firstPoint; // the first sample alone
    };

    const Case cases[] = {
        { true, 2, 101.0f * 0.5f / 100.0f, 0.5f / 100.0f },
        { false, 2, 101.0f * 0.25f / 100.0f, 0.25f / 100.0f },
        { true, 1, 101.0f * 0.5f / 100.0f, 0.5f / 100.0f },
        { false, 1, 0.0f, 0.0f }, // the device delivers no second channel: nothing is read
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.useFirstInput ? "first" : "second") + " strip, " + juce::String (c.deviceInputs)
                      + " input(s)");
        LiveAudioInputDisplayComp strip (c.useFirstInput);
        FakeAudioIODevice device ("Test Line", c.deviceInputs, { 48000.0 });
        run (device, strip, c.deviceInputs);

        auto levels = std::vector<float> { 0.5f, 0.25f };
        levels.resize ((size_t) c.deviceInputs);
        const auto signal = constant (levels, 1 + 5 * 101);
        feed (device, signal);

        EXPECT_EQ (strip.getWriteIndex(), 6);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ (strip.getPoint (k), c.expected) << k;
        EXPECT_EQ (strip.getPoint (5), c.firstPoint) << "the first point holds the first sample alone";
    }
}

TEST_F (LevelStripTest, RingIndexStaysInRangeAndHistoryClearsOnDeviceChanges)
{
    LiveAudioInputDisplayComp strip (true);
    FakeAudioIODevice device ("Test Line", 2, { 48000.0 });
    run (device, strip, 2);

    // Two and a half trips round the ring.
    const int points = 2 * LiveAudioInputDisplayComp::historySize + 4096;
    const int length = 1 + (points - 1) * 101;
    Signal signal (2, std::vector<float> ((size_t) length));
    for (int i = 0; i < length; ++i)
        signal[0][(size_t) i] = (float) ((i / 101) % 7) * 0.01f;

    for (int start = 0; start < length; start += 4096)
    {
        device.process (signal, start, std::min (4096, length - start));
        ASSERT_GE (strip.getWriteIndex(), 0);
        ASSERT_LT (strip.getWriteIndex(), LiveAudioInputDisplayComp::historySize);
    }

    EXPECT_EQ (strip.getWriteIndex(), points % LiveAudioInputDisplayComp::historySize);

    float oldest = 0.0f;
    for (int k = 0; k < LiveAudioInputDisplayComp::historySize; ++k)
        oldest = std::max (oldest, strip.getPoint (k));
    EXPECT_GT (oldest, 0.0f);

    auto allZero = [&strip]
    {
        for (int k = 0; k < LiveAudioInputDisplayComp::historySize; ++k)
            if (strip.getPoint (k) != 0.0f)
                return false;
        return true;
    };

    device.stop();
    EXPECT_TRUE (allZero()) << "cleared when the device stops";

    device.start (&strip);
    device.process (signal, 0, 40000);
    ASSERT_FALSE (allZero());
    strip.audioDeviceAboutToStart (&device);
    EXPECT_TRUE (allZero()) << "cleared when the device starts";
}

TEST_F (LevelStripTest, PaintsTheNewestPointsAtTheRightInTheFirst8192Columns)
{
    struct Case
    {
        int width;
        int newestColumn;
    };

    for (auto c : { Case { 300, 299 }, Case { 9000, 8191 } })
    {
        SCOPED_TRACE (c.width);
        LiveAudioInputDisplayComp strip (true);
        FakeAudioIODevice device ("Test Line", 1, { 48000.0 });
        run (device, strip, 1);

        // Silence for a while, then four loud points.
        Signal signal (1, std::vector<float> (101 * 400 + 1, 0.0f));
        signal[0].resize (signal[0].size() + 4 * 101, 0.9f);
        feed (device, signal);

        strip.setSize (c.width, 100);
        juce::Image image (juce::Image::ARGB, c.width, 100, true);
        {
            juce::Graphics g (image);
            strip.paintEntireComponent (g, true);
        }

        const auto bar = juce::Colour (0xff1070d0);
        EXPECT_EQ (image.getPixelAt (c.newestColumn - 1, 25), bar);
        EXPECT_EQ (image.getPixelAt (c.newestColumn - 3, 25), bar);
        EXPECT_EQ (image.getPixelAt (c.newestColumn - 10, 25), juce::Colours::black);
        EXPECT_EQ (image.getPixelAt (c.newestColumn / 2, 75), juce::Colours::black);

        if (c.width > LiveAudioInputDisplayComp::historySize)
        {
            EXPECT_EQ (image.getPixelAt (c.newestColumn, 25), bar);
        }

        if (c.width > LiveAudioInputDisplayComp::historySize)
        {
            EXPECT_EQ (image.getPixelAt (8500, 25), juce::Colours::black) << "nothing past the ring's length";
        }
    }
}
} // namespace
