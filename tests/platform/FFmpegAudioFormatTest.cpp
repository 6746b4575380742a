#include "MediaFixtures.h"

#include "media/FFmpegAudioFormat.h"

using namespace tavlin::media;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double rate = 44100.0;
constexpr int64_t sourceLength = 3 * 44100 + 123;

/** A chirp from 200 Hz to 4 kHz, different per channel, so a lag shows at once. */
float chirp (int64_t n, int ch)
{
    const double t = (double) n / rate;
    const double f0 = 200.0 + 50.0 * ch, k = (4000.0 - f0) / 3.0;
    return 0.4f * (float) std::sin (2.0 * M_PI * (f0 * t + 0.5 * k * t * t));
}

struct ReaderCase
{
    const char* name;
    const char* encode; // ffmpeg options turning source.wav into the file
    bool lossless;
    bool aligned; // raw AAC records no encoder delay, so its sound starts late
};

class FFmpegAudioFormatFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        source = scratch.file ("source.wav");
        ASSERT_TRUE (tavlin::test::writeWav (source, rate, 2, sourceLength, 16, chirp));
        FFmpegAudioFormat::registerFormats (manager);
        ASSERT_TRUE (tavlin::test::readAll (manager, source, reference));
    }

    juce::File encode (const ReaderCase& c)
    {
        auto file = scratch.file (c.name);
        EXPECT_TRUE (tavlin::test::runFfmpeg ("-i " + source.getFullPathName().quoted() + " " + c.encode + " "
                                              + file.getFullPathName().quoted()));
        return file;
    }

    ScratchFolder scratch;
    juce::File source;
    juce::AudioFormatManager manager;
    juce::AudioBuffer<float> reference;
};

const ReaderCase readerCases[] = {
    { "aac.m4a", "-c:a aac -b:a 192k", false, true },
    { "alac.m4a", "-c:a alac", true, true },
    { "alac.caf", "-c:a alac", true, true },
    { "pcm.caf", "-c:a pcm_s16be", true, true },
    { "sound.mp3", "-c:a libmp3lame -b:a 192k", false, true },
    { "sound.aac", "-c:a aac -b:a 192k", false, false },
    { "flac-named.bin", "-c:a flac -f flac", true, true },
};
} // namespace

TEST_F (FFmpegAudioFormatFixture, WavStaysTheDefaultFormat)
{
    ASSERT_NE (manager.getDefaultFormat(), nullptr);
    EXPECT_EQ (manager.getDefaultFormat()->getFormatName(), juce::WavAudioFormat().getFormatName());
    EXPECT_EQ (manager.getKnownFormat (manager.getNumKnownFormats() - 1)->getFormatName(), "FFmpeg");

    std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (source));
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->getFormatName(), juce::WavAudioFormat().getFormatName());
}

TEST_F (FFmpegAudioFormatFixture, ReadsWhatFFmpegDecodesInStepWithTheSource)
{
    for (const auto& c : readerCases)
    {
        SCOPED_TRACE (c.name);
        const auto file = encode (c);

        std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (file));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->getFormatName(), "FFmpeg");
        EXPECT_EQ (reader->numChannels, 2u);
        EXPECT_EQ (reader->sampleRate, rate);

        // Lossy encoders may round the end up by part of a frame; lossless files keep the length exactly.
        if (c.lossless)
            EXPECT_EQ (reader->lengthInSamples, sourceLength);
        else
            EXPECT_NEAR ((double) reader->lengthInSamples, (double) sourceLength, c.aligned ? 1152.0 : 2048.0);

        juce::AudioBuffer<float> decoded ((int) reader->numChannels, (int) reader->lengthInSamples);
        ASSERT_TRUE (reader->read (&decoded, 0, decoded.getNumSamples(), 0, true, true));

        for (int ch = 0; ch < 2; ++ch)
        {
            if (c.lossless)
            {
                float worst = 0.0f;

                for (int i = 0; i < (int) sourceLength; ++i)
                    worst = std::max (worst, std::abs (decoded.getSample (ch, i) - reference.getSample (ch, i)));

                EXPECT_LE (worst, 1.0e-6f) << "channel " << ch;
            }
            else if (c.aligned)
            {
                // Compared over the middle second: the lossy routes must not shift the sound by one sample.
                const int start = 44100, length = 44100;
                auto around = tavlin::test::bestLag (reference.getReadPointer (ch, start), length,
                                                     decoded.getReadPointer (ch, start - 64),
                                                     decoded.getNumSamples() - start + 64, 128);
                EXPECT_EQ (around.first, 64) << "channel " << ch << " is shifted";
                EXPECT_GT (around.second, 0.99);
            }
        }
    }
}

TEST_F (FFmpegAudioFormatFixture, ReadsAtAnyPositionExactlyAsInOnePass)
{
    std::mt19937 random (7);

    for (const auto& c : readerCases)
    {
        SCOPED_TRACE (c.name);
        const auto file = encode (c);
        std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (file));
        ASSERT_NE (reader, nullptr);

        juce::AudioBuffer<float> whole (2, (int) reader->lengthInSamples);
        ASSERT_TRUE (reader->read (&whole, 0, whole.getNumSamples(), 0, true, true));

        std::uniform_int_distribution<int> start (0, (int) reader->lengthInSamples - 1);

        for (int trial = 0; trial < 12; ++trial)
        {
            const int from = trial == 0 ? 0 : start (random);
            const int count = trial == 1 ? 5000 : 1 + start (random) % 3000;
            juce::AudioBuffer<float> part (2, count);
            reader->read (&part, 0, count, from, true, true);

            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < count; ++i)
                {
                    // The AAC decoder's noise substitution draws from a generator that a seek does not
                    // rewind, so lossy sound may differ far below the codec's own error (a one-sample shift
                    // of this chirp differs by up to 0.2).
                    const float expected = from + i < whole.getNumSamples() ? whole.getSample (ch, from + i) : 0.0f;
                    ASSERT_NEAR (part.getSample (ch, i), expected, c.lossless ? 0.0f : 1.0e-3f)
                        << "read of " << count << " at " << from << ", sample " << i << ", channel " << ch;
                }
        }
    }
}

TEST_F (FFmpegAudioFormatFixture, RefusesWhatIsNotSound)
{
    const auto text = scratch.file ("text.m4a");
    text.replaceWithText ("plain words, no sound");
    const auto picture = scratch.file ("picture.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=64x64:rate=5:duration=1 -c:v mpeg4 "
                                          + picture.getFullPathName().quoted()));
    const auto empty = scratch.file ("empty.mp3");
    empty.create();

    for (const auto& file : { text, picture, empty, scratch.get() })
    {
        SCOPED_TRACE (file.getFileName());
        std::unique_ptr<juce::AudioFormatReader> reader (manager.createReaderFor (file));
        EXPECT_EQ (reader, nullptr);
    }
}
