#include "MediaFixtures.h"

#include "media/MediaAsset.h"

#include <juce_events/juce_events.h>
#include <sys/stat.h>

using namespace tavlin::media;
using tavlin::test::ScratchFolder;

namespace
{
struct ExpectedTrack
{
    MediaType type;
    int channels;
    double sampleRate;
    int width, height, rotation;
};

struct ProbeCase
{
    const char* name;
    std::function<bool (const juce::File&)> make;
    std::vector<ExpectedTrack> tracks;
    double durationSeconds;
};

bool writeJuce (juce::AudioFormat&& format, const juce::File& file, int channels, int bits)
{
    return tavlin::test::writeWithJuce (format, file, 44100.0, channels, 44100, bits,
                                        [] (int64_t n, int ch) { return tavlin::test::sineSample (n, ch, 44100.0); });
}

std::vector<ProbeCase> probeCases()
{
    using tavlin::test::runFfmpeg;
    const auto A = MediaType::audio;
    const auto V = MediaType::video;

    return {
        { "sine.wav",
          [] (const juce::File& f) { return writeJuce (juce::WavAudioFormat(), f, 2, 16); },
          { { A, 2, 44100.0, 0, 0, 0 } },
          1.0 },
        { "sine.flac",
          [] (const juce::File& f) { return writeJuce (juce::FlacAudioFormat(), f, 1, 16); },
          { { A, 1, 44100.0, 0, 0, 0 } },
          1.0 },
        { "sine.ogg",
          [] (const juce::File& f) { return writeJuce (juce::OggVorbisAudioFormat(), f, 2, 16); },
          { { A, 2, 44100.0, 0, 0, 0 } },
          1.0 },
        { "six.wav",
          [] (const juce::File& f) { return writeJuce (juce::WavAudioFormat(), f, 6, 24); },
          { { A, 6, 44100.0, 0, 0, 0 } },
          1.0 },
        { "movie.mp4",
          [] (const juce::File& f)
          {
              return runFfmpeg ("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "
                                "sine=frequency=440:sample_rate=48000:duration=2 -c:v libx264 -pix_fmt yuv420p "
                                "-c:a aac -shortest "
                                + f.getFullPathName().quoted());
          },
          { { V, 0, 0.0, 320, 240, 0 }, { A, 1, 48000.0, 0, 0, 0 } },
          2.0 },
        { "rotated.mov",
          [] (const juce::File& f)
          {
              // The display matrix is written when the streams are copied; this one turns the picture a
              // quarter turn clockwise.
              auto plain = f.getSiblingFile ("plain.mov");
              return runFfmpeg ("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -f lavfi -i "
                                "testsrc=size=160x120:rate=10:duration=1 -map 0 -map 1 -c:a aac -c:v mpeg4 "
                                + plain.getFullPathName().quoted())
                     && runFfmpeg ("-i " + plain.getFullPathName().quoted()
                                   + " -map 0 -c copy -metadata:s:v:0 rotate=270 " + f.getFullPathName().quoted());
          },
          { { A, 1, 44100.0, 0, 0, 0 }, { V, 0, 0.0, 160, 120, 90 } },
          1.0 },
        { "cover.mp3",
          [] (const juce::File& f)
          {
              auto cover = f.getSiblingFile ("cover.png");
              return runFfmpeg ("-f lavfi -i color=c=red:size=64x64 -frames:v 1 " + cover.getFullPathName().quoted())
                     && runFfmpeg ("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -i "
                                   + cover.getFullPathName().quoted()
                                   + " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic "
                                     "-id3v2_version 3 "
                                   + f.getFullPathName().quoted());
          },
          { { A, 1, 44100.0, 0, 0, 0 } },
          1.0 },
    };
}
} // namespace

TEST (MediaAsset, ProbesTracksInFileOrder)
{
    ScratchFolder scratch;

    for (const auto& c : probeCases())
    {
        SCOPED_TRACE (c.name);
        const auto file = scratch.file (c.name);
        ASSERT_TRUE (c.make (file));

        MediaAsset asset (file);
        ASSERT_TRUE (asset.getResult().wasOk()) << asset.getResult().getErrorMessage();
        EXPECT_TRUE (asset.isPlayable());
        EXPECT_FALSE (asset.hasProtectedContent());
        EXPECT_NEAR (asset.getDuration().seconds(), c.durationSeconds, 0.05);

        const auto& tracks = asset.getTracks();
        ASSERT_EQ ((size_t) tracks.size(), c.tracks.size());

        for (size_t i = 0; i < c.tracks.size(); ++i)
        {
            const auto& got = tracks.getReference ((int) i);
            const auto& want = c.tracks[i];
            EXPECT_EQ (got.mediaType, want.type) << "track " << i;
            EXPECT_EQ (got.trackID, (int) i + 1);

            if (want.type == MediaType::audio)
            {
                EXPECT_EQ (got.channels, want.channels);
                EXPECT_EQ (got.sampleRate, want.sampleRate);
            }
            else
            {
                EXPECT_EQ (got.naturalWidth, want.width);
                EXPECT_EQ (got.naturalHeight, want.height);
                EXPECT_EQ (got.rotationDegrees, want.rotation);
            }
        }

        const bool wantsVideo = std::any_of (c.tracks.begin(), c.tracks.end(),
                                             [] (const ExpectedTrack& t) { return t.type == MediaType::video; });
        EXPECT_EQ (asset.hasTracksWithMediaType (MediaType::video), wantsVideo);
        ASSERT_NE (asset.getFirstTrack (MediaType::audio), nullptr);
    }
}

/** A WAVE file whose header claims the given channel count and rate, followed by a little data. */
juce::File absurdWav (const juce::File& file, int channels, int sampleRate)
{
    tavlin::test::writeWaveBytes (file, 1, channels, sampleRate, 16, 4096);
    return file;
}

TEST (MediaAsset, RefusesBadInputsWithAText)
{
    ScratchFolder scratch;
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=10:duration=1 -f lavfi -i "
                                          "sine=duration=1 -c:v mpeg4 -c:a aac "
                                          + scratch.file ("whole.mp4").getFullPathName().quoted()));

    struct BadCase
    {
        const char* name;
        std::function<juce::File()> make;
    };

    const std::vector<BadCase> cases {
        { "missing", [&] { return scratch.file ("nothing-here.wav"); } },
        { "empty file",
          [&]
          {
              auto f = scratch.file ("empty.wav");
              f.create();
              return f;
          } },
        { "text renamed to .wav",
          [&]
          {
              auto f = scratch.file ("notes.wav");
              f.replaceWithText ("These are some notes, not sound.\nSecond line.\n");
              return f;
          } },
        { "truncated movie",
          [&]
          {
              juce::MemoryBlock data;
              scratch.file ("whole.mp4").loadFileAsData (data);
              auto f = scratch.file ("cut.mp4");
              f.replaceWithData (data.getData(), 600);
              return f;
          } },
        { "header claiming 2000 channels", [&] { return absurdWav (scratch.file ("wide.wav"), 2000, 44100); } },
        { "header claiming 5 MHz", [&] { return absurdWav (scratch.file ("fast.wav"), 2, 5000000); } },
        { "folder", [&] { return scratch.get(); } },
        { "named pipe",
          [&]
          {
              auto f = scratch.file ("pipe.wav");
              mkfifo (f.getFullPathName().toRawUTF8(), 0600);
              return f;
          } },
        { "device", [] { return juce::File ("/dev/zero"); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        MediaAsset asset (c.make());
        EXPECT_TRUE (asset.getResult().failed());
        EXPECT_TRUE (asset.getResult().getErrorMessage().isNotEmpty());
        EXPECT_FALSE (asset.isPlayable());
        EXPECT_TRUE (asset.getTracks().isEmpty());
    }
}

class MediaAssetLoading : public ::testing::Test
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    static void pumpUntil (const std::function<bool()>& done)
    {
        for (int i = 0; i < 500 && !done(); ++i)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    ScratchFolder scratch;
};

TEST_F (MediaAssetLoading, CompletesOnTheMessageThreadAndDropsStaleCompletions)
{
    const auto first = scratch.file ("first.wav");
    const auto second = scratch.file ("second.wav");
    ASSERT_TRUE (tavlin::test::writeWav (first, 44100.0, 1, 4410, 16, [] (int64_t, int) { return 0.1f; }));
    ASSERT_TRUE (tavlin::test::writeWav (second, 22050.0, 2, 22050, 16, [] (int64_t, int) { return 0.1f; }));

    MediaAsset asset (first);
    const juce::StringArray keys { MediaAsset::keyPlayable, MediaAsset::keyProtectedContent, MediaAsset::keyTracks,
                                   MediaAsset::keyDuration };

    int staleCalls = 0, calls = 0;
    bool onMessageThread = false;
    asset.loadValuesAsynchronously (keys, [&] { ++staleCalls; });
    EXPECT_EQ (asset.statusOfValue (MediaAsset::keyTracks), MediaAsset::KeyStatus::loading);

    // Replacing the file before the first load has delivered: only the second completion counts.
    asset.reopen (second);
    asset.loadValuesAsynchronously (keys,
                                    [&]
                                    {
                                        ++calls;
                                        onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
                                    });

    pumpUntil ([&] { return calls > 0; });
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

    EXPECT_EQ (calls, 1);
    EXPECT_EQ (staleCalls, 0);
    EXPECT_TRUE (onMessageThread);

    for (const auto& key : keys)
        EXPECT_EQ (asset.statusOfValue (key), MediaAsset::KeyStatus::loaded) << key;

    EXPECT_EQ (asset.getFirstTrack (MediaType::audio)->sampleRate, 22050.0);
    EXPECT_NEAR (asset.getDuration().seconds(), 1.0, 1.0e-6);

    // A completion for an asset destroyed in the meantime never runs.
    int orphanCalls = 0;
    {
        MediaAsset doomed (first);
        doomed.loadValuesAsynchronously (keys, [&] { ++orphanCalls; });
    }
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    EXPECT_EQ (orphanCalls, 0);
}

TEST_F (MediaAssetLoading, AFileThatCannotBeReadFailsEveryKey)
{
    const auto text = scratch.file ("text.m4a");
    text.replaceWithText ("not media at all");
    MediaAsset asset (text);

    bool done = false;
    asset.loadValuesAsynchronously ({ MediaAsset::keyTracks, MediaAsset::keyDuration }, [&] { done = true; });
    pumpUntil ([&] { return done; });

    ASSERT_TRUE (done);
    juce::String error;
    EXPECT_EQ (asset.statusOfValue (MediaAsset::keyTracks, &error), MediaAsset::KeyStatus::failed);
    EXPECT_TRUE (error.isNotEmpty());
}
