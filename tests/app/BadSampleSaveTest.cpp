// A float WAV file with one NaN or infinite sample, opened and saved with noise reduction on, the way a
// user does it: the processed copy carries the music after the bad sample at the level the same file
// without it gives, instead of falling silent or losing the noise reduction's balance for good.

#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "ProcessingAVPlayer.h"
#include "ProgrammeSignals.h"

#include <gtest/gtest.h>

#include <limits>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pumpUntil;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double rate = 44100.0;
constexpr double seconds = 2.5;
constexpr int64_t badAt = 22050;

double rmsOf (const juce::AudioBuffer<float>& buffer, int channel, int from, int to)
{
    return (double) buffer.getRMSLevel (channel, from, to - from);
}

class BadSampleSaveTest : public ::testing::Test
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    /** Opens the file, saves it as WAV with noise reduction on, and reads the copy back. */
    juce::AudioBuffer<float> processedCopyOf (const juce::File& file)
    {
        FakeSession session (host);
        MediaContainerComponent view (session, host.processor, host);
        EXPECT_TRUE (view.loadMedia (file.getFullPathName(), nullptr, true));
        EXPECT_TRUE (pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); }));
        host.analyzed.clear();
        host.processor.setParameter (TavAudioProcessor::noiseReductionMode, 0.5f);

        auto* player = &session.getPlayer();
        const auto out = scratch.file ("copy-" + file.getFileNameWithoutExtension() + ".wav");
        EXPECT_TRUE (player != nullptr && player->exportAsset (out, false, false, 5, 9));
        EXPECT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));
        view.removeMedia();

        juce::AudioBuffer<float> copy;
        EXPECT_TRUE (tavlin::test::readAll (host.formats, out, copy));
        return copy;
    }

    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
};

TEST_F (BadSampleSaveTest, TheMusicAfterANaNOrInfinityIsSavedAtItsLevel)
{
    using tavlin::test::programme::music;
    const std::vector<float> channels[] = { music (seconds, rate, 3), music (seconds, rate, 4) };

    // The same music twice, the second time with a NaN in the left channel and an infinity in the right.
    auto write = [&] (const char* name, bool withBadSamples)
    {
        auto file = scratch.file (name);
        const auto bad = [] (int ch)
        { return ch == 0 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity(); };
        EXPECT_TRUE (tavlin::test::writeWav (
            file, rate, 2, (int64_t) channels[0].size(), 32,
            [&] (int64_t n, int ch) { return withBadSamples && n == badAt ? bad (ch) : channels[ch][(size_t) n]; }));
        return file;
    };

    const auto clean = processedCopyOf (write ("clean.wav", false));
    const auto copy = processedCopyOf (write ("bad.wav", true));
    ASSERT_GT (clean.getNumSamples(), (int) (seconds * rate) - 1);
    ASSERT_EQ (copy.getNumSamples(), clean.getNumSamples());

    // Half a second on, to the end.
    const int from = (int) badAt + 22050, to = clean.getNumSamples();

    for (int ch = 0; ch < 2; ++ch)
    {
        const auto expected = rmsOf (clean, ch, from, to);
        ASSERT_GT (expected, 0.02);
        EXPECT_NEAR (juce::Decibels::gainToDecibels (rmsOf (copy, ch, from, to) / expected), 0.0, 0.1)
            << (ch == 0 ? "NaN" : "infinity");
    }
}

} // namespace
