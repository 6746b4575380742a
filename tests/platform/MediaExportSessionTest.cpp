#include "DelayGainTap.h"
#include "MediaFixtures.h"
#include "MediaMeasure.h"

#include "media/AudioTrackDecoder.h"
#include "media/MediaExportSession.h"
#include "media/MediaInput.h"

#include <csignal>
#include <sys/resource.h>

using namespace tavlin::media;
using tavlin::test::packetsOf;
using tavlin::test::ScratchFolder;
using tavlin::test::StreamKind;

namespace
{
constexpr double rate = 44100.0;
constexpr int latency = 1234; // deliberately not a multiple of any codec's frame
constexpr float gain = 0.5f;

juce::AudioBuffer<float> decodeAll (const juce::File& file)
{
    juce::String error;
    auto decoder = AudioTrackDecoder::open (file, -1, error);
    EXPECT_NE (decoder, nullptr) << error;

    if (decoder == nullptr)
        return {};

    juce::AudioBuffer<float> result (decoder->getNumChannels(), (int) decoder->getLengthInSamples());
    EXPECT_EQ (decoder->read (result.getArrayOfWritePointers(), result.getNumChannels(), result.getNumSamples()),
               result.getNumSamples());
    return result;
}

bool runSession (MediaExportSession& session)
{
    std::atomic<bool> done { false };
    session.exportAsynchronously ([&] { done = true; });
    session.waitUntilFinished();
    EXPECT_TRUE (done.load());
    return session.getStatus() == MediaExportSession::Status::completed;
}

class MediaExportFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The movie's sound: seeded noise, stereo, 2.5 s; its picture: 25 frames a second.
        const auto noise = tavlin::test::makeNoise ((size_t) soundLength * 2, 1234, 0.4f);
        const auto wav = scratch.file ("sound.wav");
        ASSERT_TRUE (tavlin::test::writeWav (wav, rate, 2, soundLength, 16,
                                             [&] (int64_t n, int ch) { return noise[(size_t) (n * 2 + ch)]; }));
        movie = scratch.file ("movie.mov");
        ASSERT_TRUE (tavlin::test::runFfmpeg (
            "-f lavfi -i testsrc=size=160x120:rate=25:duration=2.5 -i " + wav.getFullPathName().quoted()
            + " -map 0 -map 1 -c:v mpeg4 -q:v 5 -c:a aac -b:a 256k " + movie.getFullPathName().quoted()));
        source = decodeAll (movie);
        ASSERT_GT (source.getNumSamples(), 0);
    }

    /** The processed export: the movie's sound through the tap into an M4A file, with the tap's tail. */
    juce::File processedExport (const juce::String& preset, tavlin::test::DelayGainTap& client)
    {
        MediaAsset asset (movie);
        MediaComposition playback;
        const int videoID = playback.addTrack (MediaType::video);
        playback.insertTimeRange (videoID, { MediaTime::zero(), asset.getDuration() }, asset,
                                  *asset.getFirstTrack (MediaType::video), MediaTime::make (latency, (int32_t) rate));
        const int audioID = playback.addTrack (MediaType::audio);
        playback.insertTimeRange (audioID, { MediaTime::zero(), asset.getDuration() }, asset,
                                  *asset.getFirstTrack (MediaType::audio), MediaTime::zero());

        auto session = MediaExportSession::create (playback, preset);
        EXPECT_NE (session, nullptr);
        auto out = scratch.file ("processed-" + preset + ".m4a");
        std::shared_ptr<AudioProcessingTap> tap;
        session->setAudioMix (client.makeMix (audioID, tap));
        session->setOutputFile (out);
        session->setOutputFileType (MediaFileType::appleM4A);
        session->setTapLatency (latency);
        EXPECT_TRUE (runSession (*session)) << session->getError();
        EXPECT_EQ (session->getProgress(), 1.0f);
        EXPECT_EQ (client.prepares.load(), 1);
        EXPECT_EQ (client.unprepares.load(), 1);
        EXPECT_LE (client.largestBlock.load(), 4096);
        EXPECT_EQ (client.framesProcessed.load(), source.getNumSamples() + latency);
        return out;
    }

    ScratchFolder scratch;
    juce::File movie;
    juce::AudioBuffer<float> source;
    static constexpr int64_t soundLength = (int64_t) (2.5 * rate);
};

struct RemuxCase
{
    MediaFileType type;
    const char* extension;
    const char* intermediate;
    bool picture;
    bool lossless;
};
} // namespace

TEST_F (MediaExportFixture, ProcessedSoundLinesUpWithTheSourceInEveryRemux)
{
    const RemuxCase cases[] = {
        { MediaFileType::quickTimeMovie, ".mov", "AppleM4A", true, false },
        { MediaFileType::mpeg4, ".mp4", "AppleM4A", true, false },
        { MediaFileType::appleM4V, ".m4v", "AppleM4A", true, false },
        { MediaFileType::appleM4A, ".m4a", "AppleM4A", false, false },
        { MediaFileType::coreAudioFormat, ".caf", "AppleLosslessM4A", false, true },
        { MediaFileType::quickTimeMovie, ".mov", "AppleLosslessM4A", true, true },
    };

    const auto sourcePackets = packetsOf (movie);
    ASSERT_GT (sourcePackets.size(), 50u);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.extension) + " from " + c.intermediate);
        tavlin::test::DelayGainTap client (latency, gain);
        const auto processed = processedExport (c.intermediate, client);
        EXPECT_TRUE (client.finalised.load()) << "the session kept the tap after it finished";

        MediaAsset opened (movie), processedAsset (processed);
        ASSERT_TRUE (processedAsset.getResult().wasOk());
        EXPECT_FALSE (processedAsset.hasTracksWithMediaType (MediaType::video));

        MediaComposition remux;

        if (c.picture)
        {
            const int v = remux.addTrack (MediaType::video);
            remux.insertTimeRange (v, { MediaTime::zero(), opened.getDuration() }, opened,
                                   *opened.getFirstTrack (MediaType::video), MediaTime::zero());
        }

        const int a = remux.addTrack (MediaType::audio);
        // The processed file starts in step with the source: it is copied whole.
        const auto* processedSound = processedAsset.getFirstTrack (MediaType::audio);
        ASSERT_NE (processedSound, nullptr);
        EXPECT_EQ (processedSound->duration.toSamples (rate), source.getNumSamples());
        remux.insertTimeRange (a, { MediaTime::zero(), processedAsset.getDuration() }, processedAsset, *processedSound,
                               MediaTime::zero());

        auto session = MediaExportSession::create (remux, MediaExportSession::presetPassthrough);
        ASSERT_NE (session, nullptr);
        const auto out = scratch.file (juce::String ("saved") + c.intermediate + c.extension);
        session->setOutputFile (out);
        session->setOutputFileType (c.type);
        ASSERT_TRUE (runSession (*session)) << session->getError();

        MediaAsset saved (out);
        ASSERT_TRUE (saved.getResult().wasOk());
        EXPECT_EQ (saved.hasTracksWithMediaType (MediaType::video), c.picture);

        if (c.picture)
        {
            EXPECT_EQ (packetsOf (out), sourcePackets) << "the picture was not copied unchanged";
        }

        const auto result = decodeAll (out);
        ASSERT_EQ (result.getNumChannels(), 2);
        EXPECT_EQ (result.getNumSamples(), source.getNumSamples()) << "the saved sound is not as long as the source";

        for (int ch = 0; ch < 2; ++ch)
        {
            if (c.lossless)
            {
                float worst = 0.0f;

                for (int i = 0; i < std::min (result.getNumSamples(), source.getNumSamples()); ++i)
                    worst = std::max (worst, std::abs (result.getSample (ch, i) - gain * source.getSample (ch, i)));

                EXPECT_LT (worst, 1.0e-6f) << "channel " << ch; // 24-bit rounding only
            }
            else
            {
                const int from = 20000, length = 40000;
                auto [lag, correlation] = tavlin::test::bestLag (source.getReadPointer (ch, from), length,
                                                                 result.getReadPointer (ch, from - 50),
                                                                 result.getNumSamples() - from + 50, 100);
                EXPECT_EQ (lag, 50) << "channel " << ch << " is shifted by " << lag - 50 << " samples";
                EXPECT_GT (correlation, 0.95);
                const double level = result.getRMSLevel (ch, from, length) / source.getRMSLevel (ch, from, length);
                EXPECT_NEAR (tavlin::test::toDb (level), tavlin::test::toDb (gain), 1.0);
            }
        }
    }
}

TEST_F (MediaExportFixture, AacSoundPlacedAfterThePictureStartsThereAndKeepsItsLength)
{
    // The movie's AAC packets, primed, placed later than the picture: by more than the priming, by less,
    // and not at all. The copy's sound must start exactly there with the priming hidden, and be as long.
    const auto original = tavlin::test::decodeTimeline (movie);
    ASSERT_EQ (original.sound.size(), (size_t) soundLength);
    MediaAsset asset (movie);

    for (const auto delay : { (int64_t) (0.3 * rate), (int64_t) 100, (int64_t) 0 })
        for (const auto& [type, extension] :
             { std::pair { MediaFileType::quickTimeMovie, ".mov" }, std::pair { MediaFileType::mpeg4, ".mp4" },
               std::pair { MediaFileType::appleM4V, ".m4v" } })
        {
            SCOPED_TRACE (juce::String (extension) + " with the sound " + juce::String (delay) + " samples late");
            MediaComposition remux;
            const int v = remux.addTrack (MediaType::video);
            remux.insertTimeRange (v, { MediaTime::zero(), asset.getDuration() }, asset,
                                   *asset.getFirstTrack (MediaType::video), MediaTime::zero());
            const int a = remux.addTrack (MediaType::audio);
            remux.insertTimeRange (a, { MediaTime::zero(), asset.getDuration() }, asset,
                                   *asset.getFirstTrack (MediaType::audio), MediaTime::make (delay, (int32_t) rate));

            auto session = MediaExportSession::create (remux, MediaExportSession::presetPassthrough);
            ASSERT_NE (session, nullptr);
            const auto out = scratch.file ("late-" + juce::String (delay) + extension);
            session->setOutputFile (out);
            session->setOutputFileType (type);
            ASSERT_TRUE (runSession (*session)) << session->getError();

            EXPECT_EQ (packetsOf (out, StreamKind::audio), packetsOf (movie, StreamKind::audio))
                << "the sound was not copied";
            const auto copy = tavlin::test::decodeTimeline (out);
            ASSERT_FALSE (copy.frameTimes.empty());
            EXPECT_NEAR ((copy.audioStart - copy.frameTimes[0]) * rate, (double) delay, 0.5);
            ASSERT_EQ (copy.sound.size(), original.sound.size());

            float worst = 0.0f;

            for (size_t i = 0; i < copy.sound.size(); ++i)
                worst = std::max (worst, std::abs (copy.sound[i] - original.sound[i]));

            EXPECT_EQ (worst, 0.0f) << "the copy does not decode to the source's samples";
            EXPECT_EQ (decodeAll (out).getNumSamples(), soundLength) << "read back by the media layer";
        }
}

TEST_F (MediaExportFixture, ExtractsTheUnprocessedSound)
{
    struct ExtractCase
    {
        const char* name;
        juce::String preset;
        MediaFileType type;
        bool fromMovie;
    };

    const auto wav = scratch.file ("sound.wav");
    const ExtractCase cases[] = {
        { "movie.m4a", MediaExportSession::presetAppleM4A, MediaFileType::appleM4A, true },
        { "movie-passthrough.wav", MediaExportSession::presetPassthrough, MediaFileType::wave, true },
        { "wav-passthrough.wav", MediaExportSession::presetPassthrough, MediaFileType::wave, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto from = c.fromMovie ? movie : wav;
        MediaAsset asset (from);
        auto session = MediaExportSession::create (asset, c.preset);
        ASSERT_NE (session, nullptr);
        const auto out = scratch.file (c.name);
        session->setOutputFile (out);
        session->setOutputFileType (c.type);
        ASSERT_TRUE (runSession (*session)) << session->getError();

        MediaAsset saved (out);
        EXPECT_FALSE (saved.hasTracksWithMediaType (MediaType::video));
        const auto expected = decodeAll (from);
        const auto result = decodeAll (out);
        ASSERT_EQ (result.getNumSamples(), expected.getNumSamples());

        if (c.type == MediaFileType::wave)
        {
            // Decoded AAC may overshoot full scale by a little, which integer PCM cannot hold.
            float worst = 0.0f;

            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < result.getNumSamples(); ++i)
                    worst = std::max (worst, std::abs (result.getSample (ch, i)
                                                       - juce::jlimit (-1.0f, 1.0f, expected.getSample (ch, i))));

            EXPECT_LT (worst, c.fromMovie ? 1.0e-6f : 0.0f + 1.0e-9f);
        }
        else
        {
            auto [lag, correlation] = tavlin::test::bestLag (expected.getReadPointer (0, 20000), 40000,
                                                             result.getReadPointer (0, 19950), 40100, 50);
            EXPECT_EQ (lag, 50);
            EXPECT_GT (correlation, 0.95);
        }
    }
}

TEST_F (MediaExportFixture, FailuresSayWhyAndLeaveNothingBehind)
{
    struct BadCase
    {
        const char* name;
        juce::File destination;
        MediaFileType type;
        juce::String preset;
    };

    const auto existing = scratch.file ("existing.m4a");
    const BadCase cases[] = {
        { "missing folder", scratch.file ("no/such/folder/out.m4a"), MediaFileType::appleM4A,
          MediaExportSession::presetAppleM4A },
        { "folder that cannot hold files", juce::File ("/proc/tavlin-out.m4a"), MediaFileType::appleM4A,
          MediaExportSession::presetAppleM4A },
        { "destination is a folder", scratch.get(), MediaFileType::appleM4A, MediaExportSession::presetAppleM4A },
        { "preset that cannot write the type", scratch.file ("out.mov"), MediaFileType::quickTimeMovie,
          MediaExportSession::presetAppleM4A },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        MediaAsset asset (movie);
        auto session = MediaExportSession::create (asset, c.preset);
        ASSERT_NE (session, nullptr);
        session->setOutputFile (c.destination);
        session->setOutputFileType (c.type);
        EXPECT_FALSE (runSession (*session));
        EXPECT_EQ (session->getStatusNumber(), 4);
        EXPECT_TRUE (session->getError().isNotEmpty());

        if (c.destination != scratch.get())
        {
            EXPECT_FALSE (c.destination.exists());
        }
    }

    // Nothing to export, or nothing readable, makes no session at all.
    const auto text = scratch.file ("notes.mov");
    text.replaceWithText ("not a movie");
    const auto picture = scratch.file ("picture.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=64x64:rate=5:duration=1 -c:v mpeg4 "
                                          + picture.getFullPathName().quoted()));
    EXPECT_EQ (MediaExportSession::create (MediaAsset (text), MediaExportSession::presetPassthrough), nullptr);
    EXPECT_EQ (MediaExportSession::create (MediaAsset (picture), MediaExportSession::presetAppleM4A), nullptr);
    EXPECT_EQ (MediaExportSession::create (MediaAsset (movie), "NoSuchPreset"), nullptr);

    // No half-written files stay in the folder.
    for (const auto& f : scratch.get().findChildFiles (juce::File::findFiles, false, "*partial*"))
        ADD_FAILURE() << "left behind: " << f.getFileName();
}

TEST_F (MediaExportFixture, ACancelledExportEndsCancelledWithoutAFile)
{
    tavlin::test::DelayGainTap client (latency, gain);
    MediaAsset asset (movie);
    auto composition = MediaComposition::fromAsset (asset);
    auto session = MediaExportSession::create (composition, MediaExportSession::presetAppleM4A);
    ASSERT_NE (session, nullptr);
    std::shared_ptr<AudioProcessingTap> tap;
    session->setAudioMix (client.makeMix (composition.getFirstTrack (MediaType::audio)->trackID, tap));
    const auto out = scratch.file ("cancelled.m4a");
    session->setOutputFile (out);
    session->setOutputFileType (MediaFileType::appleM4A);
    session->cancelExport();
    EXPECT_FALSE (runSession (*session));
    EXPECT_EQ (session->getStatusNumber(), 5);
    EXPECT_FALSE (out.exists());
    EXPECT_EQ (client.prepares.load(), client.unprepares.load());
}

TEST_F (MediaExportFixture, TheFileTypeDecidesTheContainerWhateverTheName)
{
    struct Case
    {
        MediaFileType type;
        juce::String preset;
        const char* demuxer;
        const char* brand;
    };

    const Case cases[] = {
        { MediaFileType::quickTimeMovie, MediaExportSession::presetPassthrough, "mov", "qt  " },
        { MediaFileType::mpeg4, MediaExportSession::presetPassthrough, "mov", "isom" },
        { MediaFileType::appleM4V, MediaExportSession::presetPassthrough, "mov", "M4V " },
        { MediaFileType::appleM4A, MediaExportSession::presetAppleM4A, "mov", "M4A " },
        { MediaFileType::coreAudioFormat, MediaExportSession::presetPassthrough, "caf", nullptr },
        { MediaFileType::wave, MediaExportSession::presetPassthrough, "wav", nullptr },
    };

    int index = 0;

    for (const auto& c : cases)
    {
        // Every file is named as if it were something else.
        const auto out = scratch.file ("misnamed" + juce::String (index++) + ".aif");
        SCOPED_TRACE (c.demuxer + juce::String (" ") + (c.brand != nullptr ? c.brand : ""));
        auto session = MediaExportSession::create (MediaAsset (movie), c.preset);
        ASSERT_NE (session, nullptr);
        session->setOutputFile (out);
        session->setOutputFileType (c.type);
        ASSERT_TRUE (runSession (*session)) << session->getError();

        juce::String error;
        auto input = MediaInput::openFile (out, error);
        ASSERT_NE (input, nullptr) << error;
        EXPECT_TRUE (juce::String (input->getFormat()->iformat->name).startsWith (c.demuxer));

        if (c.brand != nullptr)
        {
            const auto* tag = av_dict_get (input->getFormat()->metadata, "major_brand", nullptr, 0);
            ASSERT_NE (tag, nullptr);
            EXPECT_EQ (juce::String (tag->value), c.brand);
        }
    }
}

TEST_F (MediaExportFixture, AFullDiskFailsWithoutLeavingAFile)
{
    // A file size limit makes writes fail as they would on a full disk.
    struct FileSizeLimit
    {
        explicit FileSizeLimit (rlim_t bytes)
        {
            signal (SIGXFSZ, SIG_IGN);
            getrlimit (RLIMIT_FSIZE, &saved);
            rlimit limited = saved;
            limited.rlim_cur = bytes;
            setrlimit (RLIMIT_FSIZE, &limited);
        }

        ~FileSizeLimit() { setrlimit (RLIMIT_FSIZE, &saved); }
        rlimit saved {};
    };

    struct Case
    {
        const char* name;
        juce::String preset;
        MediaFileType type;
    };

    // Copied packets, and sound encoded on the writing thread while the next chunks are rendered.
    const Case cases[] = { { "full.mov", MediaExportSession::presetPassthrough, MediaFileType::quickTimeMovie },
                           { "full.m4a", MediaExportSession::presetAppleM4A, MediaFileType::appleM4A } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto out = scratch.file (c.name);
        MediaAsset asset (movie);
        auto session = MediaExportSession::create (asset, c.preset);
        ASSERT_NE (session, nullptr);
        session->setOutputFile (out);
        session->setOutputFileType (c.type);

        {
            const FileSizeLimit limit (c.type == MediaFileType::appleM4A ? 16 * 1024 : 64 * 1024);
            EXPECT_FALSE (runSession (*session));
        }

        EXPECT_EQ (session->getStatusNumber(), 4);
        EXPECT_TRUE (session->getError().contains (c.name)) << session->getError();
        EXPECT_FALSE (out.exists());
        EXPECT_TRUE (scratch.get().findChildFiles (juce::File::findFiles, false, "*partial*").isEmpty());
    }
}
