// The player on a sound device (a fake one, driven block by block): the clock is the sound heard, behind
// the sound handed over by the device's latency, and a device opened after the media takes over at the
// next play.

#include "FakeAudioIODeviceType.h"
#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "ProcessingAVPlayer.h"

#include "media/PlayerRenderEngine.h"

#include "../platform/MediaMeasure.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace tavlin::media;
using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::isWhite;
using player_test::pump;
using player_test::pumpUntil;

namespace
{
class PlaybackDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        juce::MessageManager::getInstance();
        manager.addAudioDeviceType (std::make_unique<FakeAudioIODeviceType>());
        ASSERT_EQ (manager.initialise (0, 2, nullptr, true), juce::String());
        ASSERT_NE (device(), nullptr);
        host.deviceManager = &manager;
        host.output = MediaPlayer::Output::device;
    }

    void TearDown() override { manager.closeAudioDevice(); }

    FakeAudioIODevice* device() { return dynamic_cast<FakeAudioIODevice*> (manager.getCurrentAudioDevice()); }

    bool openAndSetUp (MediaContainerComponent& view, const juce::File& file)
    {
        return view.loadMedia (file.getFullPathName(), nullptr, true)
               && pumpUntil ([&] { return host.analyzed.size() > 0 && host.isIdle(); });
    }

    static MediaPlayer& avPlayer (MediaContainerComponent& view) { return *view.getSession().getMediaPlayer(); }

    /** Handed over means given to the device; heard means played by it, its latency later. */
    struct BeepAndFlash
    {
        int64_t beepHandedAt = -1; // in frames handed over; -1 while not yet
        int64_t flashShownAt = -1; // the frames handed over when the white picture first showed
    };

    /** Drives the device block by block until the beep was handed over and the flash shown, or limit frames
        were handed over; afterBlock (handed) runs after each block, before the messages are pumped.
    */
    template <typename AfterBlock>
    BeepAndFlash playUntilBeepAndFlash (MediaContainerComponent& view, int block, int64_t limit,
                                        AfterBlock&& afterBlock)
    {
        auto& engine = avPlayer (view).getEngine();
        BeepAndFlash seen;
        int64_t handed = 0;

        while (handed < limit && (seen.beepHandedAt < 0 || seen.flashShownAt < 0))
        {
            // The render thread queues the sound ahead of the device: a test may outrun it, a device would not.
            for (int waited = 0; waited < 2000 && engine.getQueuedFrames() < block; ++waited)
                juce::Thread::sleep (1);

            const auto out = device()->process ({}, 0, block);

            for (int n = 0; n < block && seen.beepHandedAt < 0; ++n)
                if (std::abs (out[0][(size_t) n]) > 0.05f)
                    seen.beepHandedAt = handed + n;

            handed += block;
            afterBlock (handed);

            if (HasFatalFailure())
                break;

            pump (1);

            if (seen.flashShownAt < 0 && isWhite (avPlayer (view).getCurrentVideoFrame()))
                seen.flashShownAt = handed;
        }

        return seen;
    }

    tavlin::test::ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
    juce::AudioDeviceManager manager;
};
} // namespace

TEST_F (PlaybackDeviceTest, TheShownFrameFollowsTheSampleHeardNotTheSampleHandedOver)
{
    constexpr int rate = 44100, block = 512;
    constexpr double frame = 1.0 / 25.0;
    device()->outputLatency = 4096;
    const int latency = 4096 + device()->getCurrentBufferSizeSamples(); // about 104 ms, well over a frame
    ASSERT_EQ (device()->getCurrentSampleRate(), rate);

    const auto movie = scratch.file ("flash-and-beep.mov");
    ASSERT_TRUE (player_test::makeFlashAndBeepMovie (movie, 1.2, rate));
    FakeSession session (host);
    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, movie));

    view.rewindToStart();
    view.togglePlayPause();
    auto& engine = avPlayer (view).getEngine();
    EXPECT_EQ (engine.getOutputLatency(), latency);

    BeepAndFlash seen;
    ASSERT_NO_FATAL_FAILURE (
        seen = playUntilBeepAndFlash (view, block, 3 * rate,
                                      [&] (int64_t handed) {
                                          ASSERT_EQ (engine.getPosition(), std::max<int64_t> (0, handed - latency))
                                              << "the clock is what was heard";
                                      }));
    const auto [beepHandedAt, flashShownAt] = seen;

    ASSERT_GE (beepHandedAt, 0) << "the beep came out";
    ASSERT_GE (flashShownAt, 0) << "the flash was shown";

    // The flash shows when its beep is heard, a latency after the beep was handed over.
    EXPECT_NEAR ((double) flashShownAt / rate, (double) (beepHandedAt + latency) / rate, frame)
        << "beep handed over at " << beepHandedAt << ", flash shown at " << flashShownAt;
    view.removeMedia();
}

TEST_F (PlaybackDeviceTest, ADeviceOpenedAfterTheMediaTakesOverAtTheNextPlayAndOneClosedHandsBack)
{
    constexpr int block = 512;
    manager.closeAudioDevice();
    ASSERT_EQ (manager.getCurrentAudioDevice(), nullptr);

    const auto wav = scratch.file ("tone.wav");
    ASSERT_TRUE (tavlin::test::writeWav (wav, 44100, 2, 5 * 44100, 16,
                                         [] (int64_t n, int ch) { return tavlin::test::sineSample (n, ch, 44100); }));
    FakeSession session (host);
    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, wav));
    auto& engine = avPlayer (view).getEngine();

    // No device: the silent clock plays in real time.
    view.rewindToStart();
    view.togglePlayPause();
    EXPECT_TRUE (pumpUntil ([&] { return engine.getPosition() > 4410; })) << "the silent clock did not run";
    view.togglePlayPause();

    // A device is opened; nothing is reopened. At the next play it plays the sound and is the clock.
    manager.restartLastAudioDevice();
    ASSERT_NE (device(), nullptr);
    pump (50);
    const auto paused = engine.getPosition();
    view.togglePlayPause();
    pump (100);
    EXPECT_EQ (engine.getPosition(), paused) << "something other than the device still drives the clock";

    const int latency = device()->getCurrentBufferSizeSamples();
    float loudest = 0.0f;

    // A processor reset after the media was opened (it is when the sound's extraction ends) starts the sound
    // from the start with the processor's latency of silence; the device plays on past it.
    const int processorLatency =
        host.processor.getLatencyFor (device()->getCurrentSampleRate(), PlayerRenderEngine::maxTapFrames);
    const int blocks = (processorLatency + latency) / block + 4;

    for (int i = 1; i <= blocks; ++i)
    {
        for (int waited = 0; waited < 2000 && engine.getQueuedFrames() < block; ++waited)
            juce::Thread::sleep (1);

        const auto out = device()->process ({}, 0, block);
        loudest = std::max (loudest, juce::FloatVectorOperations::findMaximum (out[0].data(), block));
        EXPECT_EQ (engine.getPosition(), paused + std::max (0, i * block - latency));
    }

    EXPECT_GT (loudest, 0.3f) << "the device played no sound";

    // The device goes while playing: the silent clock takes over and playback does not stall.
    manager.closeAudioDevice();
    const auto handedBack = engine.getPosition();
    EXPECT_TRUE (pumpUntil ([&] { return engine.getPosition() > handedBack + 4410; }))
        << "playback stalled without the device";
    view.removeMedia();
}

namespace
{
struct OddTimeline
{
    const char* name; // with the file's extension
    const char* frameRate;
    int sampleRate;
    const char* codecs; // everything between the inputs and the output file
};

void PrintTo (const OddTimeline& source, std::ostream* os)
{
    *os << source.name;
}

class OddTimelinePlaybackTest : public PlaybackDeviceTest, public ::testing::WithParamInterface<OddTimeline>
{
};
} // namespace

TEST_P (OddTimelinePlaybackTest, TheFlashShowsWhenItsBeepIsHeardAsInTheSource)
{
    // A flash at 1 s and a beep at 1 s on each stream's own timeline; where the container moves a stream, the
    // source's relation of the two is what the player must keep.
    const auto& source = GetParam();
    const auto file = scratch.file (source.name);
    const auto video = "color=c=black:s=160x120:r=" + juce::String (source.frameRate)
                       + ":d=2.4,drawbox=c=white:t=fill:enable=between(t\\,0.99\\,1.03)";
    const auto audio = "aevalsrc=if(between(t\\,1\\,1.2)\\,0.5*sin(2*PI*1000*t)\\,0):s="
                       + juce::String (source.sampleRate) + ":c=stereo:d=2.4";
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i " + video + " -f lavfi -i " + audio + " " + source.codecs + " "
                                          + file.getFullPathName().quoted()));

    const auto decoded = tavlin::test::decodeTimeline (file);
    ASSERT_GE (decoded.flashTime, 0.0);
    const auto beep = tavlin::test::firstSampleAbove (decoded.sound, 0.1f);
    ASSERT_GT (beep, 0);
    const double relation = decoded.timeOfSample ((double) beep) - decoded.flashTime;

    constexpr int block = 512;
    device()->outputLatency = 2048;
    const int rate = (int) device()->getCurrentSampleRate();
    FakeSession session (host);
    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, file));
    view.rewindToStart();
    view.togglePlayPause();
    auto& engine = avPlayer (view).getEngine();
    const int latency = engine.getOutputLatency();
    ASSERT_GT (latency, 2048);

    const auto [beepHandedAt, flashShownAt] = playUntilBeepAndFlash (view, block, 4 * rate, [] (int64_t) {});

    ASSERT_GE (beepHandedAt, 0) << "the beep came out";
    ASSERT_GE (flashShownAt, 0) << "the flash was shown";

    // Heard a latency after it was handed over; the flash shows within a picture's time of where it belongs.
    const double heard = (double) (beepHandedAt + latency) / rate;
    const double shown = (double) flashShownAt / rate;
    ASSERT_GT (decoded.frameTimes.size(), 2u);
    const double framePeriod =
        (decoded.frameTimes.back() - decoded.frameTimes.front()) / (double) (decoded.frameTimes.size() - 1);
    EXPECT_NEAR (heard - shown, relation, framePeriod + (double) block / rate)
        << "the beep was heard " << (heard - shown) * 1000.0 << " ms after the flash showed; in the source "
        << relation * 1000.0 << " ms";
    std::cout << source.name << ": beep heard " << (heard - shown) * 1000.0 << " ms after the flash showed, "
              << relation * 1000.0 << " ms in the source" << std::endl;
    view.removeMedia();
}

INSTANTIATE_TEST_SUITE_P (
    Sources, OddTimelinePlaybackTest,
    ::testing::Values (OddTimeline { "program-stream.mpg", "25", 44100,
                                     "-c:v mpeg2video -q:v 4 -c:a libmp3lame -output_ts_offset 1.4" },
                       OddTimeline { "transport-stream.ts", "30000/1001", 48000, "-c:v mpeg2video -q:v 4 -c:a ac3" },
                       OddTimeline { "edit-list.mov", "25", 32000, "-vf setpts=PTS+0.5/TB -c:v mpeg4 -q:v 3 -c:a aac" },
                       OddTimeline { "late-sound.mov", "25", 48000,
                                     "-af asetpts=PTS+0.3/TB -c:v mpeg4 -q:v 3 -c:a pcm_s16le" }),
    [] (const auto& info)
    {
        return juce::String (info.param.name)
            .upToFirstOccurrenceOf (".", false, false)
            .replaceCharacter ('-', '_')
            .toStdString();
    });
