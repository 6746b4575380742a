// The player without the application or a sound card: openings of generated files, the composition's
// video delay, the end of the item, the temporary files, the import through the readers, sound and picture
// kept in step through the processor, and turned video (in a window of the virtual display: run the suite
// under xvfb-run).

#include "ProcessingAVPlayer.h"
#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "StandaloneTestMain.h"

#include "HangGuard.h"

#include "media/PlayerRenderEngine.h"
#include "media/VideoFrameDecoder.h"

#include "../platform/PlayerDrain.h"

#include <gtest/gtest.h>

#include <iostream>

#include <sys/stat.h>

using namespace tavlin::media;
using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::isWhite;
using player_test::pump;
using player_test::pumpUntil;
using tavlin::test::ScratchFolder;

namespace
{
float tone (int64_t n, int ch, double rate)
{
    return tavlin::test::sineSample (n, ch, rate);
}

bool writeJuce (juce::AudioFormat&& format, const juce::File& file, double rate, int channels, double seconds, int bits,
                int quality = 0)
{
    return tavlin::test::writeWithJuce (
        format, file, rate, channels, (int64_t) (seconds * rate), bits,
        [rate] (int64_t n, int ch) { return tone (n, ch, rate); }, quality);
}

/** A sound format only this test's readers know: a text line "tavlin-tone <rate> <channels> <length>". */
class ToneDescriptionFormat : public juce::AudioFormat
{
public:
    ToneDescriptionFormat() : juce::AudioFormat ("Tone description", ".tone") {}

    juce::Array<int> getPossibleSampleRates() override { return { 44100, 48000 }; }
    juce::Array<int> getPossibleBitDepths() override { return { 32 }; }
    bool canDoStereo() override { return true; }
    bool canDoMono() override { return true; }

    juce::AudioFormatReader* createReaderFor (juce::InputStream* stream, bool deleteStreamIfOpeningFails) override
    {
        const auto words = juce::StringArray::fromTokens (stream->readNextLine(), false);

        if (words.size() != 4 || words[0] != "tavlin-tone")
        {
            if (deleteStreamIfOpeningFails)
                delete stream;

            return nullptr;
        }

        auto reader = std::make_unique<Reader> (stream);
        reader->sampleRate = words[1].getDoubleValue();
        reader->numChannels = (unsigned int) words[2].getIntValue();
        reader->lengthInSamples = words[3].getLargeIntValue();
        reader->bitsPerSample = 32;
        reader->usesFloatingPointData = true;
        return reader.release();
    }

    juce::AudioFormatWriter* createWriterFor (juce::OutputStream*, double, unsigned int, int,
                                              const juce::StringPairArray&, int) override
    {
        return nullptr;
    }

    using juce::AudioFormat::createWriterFor;

private:
    struct Reader : juce::AudioFormatReader
    {
        explicit Reader (juce::InputStream* in) : juce::AudioFormatReader (in, "Tone description") {}

        bool readSamples (int* const* dest, int numDest, int offset, juce::int64 start, int num) override
        {
            for (int ch = 0; ch < numDest; ++ch)
                if (dest[ch] != nullptr)
                    for (int i = 0; i < num; ++i)
                        reinterpret_cast<float*> (dest[ch])[offset + i] = tone (start + i, ch, sampleRate);

            return true;
        }
    };
};

class PlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // What the processor announced while it was made arrives before any media, as in the application,
        // which opens no document before the message loop's first turn.
        pump (20);
        host.documentChanged = false;
    }

    /** Opens a file in the view and waits until the set-up and the extraction are done. */
    bool openAndSetUp (MediaContainerComponent& view, const juce::File& file, const MediaAsset* asset = nullptr)
    {
        const auto before = host.analyzed.size();

        if (!view.loadMedia (file.getFullPathName(), asset, true))
            return false;

        return pumpUntil ([&] { return host.analyzed.size() > before && host.isIdle(); });
    }

    static MediaPlayer& avPlayer (MediaContainerComponent& view) { return *view.getSession().getMediaPlayer(); }

    static const MediaComposition& composition (MediaContainerComponent& view)
    {
        return avPlayer (view).getCurrentItem()->getAsset();
    }

    juce::ScopedJuceInitialiser_GUI framework; // outlives the host's processor, whose buffers are event objects
    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
};

const juce::String noAudioTitle = "No Audio";
const juce::String noAudioText = "This media file does not contain any audio tracks.";
const juce::String multichannelTitle = "Multichannel not supported";
const juce::String multichannelText = "Tavlin does not support media files with more than 2 channels of audio.";

TEST_F (PlayerTest, OpensWhatHasSoundAndRefusesTheRestWithTheirTexts)
{
    struct Case
    {
        const char* name;
        std::function<bool (const juce::File&)> make;
        bool accepted;
        juce::String warningTitle, warningText;
        bool video;
        double rate;
        int channels;
        int importPasses;
    };

    const Case cases[] = {
        { "tone.wav",
          [] (auto& f) { return writeJuce (juce::WavAudioFormat(), f, 44100, 2, 1.5, 16); },
          true,
          {},
          {},
          false,
          44100,
          2,
          0 },
        { "mono.flac",
          [] (auto& f) { return writeJuce (juce::FlacAudioFormat(), f, 48000, 1, 1.0, 16); },
          true,
          {},
          {},
          false,
          48000,
          1,
          0 },
        { "tone.ogg",
          [] (auto& f) { return writeJuce (juce::OggVorbisAudioFormat(), f, 44100, 2, 1.0, 16, 5); },
          true,
          {},
          {},
          false,
          44100,
          2,
          0 },
        { "movie.mov",
          [] (auto& f) { return player_test::makeMovie (f, 1.5, 48000); },
          true,
          {},
          {},
          true,
          48000,
          1,
          0 },
        { "tone.mp3",
          [] (auto& f)
          {
              return tavlin::test::runFfmpeg ("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:a "
                                              "libmp3lame -b:a 128k "
                                              + f.getFullPathName().quoted());
          },
          true,
          {},
          {},
          false,
          44100,
          1,
          0 },
        { "six.wav", [] (auto& f) { return writeJuce (juce::WavAudioFormat(), f, 44100, 6, 0.5, 16); }, false,
          multichannelTitle, multichannelText, false, 0, 0, 0 },
        { "notes.wav", [] (auto& f) { return f.replaceWithText ("These are not sounds, only words.\n"); }, false,
          noAudioTitle, noAudioText, false, 0, 0, 0 },
        { "silent-film.mov",
          [] (auto& f)
          {
              return tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 "
                                              + f.getFullPathName().quoted());
          },
          false, noAudioTitle, noAudioText, false, 0, 0, 0 },
        // The readers decode it, but what they make is still refused: decoded once, then given up.
        { "slow.wav", [] (auto& f) { return writeJuce (juce::WavAudioFormat(), f, 800, 1, 1.0, 16); }, false,
          noAudioTitle, noAudioText, false, 0, 0, 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto file = scratch.file (c.name);
        ASSERT_TRUE (c.make (file));
        host.warnings.clear();
        host.progressTexts.clear();
        host.analyzed.clear();

        FakeSession session (host);

        MediaContainerComponent view (session, host.processor, host);
        juce::StringArray messages;
        struct Listener : juce::ActionListener
        {
            juce::StringArray& heard;
            explicit Listener (juce::StringArray& h) : heard (h) {}
            void actionListenerCallback (const juce::String& m) override { heard.add (m); }
        } listener (messages);
        view.addActionListener (&listener);

        const bool accepted = view.loadMedia (file.getFullPathName(), nullptr, true);
        EXPECT_EQ (accepted, c.accepted);
        EXPECT_EQ (host.progressTexts.indexOf ("Importing...") >= 0 ? 1 : 0, c.importPasses);

        if (!c.accepted)
        {
            ASSERT_EQ (host.warnings.size(), 1u);
            EXPECT_EQ (host.warnings[0].title, c.warningTitle);
            EXPECT_EQ (host.warnings[0].message, c.warningText);
            EXPECT_EQ (session.getPlayer().getPlayer(), nullptr);
            EXPECT_TRUE (host.listTemporaryFolder().isEmpty()) << host.listTemporaryFolder().joinIntoString (" ");
            EXPECT_FALSE (view.isPlaying());
            EXPECT_EQ (view.getPlayableDuration(), 0.0);
            pump (20);
            EXPECT_TRUE (messages.isEmpty());
            continue;
        }

        EXPECT_TRUE (host.warnings.empty());
        ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() == 1 && host.isIdle(); }));
        EXPECT_EQ (messages[0], "video") << "sent as soon as the opening is accepted";

        auto* item = avPlayer (view).getCurrentItem();
        ASSERT_NE (item, nullptr);
        EXPECT_EQ (item->getStatus(), MediaPlayerItem::Status::readyToPlay) << item->getError();
        EXPECT_NE (item->getAudioMix(), nullptr) << "playback runs through the processor";
        EXPECT_EQ (composition (view).hasTracksWithMediaType (MediaType::video), c.video);
        EXPECT_EQ (view.isAudioOnly(), !c.video);
        EXPECT_EQ (view.isVideoVisible(), c.video);
        EXPECT_EQ (view.getVideoLayer() != nullptr, c.video);

        // The tap prepared the processor for the media itself.
        EXPECT_EQ (host.processor.getSampleRate(), c.rate);
        EXPECT_EQ (host.processor.getTotalNumInputChannels(), c.channels);

        // The extraction: unprocessed sound in a temporary file, shown as the waveform and analysed.
        const auto extracted = host.analyzed[0];
        EXPECT_TRUE (extracted.getFileName().endsWith (c.video ? ".TempCleanAudio.m4a" : ".TempCleanAudio.wav"))
            << extracted.getFileName();
        EXPECT_EQ (extracted.getParentDirectory(), host.temp);
        EXPECT_TRUE (host.progressTexts.contains ("Loading..."));
        ASSERT_TRUE (pumpUntil ([&] { return view.getThumbnail().isFullyLoaded(); }));
        EXPECT_GT (view.getThumbnail().getTotalLength(), 0.5);
        EXPECT_GT (view.getPlayableDuration(), 0.9);

        EXPECT_FALSE (host.documentChanged) << "preparing for playback changes no setting";

        // The player starts 0.6 s in, paused.
        EXPECT_NEAR (view.getCurrentTime(), 0.6, 1.0e-3);
        EXPECT_FALSE (view.isPlaying());

        view.removeMedia();
        EXPECT_EQ (session.getPlayer().getPlayer(), nullptr);
        EXPECT_TRUE (host.listTemporaryFolder().isEmpty()) << host.listTemporaryFolder().joinIntoString (" ");
        view.removeActionListener (&listener);
    }
}

// What cannot be read is refused at once with its reason, and nothing is left half open: a WAV whose sound no
// decoder takes, and paths that are no regular file, none of which may hold the opening (a hang fails).
TEST_F (PlayerTest, RefusesWhatCannotBeReadAtOnceWithItsReason)
{
    struct Case
    {
        const char* name;
        std::function<bool (const juce::File&)> make;
        juce::String title, textStart, reason;
    };

    const Case cases[] = {
        { "unknown-tag.wav", [] (auto& f) { return tavlin::test::writeUndecodableWav (f); }, noAudioTitle,
          noAudioText + "\n\n", "cannot be decoded" },
        { "pipe.wav", [] (auto& f) { return ::mkfifo (f.getFullPathName().toRawUTF8(), 0600) == 0; },
          ProcessingAVPlayer::cannotOpenTitle, "\"pipe.wav\"", "is not a regular file: it is a named pipe." },
        { "device.wav", [] (auto& f) { return juce::File ("/dev/zero").createSymbolicLink (f, false); },
          ProcessingAVPlayer::cannotOpenTitle, "\"device.wav\"", "is not a regular file: it is a device." },
        { "folder.wav", [] (auto& f) { return f.createDirectory().wasOk(); }, ProcessingAVPlayer::cannotOpenTitle,
          "\"folder.wav\"", "is not a regular file: it is a folder." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto file = scratch.file (c.name);
        ASSERT_TRUE (c.make (file));
        host.warnings.clear();
        host.progressTexts.clear();

        FakeSession session (host);

        MediaContainerComponent view (session, host.processor, host);
        bool accepted;

        {
            const tavlin::test::HangGuard guard (file);
            accepted = view.loadMedia (file.getFullPathName(), nullptr, true);
            EXPECT_FALSE (guard.fired()) << "the opening waited on the file";
        }

        EXPECT_FALSE (accepted);
        ASSERT_EQ (host.warnings.size(), 1u) << "one message";
        EXPECT_EQ (host.warnings[0].title, c.title);
        EXPECT_TRUE (host.warnings[0].message.startsWith (c.textStart)) << host.warnings[0].message;
        EXPECT_TRUE (host.warnings[0].message.contains (c.reason)) << host.warnings[0].message;
        EXPECT_EQ (session.getPlayer().getLastLoadError(), host.warnings[0].message);
        EXPECT_EQ (session.getPlayer().getPlayer(), nullptr) << "nothing opened, nothing to wait for";
        EXPECT_TRUE (host.listTemporaryFolder().isEmpty()) << host.listTemporaryFolder().joinIntoString (" ");

        // The readers that take files by their extension are never handed such a path either.
        {
            const tavlin::test::HangGuard guard (file);
            EXPECT_FALSE (
                ProcessingAVPlayer::importWithAudioFormatReader (host, file, host.temp.getChildFile ("x.wav")));
            EXPECT_FALSE (guard.fired());
        }
    }
}

TEST_F (PlayerTest, DelaysThePictureByTheLatencyTheProcessorWillHaveForTheFile)
{
    for (const int rate : { 48000, 44100, 22050 })
    {
        SCOPED_TRACE (rate);

        // Left prepared for something else, as by an earlier file.
        host.processor.prepareToPlay (96000.0, 100);
        host.processor.setPlayConfigDetails (2, 2, 96000.0, 100);

        const auto movie = scratch.file ("movie" + juce::String (rate) + ".mov");
        ASSERT_TRUE (player_test::makeMovie (movie, 1.0, rate));
        const auto expected = host.processor.getLatencyFor (rate, PlayerRenderEngine::maxTapFrames);
        ASSERT_NE (expected, host.processor.getLatencySamples());

        FakeSession session (host);

        MediaContainerComponent view (session, host.processor, host);
        ASSERT_TRUE (openAndSetUp (view, movie));

        const auto* video = composition (view).getFirstTrack (MediaType::video);
        const auto* audio = composition (view).getFirstTrack (MediaType::audio);
        ASSERT_NE (video, nullptr);
        ASSERT_NE (audio, nullptr);
        EXPECT_EQ (video->insertTime.toSamples (rate), expected);
        EXPECT_EQ (video->insertTime, MediaTime::make (expected, rate)) << "an exact sample count, not whole ms";
        EXPECT_EQ (audio->insertTime, MediaTime::zero());
        EXPECT_EQ (host.processor.getLatencySamples(), expected) << "the tap prepared the processor as predicted";
    }
}

TEST_F (PlayerTest, AtTheEndStopsOrLoops)
{
    // A sound, and a movie whose last frame is a white flash: with the picture delayed by the processor's
    // latency, the item ends only once that frame has been shown, after the sound.
    const auto wav = scratch.file ("short.wav");
    ASSERT_TRUE (writeJuce (juce::WavAudioFormat(), wav, 44100, 2, 1.0, 16));
    const auto movie = scratch.file ("last-flash.mov");
    ASSERT_TRUE (player_test::makeFlashAndBeepMovie (movie, 2.96));

    for (const auto& file : { wav, movie })
        for (const bool looping : { false, true })
        {
            SCOPED_TRACE (file.getFileName() + (looping ? ", looping" : ", not looping"));
            host.looping = looping;
            FakeSession session (host);
            MediaContainerComponent view (session, host.processor, host);
            ASSERT_TRUE (openAndSetUp (view, file));
            const bool hasVideo = composition (view).hasTracksWithMediaType (MediaType::video);

            auto& engine = avPlayer (view).getEngine();
            const auto end = engine.getLengthFrames();
            EXPECT_EQ (end, composition (view).getDuration().toSamples (44100));

            if (hasVideo)
            {
                EXPECT_GT (end,
                           composition (view).getFirstTrack (MediaType::audio)->sourceTrack.duration.toSamples (44100))
                    << "the delayed picture outlasts the sound";
            }

            EXPECT_FALSE (view.togglePlayPause()) << "it was paused, so it plays";
            EXPECT_TRUE (view.isPlaying());

            juce::AudioBuffer<float> block (2, 1024);
            bool reachedEnd = false, cameBack = false, lastFrameShown = !hasVideo;

            for (int i = 0; i < 20000 && !(looping ? cameBack : !view.isPlaying()); ++i)
            {
                engine.readOutput (block.getArrayOfWritePointers(), 2, block.getNumSamples());

                if (!reachedEnd && engine.hasReachedEnd())
                {
                    reachedEnd = true;
                    EXPECT_EQ (engine.getPosition(), end) << "the clock reached the composition's end";
                    EXPECT_NEAR (view.getPositionFraction(), 1.0, 1.0e-6) << "slider and waveform at the end";

                    // The end is announced on the message thread; the picture there is the last frame.
                    for (int wait = 0; wait < 3000 && !lastFrameShown; wait += 5)
                        if (!(lastFrameShown = isWhite (avPlayer (view).getCurrentVideoFrame())))
                            juce::Thread::sleep (5);
                }

                cameBack = reachedEnd && engine.getPosition() < 22050;
                pump (1);
            }

            EXPECT_TRUE (reachedEnd);
            EXPECT_TRUE (lastFrameShown) << "the last frame of the delayed picture was never shown";

            if (looping)
            {
                EXPECT_TRUE (cameBack) << "plays on from the start";
                EXPECT_TRUE (view.isPlaying());
            }
            else
            {
                EXPECT_FALSE (view.isPlaying()) << "stopped at the end, no longer playing";
                EXPECT_EQ (view.getPlaybackRate(), 0.0);
                EXPECT_NEAR (view.getPositionFraction(), 1.0, 1.0e-6);
            }

            view.removeMedia();
        }
}

TEST_F (PlayerTest, TemporaryFilesLiveAsLongAsTheirMedia)
{
    const auto movie = scratch.file ("clip.mov");
    const auto wav = scratch.file ("voice.wav");
    ASSERT_TRUE (player_test::makeMovie (movie, 1.0));
    ASSERT_TRUE (writeJuce (juce::WavAudioFormat(), wav, 44100, 2, 1.0, 16));

    const auto matches = [] (const juce::StringArray& names, const juce::String& ending)
    {
        int n = 0;

        for (auto& name : names)
        {
            const auto digits =
                name.fromFirstOccurrenceOf ("temp_", false, false).upToFirstOccurrenceOf (".", false, false);
            n += name.startsWith ("temp_") && name.endsWith ("." + ending) && digits.isNotEmpty()
                         && digits.containsOnly ("0123456789abcdef")
                     ? 1
                     : 0;
        }

        return n;
    };

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, movie));
    auto names = host.listTemporaryFolder();
    EXPECT_EQ (names.size(), 1) << names.joinIntoString (" ");
    EXPECT_EQ (matches (names, "TempCleanAudio.m4a"), 1);

    // Opened over the movie without closing it (as the batch does): the movie's files go.
    ASSERT_TRUE (openAndSetUp (view, wav));
    names = host.listTemporaryFolder();
    EXPECT_EQ (names.size(), 1) << names.joinIntoString (" ");
    EXPECT_EQ (matches (names, "TempCleanAudio.wav"), 1);

    view.removeMedia();
    EXPECT_TRUE (host.listTemporaryFolder().isEmpty()) << host.listTemporaryFolder().joinIntoString (" ");

    // Sound that only the application's readers know: decoded through them once, played from the decoded
    // file, which goes with the media.
    host.formats.registerFormat (new ToneDescriptionFormat(), false);
    const auto late = scratch.file ("late.tone");
    ASSERT_TRUE (late.replaceWithText ("tavlin-tone 44100 2 44100"));
    ASSERT_FALSE (MediaAsset (late).hasTracksWithMediaType (MediaType::audio));

    ASSERT_TRUE (openAndSetUp (view, late));
    names = host.listTemporaryFolder();
    EXPECT_EQ (names.size(), 2) << names.joinIntoString (" ");
    EXPECT_EQ (matches (names, "TempCleanAudioP.wav"), 1);
    EXPECT_EQ (matches (names, "TempCleanAudio.wav"), 1);
    const auto* origAsset = session.getPlayer().getOrigAsset();
    ASSERT_NE (origAsset, nullptr);
    EXPECT_TRUE (origAsset->getFile().getFileName().endsWith ("TempCleanAudioP.wav"));
    EXPECT_EQ (composition (view).getFirstTrack (MediaType::audio)->sourceFile, origAsset->getFile());
    EXPECT_EQ (std::count (host.progressTexts.begin(), host.progressTexts.end(), "Importing..."), 1) << "decoded once";

    view.removeMedia();
    EXPECT_TRUE (host.listTemporaryFolder().isEmpty()) << host.listTemporaryFolder().joinIntoString (" ");
}

TEST_F (PlayerTest, IgnoresTheCompletionOfMediaSinceReplacedOrRemoved)
{
    const auto first = scratch.file ("first.wav");
    const auto second = scratch.file ("second.wav");
    ASSERT_TRUE (writeJuce (juce::WavAudioFormat(), first, 44100, 2, 1.0, 16));
    ASSERT_TRUE (writeJuce (juce::WavAudioFormat(), second, 48000, 2, 1.0, 16));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (view.loadMedia (first.getFullPathName(), nullptr, true));
    ASSERT_TRUE (view.loadMedia (second.getFullPathName(), nullptr, true));
    ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() == 1 && host.isIdle(); }));
    pump (100);
    EXPECT_EQ (host.analyzed.size(), 1) << "only the second file is set up";
    EXPECT_EQ (composition (view).getFirstTrack (MediaType::audio)->sourceFile, second);
    EXPECT_EQ (host.processor.getSampleRate(), 48000.0);

    ASSERT_TRUE (view.loadMedia (first.getFullPathName(), nullptr, true));
    view.removeMedia();
    pump (300);
    EXPECT_EQ (host.analyzed.size(), 1) << "a removed opening is never set up";
    EXPECT_EQ (session.getPlayer().getPlayer(), nullptr);
    EXPECT_TRUE (host.listTemporaryFolder().isEmpty());
}

TEST_F (PlayerTest, SetsUpOnlyOnceALongOperationHasEnded)
{
    const auto wav = scratch.file ("tone.wav");
    ASSERT_TRUE (writeJuce (juce::WavAudioFormat(), wav, 44100, 2, 1.0, 16));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (view.loadMedia (wav.getFullPathName(), nullptr, true));
    host.showProgress ("Saving...");
    pump (300);
    EXPECT_EQ (avPlayer (view).getCurrentItem(), nullptr) << "the extraction would end the running operation's display";
    EXPECT_TRUE (host.analyzed.isEmpty());
    EXPECT_FALSE (host.isIdle());

    host.hideProgress();
    ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() == 1 && host.isIdle(); }));
    EXPECT_NE (avPlayer (view).getCurrentItem(), nullptr);
}

TEST_F (PlayerTest, ImportsThroughTheReadersExactlyOrNotAtAll)
{
    struct Case
    {
        const char* name;
        std::function<bool (const juce::File&)> make;
        bool succeeds;
    };

    const Case cases[] = {
        { "mono.flac", [] (auto& f) { return writeJuce (juce::FlacAudioFormat(), f, 48000, 1, 1.3, 16); }, true },
        { "stereo.flac", [] (auto& f) { return writeJuce (juce::FlacAudioFormat(), f, 44100, 2, 0.7, 24); }, true },
        { "tone.ogg", [] (auto& f) { return writeJuce (juce::OggVorbisAudioFormat(), f, 44100, 2, 1.0, 16, 4); },
          true },
        { "words.flac", [] (auto& f) { return f.replaceWithText ("words"); }, false },
        { "missing.flac", [] (auto&) { return true; }, false },
        { "empty.wav", [] (auto& f) { return writeJuce (juce::WavAudioFormat(), f, 44100, 2, 0.0, 16); }, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto source = scratch.file (c.name);
        ASSERT_TRUE (c.make (source));
        const auto target = ProcessingAVPlayer::makeTemporaryFile (host, ProcessingAVPlayer::importEnding);
        ASSERT_FALSE (target.exists()) << "the maker names the file, the writer makes it";

        EXPECT_EQ (ProcessingAVPlayer::importWithAudioFormatReader (host, source, target), c.succeeds);
        EXPECT_TRUE (host.isIdle()) << "the progress display is hidden again";

        if (!c.succeeds)
        {
            EXPECT_FALSE (target.exists()) << "nothing half-written is left";
            continue;
        }

        juce::AudioBuffer<float> original, decoded;
        double originalRate = 0, decodedRate = 0;
        ASSERT_TRUE (tavlin::test::readAll (host.formats, source, original, &originalRate));
        std::unique_ptr<juce::AudioFormatReader> reader (
            juce::WavAudioFormat().createReaderFor (target.createInputStream().release(), true));
        ASSERT_NE (reader, nullptr) << "a WAV file";
        ASSERT_TRUE (tavlin::test::readAll (host.formats, target, decoded, &decodedRate));
        EXPECT_EQ (decoded.getNumChannels(), original.getNumChannels()) << "a mono source stays mono";
        EXPECT_EQ (decoded.getNumSamples(), original.getNumSamples()) << "exactly the source's length";
        EXPECT_EQ (decodedRate, originalRate);

        float worst = 0.0f;

        for (int ch = 0; ch < original.getNumChannels(); ++ch)
            for (int i = 0; i < original.getNumSamples(); ++i)
                worst = std::max (worst, std::abs (original.getSample (ch, i) - decoded.getSample (ch, i)));

        EXPECT_LE (worst, 1.0001f / 32768.0f) << "the same samples, to the last bit of 16";
        target.deleteFile();
    }

    // An unwritable target.
    const auto flac = scratch.file ("mono.flac");
    EXPECT_FALSE (ProcessingAVPlayer::importWithAudioFormatReader (
        host, flac, scratch.file ("no such folder").getChildFile ("x.TempCleanAudioP.wav")));

    // The asset is re-opened on the decoded file.
    MediaAsset asset (flac);
    ASSERT_TRUE (FakeSession (host).getPlayer().juceImportWithAVAsset (asset));
    EXPECT_TRUE (asset.getFile().getFileName().endsWith (".TempCleanAudioP.wav"));
    EXPECT_EQ (asset.getFile().getParentDirectory(), host.temp);
    EXPECT_TRUE (asset.hasTracksWithMediaType (MediaType::audio));
    EXPECT_EQ (ProcessingAVPlayer::assetChannels (asset), 1);
    EXPECT_EQ (ProcessingAVPlayer::assetSampleRate (asset), 48000.0);
    asset.getFile().deleteFile();
}

TEST_F (PlayerTest, BeepAndFlashMeetThroughTheProcessor)
{
    constexpr int rate = 44100;
    constexpr double flashAt = 1.2;
    constexpr double frame = 1.0 / 25.0;
    const auto movie = scratch.file ("flash-and-beep.mov");
    ASSERT_TRUE (player_test::makeFlashAndBeepMovie (movie, flashAt, rate));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, movie));
    const auto latency = host.processor.getLatencySamples();
    ASSERT_GT (latency, 4096);

    view.rewindToStart();
    view.togglePlayPause();
    auto& engine = avPlayer (view).getEngine();
    juce::AudioBuffer<float> block (2, 128);
    int64_t beepAt = -1, flashShownAt = -1;

    for (int i = 0; i < 200000 && (beepAt < 0 || flashShownAt < 0) && engine.getPosition() < 2.8 * rate; ++i)
    {
        const auto before = engine.getPosition();
        engine.readOutput (block.getArrayOfWritePointers(), 2, block.getNumSamples());
        const auto got = (int) (engine.getPosition() - before);

        for (int n = 0; n < got && beepAt < 0; ++n)
            if (std::abs (block.getSample (0, n)) > 0.05f)
                beepAt = before + n;

        // The picture the player shows at this moment of the clock.
        if (flashShownAt < 0 && got > 0 && isWhite (avPlayer (view).getCurrentVideoFrame()))
            flashShownAt = engine.getPosition();

        if (got == 0)
            juce::Thread::sleep (1);
        else
            pump (0);
    }

    ASSERT_GE (beepAt, 0) << "the processed beep came out";
    ASSERT_GE (flashShownAt, 0) << "the flash was shown";

    // The sound comes out late by the latency; so does the picture, by the composition.
    EXPECT_NEAR ((double) beepAt / rate, flashAt + (double) latency / rate, frame);
    EXPECT_NEAR ((double) flashShownAt / rate, (double) beepAt / rate, frame)
        << "beep at " << beepAt << ", flash at " << flashShownAt;
}

namespace
{
/** The amplitude of a tone of freq Hz in samples, by one bin of a Fourier transform over them. */
double toneAmplitude (const juce::AudioBuffer<float>& sound, int from, int count, double freq, double rate)
{
    double re = 0.0, im = 0.0;

    for (int n = from; n < from + count; ++n)
    {
        const double phase = juce::MathConstants<double>::twoPi * freq * (double) n / rate;
        re += sound.getSample (0, n) * std::cos (phase);
        im += sound.getSample (0, n) * std::sin (phase);
    }

    return 2.0 * std::sqrt (re * re + im * im) / (double) count;
}
} // namespace

TEST_F (PlayerTest, AfterASeekTheSoundIsTheTargetsWithNothingFromBeforeTheSeek)
{
    // 440 Hz for two seconds, then 1000 Hz: played in the second half, then sought back into the first.
    constexpr int rate = 44100;
    const auto wav = scratch.file ("two-tones.wav");
    ASSERT_TRUE (tavlin::test::writeWav (
        wav, rate, 2, 4 * rate, 24,
        [] (int64_t n, int)
        {
            const double f = n < 2 * rate ? 440.0 : 1000.0;
            return (float) (0.3 * std::sin (juce::MathConstants<double>::twoPi * f * (double) n / rate));
        }));
    FakeSession session (host);
    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, wav));
    auto& player = avPlayer (view);
    const auto latency = host.processor.getLatencyFor (rate, PlayerRenderEngine::maxTapFrames);

    view.togglePlayPause();

    // Each time the second tone plays first, then a seek goes back into the first, while playing. Heard at the
    // target is what the picture shows, the sound of a latency earlier: the first tone, or before the start
    // (nearer to it than the latency) silence.
    for (const int64_t target : { (int64_t) rate * 3 / 2, (int64_t) rate / 10 })
    {
        SCOPED_TRACE ("sought to " + juce::String (target));
        player.seekToTime (MediaTime::make (3 * rate, rate));
        const auto before = tavlin::test::drain (player, 3 * rate + rate / 2);
        ASSERT_EQ (before.getNumSamples(), rate / 2);
        EXPECT_GT (toneAmplitude (before, 0, rate / 4, 1000.0, rate), 0.25) << "the second tone at once";

        player.seekToTime (MediaTime::make (target, rate));
        const auto silent = (int) std::max<int64_t> (0, latency - target);
        const auto after = tavlin::test::drain (player, target + silent + rate / 4);
        ASSERT_EQ (after.getNumSamples(), silent + rate / 4);
        EXPECT_LT (after.getMagnitude (0, silent), 0.001f) << "what lies before the start is silence";

        for (const auto& [from, count] : { std::pair<int, int> { 0, 2205 }, { 2205, 2205 }, { 4410, 6615 } })
        {
            SCOPED_TRACE ("from " + juce::String (from) + " for " + juce::String (count));
            const auto first = toneAmplitude (after, silent + from, count, 440.0, rate);
            const auto second = toneAmplitude (after, silent + from, count, 1000.0, rate);
            std::cout << "sought to " << target << ", from " << silent + from << ": 440 Hz "
                      << juce::Decibels::gainToDecibels (first) << " dB, 1000 Hz "
                      << juce::Decibels::gainToDecibels (second) << " dB" << std::endl;
            EXPECT_NEAR (juce::Decibels::gainToDecibels (first), juce::Decibels::gainToDecibels (0.3), 0.5)
                << "the target's own sound at once, not silence";
            EXPECT_LT (second, first * 0.001) << "sound from before the seek";
        }
    }

    EXPECT_GT (latency, rate / 4) << "the processor's latency spans what was looked at";
    view.removeMedia();
}

TEST_F (PlayerTest, SeeksNeverHoldUpTheInterfaceAndShowTheRightFrameOnceDecoded)
{
    // A 4K movie with a key frame every two seconds: a seek decodes up to 2 s of frames before it can show one.
    const auto movie = scratch.file ("uhd.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=3840x2160:rate=25:duration=3 -f lavfi -i "
                                          "sine=frequency=440:sample_rate=48000:duration=3 -c:v libx264 -preset "
                                          "ultrafast -g 50 -pix_fmt yuv420p -c:a aac -shortest "
                                          + movie.getFullPathName().quoted()));

    FakeSession session (host);

    MediaContainerComponent view (session, host.processor, host);
    ASSERT_TRUE (openAndSetUp (view, movie));
    const double offset = composition (view).getFirstTrack (MediaType::video)->insertTime.seconds();

    juce::String error;
    auto reference = VideoFrameDecoder::open (movie, -1, error);
    ASSERT_NE (reference, nullptr) << error;

    // What the user does: the slider (or a click on the waveform), frame steps, the skip buttons, rewind. A
    // drag seeks again before the picture of the last seek has come.
    struct Action
    {
        juce::String name;
        std::function<void()> run;
        bool waitForPicture = true;
    };

    std::vector<Action> actions = {
        { "slider to 90 %", [&] { view.seekToFraction (0.9); } },
        { "slider to 35 %", [&] { view.seekToFraction (0.35); } },
        { "a frame forward", [&] { view.skipForward(); } },
        { "another frame forward", [&] { view.skipForward(); } },
        { "a frame back", [&] { view.skipBackward(); } },
    };

    for (int i = 1; i <= 8; ++i)
        actions.push_back ({ "slider dragged to " + juce::String (i * 10) + " %",
                             [&, i] { view.seekToFraction (i / 10.0); }, i == 8 });

    actions.push_back ({ "3 s forward while playing", [&]
                         {
                             view.seekToFraction (0.1);
                             view.togglePlayPause();
                             view.skipForward();
                             view.togglePlayPause();
                         } });
    actions.push_back ({ "3 s back while playing", [&]
                         {
                             view.togglePlayPause();
                             view.skipBackward();
                             view.togglePlayPause();
                         } });
    actions.push_back ({ "rewind", [&] { view.rewindToStart(); } });

    // The interface may be held up by other work on a loaded machine, never by a seek: the series runs again
    // when one gap is too long, and a seek that waits for the picture is too long every time.
    constexpr double limitMs = 50.0;
    double longestGap = 0.0;

    for (int attempt = 0; attempt < 3 && (attempt == 0 || longestGap > limitMs); ++attempt)
    {
        longestGap = 0.0;

        for (const auto& action : actions)
        {
            SCOPED_TRACE (action.name);
            auto before = juce::Time::getMillisecondCounterHiRes();
            action.run();
            longestGap = std::max (longestGap, juce::Time::getMillisecondCounterHiRes() - before);

            // The loop runs on while the picture is decoded, 1 ms at a time.
            for (int waited = 0;
                 waited < 30000
                 && (waited < 2 || (action.waitForPicture && avPlayer (view).getEngine().isVideoSeeking()));
                 ++waited)
            {
                before = juce::Time::getMillisecondCounterHiRes();
                pump (1);
                longestGap = std::max (longestGap, juce::Time::getMillisecondCounterHiRes() - before - 1.0);
            }

            if (!action.waitForPicture)
                continue;

            ASSERT_FALSE (avPlayer (view).getEngine().isVideoSeeking()) << "the picture never arrived";

            // The frame shown is the one the decoder finds at the clock's time on its own.
            const double videoTime = view.getCurrentTime() - offset;
            const auto shown = toImage (avPlayer (view).getCurrentVideoFrame());

            if (videoTime < 0.0)
            {
                EXPECT_TRUE (shown.isNull()) << "a picture before the delayed picture starts";
                continue;
            }

            VideoFrameDecoder::Frame expected;
            ASSERT_TRUE (reference->seek (videoTime));
            ASSERT_TRUE (reference->next (expected));
            ASSERT_TRUE (shown.isValid());
            const auto expectedImage = toImage (expected.picture);
            ASSERT_EQ (shown.getBounds(), expectedImage.getBounds());
            const juce::Image::BitmapData a (shown, juce::Image::BitmapData::readOnly);
            const juce::Image::BitmapData b (expectedImage, juce::Image::BitmapData::readOnly);
            bool same = true;

            for (int y = 0; y < shown.getHeight() && same; ++y)
                same = std::memcmp (a.getLinePointer (y), b.getLinePointer (y), (size_t) shown.getWidth() * 4) == 0;

            EXPECT_TRUE (same) << "not the frame at " << videoTime << " s of the picture";
        }
    }

    EXPECT_LE (longestGap, limitMs) << "the message loop stood still for " << longestGap << " ms";
    std::cout << "4K movie: longest message-loop gap " << longestGap << " ms" << std::endl;
}

TEST_F (PlayerTest, SeeksInLongRawSoundFilesNeverHoldUpTheInterface)
{
    // Raw MPEG audio, ADTS AAC and AC-3 carry no exact timestamps: the sound is decoded from its start up to
    // every target. 30 s of each, repeated byte for byte to 10 minutes, is one long valid stream.
    struct Case
    {
        const char* name;
        const char* codec;
    };

    for (const auto& c : { Case { "long.mp3", "-c:a libmp3lame -b:a 128k" }, Case { "long.aac", "-c:a aac -b:a 128k" },
                           Case { "long.ac3", "-c:a ac3 -b:a 192k" } })
    {
        SCOPED_TRACE (c.name);
        const auto part = scratch.file (juce::String ("part-") + c.name);
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=30 -ac 2 "
                                              + juce::String (c.codec) + " " + part.getFullPathName().quoted()));
        juce::MemoryBlock bytes;
        ASSERT_TRUE (part.loadFileAsData (bytes));
        const auto file = scratch.file (c.name);

        {
            juce::FileOutputStream out (file);
            ASSERT_TRUE (out.openedOk());

            for (int i = 0; i < 20; ++i)
                out.write (bytes.getData(), bytes.getSize());
        }

        FakeSession session (host);

        MediaContainerComponent view (session, host.processor, host);
        ASSERT_TRUE (openAndSetUp (view, file));
        ASSERT_GT (view.getPlayableDuration(), 590.0);

        // Seeks one after the other, as a drag of the slider makes them, then play and pause.
        constexpr double limitMs = 50.0;
        double longestGap = 0.0;
        const auto timed = [&] (const std::function<void()>& action)
        {
            const auto before = juce::Time::getMillisecondCounterHiRes();
            action();
            longestGap = std::max (longestGap, juce::Time::getMillisecondCounterHiRes() - before);
            const auto pumped = juce::Time::getMillisecondCounterHiRes();
            pump (1);
            longestGap = std::max (longestGap, juce::Time::getMillisecondCounterHiRes() - pumped - 1.0);
        };

        for (int attempt = 0; attempt < 3 && (attempt == 0 || longestGap > limitMs); ++attempt)
        {
            longestGap = 0.0;

            for (const auto fraction : { 0.95, 0.9, 0.2, 0.85, 0.5, 0.99 })
                for (int i = 0; i < 5; ++i)
                    timed ([&] { view.seekToFraction (fraction); });

            timed ([&] { view.togglePlayPause(); });
            timed ([&] { view.skipForward(); });
            timed ([&] { view.togglePlayPause(); });
            timed ([&] { view.seekToFraction (0.7); });
        }

        EXPECT_LE (longestGap, limitMs) << "the message loop stood still for " << longestGap << " ms";
        std::cout << c.name << ": longest message-loop gap " << longestGap << " ms" << std::endl;

        // The sound follows: once rendered, the clock stands where the last seek put it.
        const auto target = view.getPlayableDuration() * 0.7;
        EXPECT_NEAR (view.getCurrentTime(), target, 0.01);
        ASSERT_TRUE (pumpUntil ([&] { return avPlayer (view).getEngine().getQueuedFrames() > 0; }, 60000))
            << "the sound at the target was never rendered";
        EXPECT_NEAR (view.getCurrentTime(), target, 0.01);
        view.removeMedia();
    }
}

TEST_F (PlayerTest, ShowsTurnedVideoUprightInAWindowOfItsUprightShape)
{
    ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
        << "this test opens a window: run it under xvfb-run";

    // Portrait footage as phones store it: a landscape picture with a display matrix turning it.
    const auto plain = scratch.file ("plain.mp4");
    const auto movie = scratch.file ("portrait.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x96:rate=25:duration=1 -f lavfi -i "
                                          "sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac "
                                          "-shortest "
                                          + plain.getFullPathName().quoted()));
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-i " + plain.getFullPathName().quoted()
                                          + " -c copy -metadata:s:v:0 rotate=270 " + movie.getFullPathName().quoted()));

    juce::ScopedJuceInitialiser_GUI gui;
    juce::DocumentWindow window ("media", juce::Colours::black, 0);
    FakeSession session (host);
    MediaContainerComponent view (session, host.processor, host);
    view.setSize (780, 440);
    window.setContentNonOwned (&view, true);
    window.setTopLeftPosition (20, 40);
    window.setVisible (true);

    ASSERT_TRUE (openAndSetUp (view, movie));
    EXPECT_DOUBLE_EQ (view.getWindowSizer().getConstrainer().getFixedAspectRatio(), 96.0 / 160.0);
    EXPECT_EQ (window.getHeight(), 160) << "the window takes the upright picture's height";

    view.seekToFraction (0.5);
    ASSERT_TRUE (pumpUntil ([&] { return !avPlayer (view).getEngine().isVideoSeeking(); }));
    const auto shown = avPlayer (view).getCurrentVideoFrame();
    ASSERT_TRUE (shown.isValid());
    EXPECT_EQ (shown.getWidth(), 96);
    EXPECT_EQ (shown.getHeight(), 160);

    view.removeMedia();
    window.clearContentComponent();
}

TEST (PlayerWindowRules, HalvesTallVideoAndKeepsTheAspectWhenResized)
{
    struct Height
    {
        int natural, top, limit, expected;
    };

    for (auto c : { Height { 240, 500, 1128, 240 }, Height { 1080, 500, 1128, 540 }, Height { 2160, 500, 1128, 540 },
                    Height { 4320, 500, 1128, 540 }, Height { 8640, 500, 1128, 540 }, Height { 17280, 500, 1128, 1080 },
                    Height { 700, 600, 1200, 350 } })
        EXPECT_EQ (MediaWindowSizer::videoWindowHeight (c.natural, c.top, c.limit), c.expected)
            << c.natural << " at " << c.top;

    struct Drag
    {
        double aspect;
        juce::Rectangle<int> proposed;
        bool top, left, bottom, right;
        juce::Rectangle<int> expected;
    };

    const Drag drags[] = {
        { 0.0, { 0, 0, 300, 200 }, false, false, true, true, { 0, 0, 420, 200 } }, // no aspect: only the width floor
        { 16.0 / 9.0, { 0, 0, 800, 300 }, false, false, true, true, { 0, 0, 800, 564 } }, // corner: height follows
        { 16.0 / 9.0, { 0, 0, 800, 300 }, false, true, false, false, { 0, 0, 800, 564 } }, // left edge
        { 16.0 / 9.0, { 0, 0, 800, 450 }, true, false, false, false, { 0, 0, 597, 450 } }, // top: width follows
        { 16.0 / 9.0, { 0, 0, 800, 200 }, false, false, false, true, { 0, 0, 421, 351 } }, // right edge snaps back
        { 6.4, { 0, 0, 640, 120 }, true, false, false, false, { 0, 0, 422, 180 } },
    };

    for (const auto& d : drags)
    {
        CustomBoundsConstrainer constrainer;
        constrainer.setFixedAspectRatio (d.aspect);
        auto bounds = d.proposed;
        constrainer.checkBounds (bounds, {}, {}, d.top, d.left, d.bottom, d.right);
        EXPECT_EQ (bounds, d.expected) << d.aspect << " " << d.proposed.toString();
    }
}
} // namespace
