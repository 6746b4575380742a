#include "DelayGainTap.h"
#include "MediaFixtures.h"
#include "PlayerDrain.h"
#include "ThreadWakeups.h"

#include "gui/VideoFrameComponent.h"
#include "media/MediaPlayer.h"
#include "media/VideoFrameDecoder.h"

using namespace tavlin::media;
using tavlin::test::drain;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double rate = 44100.0;
constexpr int64_t length = 44100;

float counter (int64_t n, int ch)
{
    return (float) ((n * 3 + ch * 500) % 2001 - 1000) / 2048.0f;
}

/** Every frame of a file's picture in the decoder's order; none, with a failure, if it cannot be opened. */
std::vector<VideoFrameDecoder::Frame> decodeFrames (const juce::File& file)
{
    juce::String error;
    auto decoder = VideoFrameDecoder::open (file, -1, error);
    std::vector<VideoFrameDecoder::Frame> frames;

    if (decoder == nullptr)
    {
        ADD_FAILURE() << error;
        return frames;
    }

    VideoFrameDecoder::Frame frame;

    while (decoder->next (frame))
        frames.push_back (frame);

    return frames;
}

class MediaPlayerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        juce::MessageManager::getInstance();
        wav = scratch.file ("counter.wav");
        ASSERT_TRUE (tavlin::test::writeWav (wav, rate, 2, length, 24, counter));
    }

    static void pump (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

    static bool pumpUntil (const std::function<bool()>& done, int limitMs = 10000)
    {
        for (int waited = 0; waited < limitMs && !done(); waited += 10)
            pump (10);

        return done();
    }

    std::unique_ptr<MediaPlayerItem> makeItem (const juce::File& file)
    {
        MediaAsset asset (file);
        return std::make_unique<MediaPlayerItem> (MediaComposition::fromAsset (asset));
    }

    ScratchFolder scratch;
    juce::File wav;
};
} // namespace

TEST_F (MediaPlayerFixture, PlaysEverySampleOnceThroughTheTapAndAnnouncesTheEnd)
{
    tavlin::test::DelayGainTap client (0, 1.0f); // outlives the player, also when an assertion ends the test
    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    client.record = true;
    auto item = makeItem (wav);
    std::shared_ptr<AudioProcessingTap> tap;
    item->setAudioMix (client.makeMix (item->getAsset().getFirstTrack (MediaType::audio)->trackID, tap));
    player.replaceCurrentItem (std::move (item));
    ASSERT_EQ (player.getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);
    EXPECT_EQ (client.prepares.load(), 1);
    EXPECT_EQ (client.preparedRate, rate);
    EXPECT_EQ (client.preparedChannels, 2);
    EXPECT_NEAR (player.getDuration().seconds(), 1.0, 1.0e-6);

    int rateChanges = 0, ends = 0;
    bool onMessageThread = true;
    player.addRateObserver ([&] { ++rateChanges; });
    player.addItemEndObserver (
        [&]
        {
            ++ends;
            onMessageThread = onMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
        });

    player.play();
    EXPECT_EQ (rateChanges, 1);
    EXPECT_EQ (player.getRate(), 1.0f);

    const auto played = drain (player, length);
    ASSERT_EQ (played.getNumSamples(), length);

    for (int ch = 0; ch < 2; ++ch)
        for (int n = 0; n < length; ++n)
            ASSERT_EQ (played.getSample (ch, n), counter (n, ch)) << "channel " << ch << " sample " << n;

    EXPECT_TRUE (pumpUntil ([&] { return ends > 0; }));
    pump (50);
    EXPECT_EQ (ends, 1);
    EXPECT_TRUE (onMessageThread);
    EXPECT_EQ (player.getRate(), 0.0f) << "the default action at the end pauses";
    EXPECT_EQ (rateChanges, 2);
    EXPECT_EQ (player.getCurrentTime().value, length);

    // The tap saw each sample once, in order, in blocks of at most 4096 frames.
    EXPECT_EQ (client.framesProcessed.load(), length);
    EXPECT_LE (client.largestBlock.load(), 4096);
    ASSERT_EQ ((int64_t) client.seen.size(), length);

    for (int n = 0; n < length; ++n)
        ASSERT_EQ (client.seen[(size_t) n], counter (n, 0)) << "sample " << n;

    player.replaceCurrentItem (nullptr);
    EXPECT_EQ (client.unprepares.load(), 1);
    tap.reset();
    EXPECT_TRUE (client.finalised.load()) << "the player kept the tap after it let the item go";
}

TEST_F (MediaPlayerFixture, SeeksAndStepsExactly)
{
    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    player.replaceCurrentItem (makeItem (wav));
    std::vector<double> observed;
    player.addPeriodicTimeObserver (MediaTime::make (1, 10), [&] (MediaTime t) { observed.push_back (t.seconds()); });

    for (int64_t target : { (int64_t) 12345, (int64_t) 0, (int64_t) 40001, (int64_t) 777 })
    {
        SCOPED_TRACE (target);
        player.seekToTime (MediaTime::make (target, 44100), MediaTime::zero(), MediaTime::zero());
        EXPECT_EQ (player.getCurrentTime().toSamples (rate), target);
        ASSERT_FALSE (observed.empty());
        EXPECT_DOUBLE_EQ (observed.back(), (double) target / rate) << "a seek tells the time observers";

        player.play();
        const auto played = drain (player, target + 3000);
        player.pause();
        ASSERT_EQ (played.getNumSamples(), 3000);

        for (int n = 0; n < played.getNumSamples(); ++n)
            ASSERT_EQ (played.getSample (1, n), counter (target + n, 1)) << "sample " << n;
    }

    // Without a picture a step is a thirtieth of a second.
    player.seekToTime (MediaTime::make (1000, 44100));
    player.stepByCount (3);
    EXPECT_EQ (player.getCurrentTime().toSamples (rate), 1000 + 4410);
    player.stepByCount (-1);
    EXPECT_EQ (player.getCurrentTime().toSamples (rate), 1000 + 4410 - 1470);
}

TEST_F (MediaPlayerFixture, ResamplesToTheOutputRateAndKeepsTheClockInMediaFrames)
{
    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    player.replaceCurrentItem (makeItem (wav));
    player.getEngine().setOutputFormat (48000.0, 1);
    player.play();

    auto& engine = player.getEngine();
    juce::AudioBuffer<float> block (1, 480);
    int64_t outputFrames = 0;

    for (int attempts = 0; !engine.hasReachedEnd() && attempts < 100000; ++attempts)
    {
        // Whole blocks, as a device takes them, unless the end is near: a slow render thread may not starve it.
        for (int waited = 0; waited < 200 && engine.getQueuedFrames() < block.getNumSamples(); ++waited)
            juce::Thread::sleep (1);

        const auto before = engine.getPosition();
        engine.readOutput (block.getArrayOfWritePointers(), 1, block.getNumSamples());

        if (engine.getPosition() == before)
            juce::Thread::sleep (1);
        else
            outputFrames += block.getNumSamples();
    }

    EXPECT_TRUE (engine.hasReachedEnd());
    EXPECT_EQ (engine.getPosition(), length);
    EXPECT_NEAR ((double) outputFrames, length * 48000.0 / rate, 2.0 * block.getNumSamples());
}

TEST_F (MediaPlayerFixture, TheNullClockRunsWithoutASoundCard)
{
    const auto shortFile = scratch.file ("short.wav");
    ASSERT_TRUE (tavlin::test::writeWav (shortFile, rate, 1, 11025, 16, counter));

    juce::AudioDeviceManager noDevices;
    MediaPlayer player (&noDevices); // no device open: the null clock plays
    player.replaceCurrentItem (makeItem (shortFile));
    player.setActionAtItemEnd (MediaPlayer::ActionAtItemEnd::none);

    std::vector<double> times;
    bool onMessageThread = true;
    player.addPeriodicTimeObserver (
        MediaTime::make (1, 10),
        [&] (MediaTime t)
        {
            times.push_back (t.seconds());
            onMessageThread = onMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
        });
    int ends = 0;
    player.addItemEndObserver ([&] { ++ends; });

    player.play();
    ASSERT_TRUE (pumpUntil ([&] { return ends > 0; }));
    EXPECT_EQ (ends, 1);
    EXPECT_TRUE (onMessageThread);
    EXPECT_EQ (player.getRate(), 1.0f) << "with no action at the end the rate stays";
    EXPECT_EQ (player.getCurrentTime().toSamples (rate), 11025);
    ASSERT_GE (times.size(), 2u);
    EXPECT_TRUE (std::is_sorted (times.begin(), times.end())) << "time went backwards";
    EXPECT_GT (times.back(), times.front());
}

TEST_F (MediaPlayerFixture, ShowsThePictureByTheClockPlusTheVideoOffset)
{
    const auto movie = scratch.file ("movie.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg (
        "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -i " + wav.getFullPathName().quoted()
        + " -map 0 -map 1 -c:v mpeg4 -q:v 3 -c:a aac -t 1 " + movie.getFullPathName().quoted()));

    // The source's own frames, for reference.
    const auto frames = decodeFrames (movie);

    ASSERT_GE (frames.size(), 24u);

    MediaAsset asset (movie);
    MediaComposition composition;
    const double offset = 0.3;
    const int v = composition.addTrack (MediaType::video);
    composition.insertTimeRange (v, { MediaTime::zero(), asset.getDuration() }, asset,
                                 *asset.getFirstTrack (MediaType::video), MediaTime::fromSeconds (offset, 1000));
    const int a = composition.addTrack (MediaType::audio);
    composition.insertTimeRange (a, { MediaTime::zero(), asset.getDuration() }, asset,
                                 *asset.getFirstTrack (MediaType::audio), MediaTime::zero());

    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    player.replaceCurrentItem (std::make_unique<MediaPlayerItem> (composition));
    ASSERT_EQ (player.getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);

    // The picture follows a seek once decoded; until then the one shown before stays.
    const auto seekAndWait = [&] (double seconds)
    {
        player.seekToTime (MediaTime::fromSeconds (seconds, 1000));
        EXPECT_TRUE (pumpUntil ([&] { return !player.getEngine().isVideoSeeking(); }, 3000));
        return toImage (player.getCurrentVideoFrame());
    };

    seekAndWait (offset + 0.5);
    EXPECT_TRUE (seekAndWait (0.1).isNull()) << "a picture before the video's offset";

    for (int k : { 0, 5, 12 })
    {
        SCOPED_TRACE (k);
        const auto shown = seekAndWait (offset + frames[(size_t) k].seconds + 0.01);
        ASSERT_TRUE (shown.isValid());
        ASSERT_EQ (shown.getWidth(), 160);
        ASSERT_EQ (shown.getHeight(), 120);

        const auto expected = toImage (frames[(size_t) k].picture);
        int differing = 0;

        for (int y = 0; y < 120; y += 7)
            for (int x = 0; x < 160; x += 7)
                differing += shown.getPixelAt (x, y) != expected.getPixelAt (x, y) ? 1 : 0;

        EXPECT_EQ (differing, 0) << "not the frame that shows at this time";
    }

    // The component draws the frame: a snapshot at the picture's size holds its pixels.
    VideoFrameComponent view (player);
    view.setBounds (0, 0, 160, 120);
    view.refresh();
    const auto snapshot = view.createComponentSnapshot (view.getLocalBounds(), true, 1.0f);
    const auto current = toImage (player.getCurrentVideoFrame());
    ASSERT_TRUE (current.isValid());
    EXPECT_EQ (snapshot.getPixelAt (80, 60), current.getPixelAt (80, 60));
    EXPECT_EQ (snapshot.getPixelAt (10, 100), current.getPixelAt (10, 100));
}

TEST_F (MediaPlayerFixture, TheItemEndsWithTheCompositionSoTheDelayedPictureAndSoundComeOutWhole)
{
    // A processor's delay: the tap puts the sound out 0.3 s late, the composition the picture.
    constexpr int delay = 13230;
    const auto movie = scratch.file ("movie.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -q:v 3 "
                                          + movie.getFullPathName().quoted()));

    MediaAsset pictures (movie), sound (wav);
    MediaComposition composition;
    const int v = composition.addTrack (MediaType::video);
    composition.insertTimeRange (v, { MediaTime::zero(), pictures.getDuration() }, pictures,
                                 *pictures.getFirstTrack (MediaType::video), MediaTime::make (delay, (int32_t) rate));
    const int a = composition.addTrack (MediaType::audio);
    composition.insertTimeRange (a, { MediaTime::zero(), sound.getDuration() }, sound,
                                 *sound.getFirstTrack (MediaType::audio), MediaTime::zero());
    const auto end = composition.getDuration().toSamples (rate);
    ASSERT_EQ (end, length + delay);

    // The source's last frame, for reference.
    const auto decoded = decodeFrames (movie);
    ASSERT_FALSE (decoded.empty());
    const auto& last = decoded.back();

    const auto lastShownFrom = (int64_t) std::ceil ((last.seconds * rate)) + delay;
    const auto lastImage = toImage (last.picture);

    // The tap's client outlives the player, which unprepares the tap when it goes.
    tavlin::test::DelayGainTap client (delay, 1.0f);
    MediaPlayer player (nullptr, MediaPlayer::Output::manual);
    auto item = std::make_unique<MediaPlayerItem> (composition);
    std::shared_ptr<AudioProcessingTap> tap;
    item->setAudioMix (client.makeMix (a, tap));
    player.replaceCurrentItem (std::move (item));
    ASSERT_EQ (player.getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);
    EXPECT_EQ (player.getEngine().getLengthFrames(), end);

    int ends = 0;
    player.addItemEndObserver ([&] { ++ends; });
    player.play();

    auto& engine = player.getEngine();
    std::vector<float> heard;
    juce::AudioBuffer<float> block (2, 441);
    bool lastFrameShown = false;

    for (int attempts = 0; !engine.hasReachedEnd() && attempts < 200000; ++attempts)
    {
        const auto before = engine.getPosition();
        engine.readOutput (block.getArrayOfWritePointers(), 2, block.getNumSamples());
        const auto got = (int) (engine.getPosition() - before);
        heard.insert (heard.end(), block.getReadPointer (0), block.getReadPointer (0) + got);

        if (got == 0)
            juce::Thread::sleep (1);
        else if (engine.getPosition() >= lastShownFrom)
            for (int wait = 0; wait < 3000 && !lastFrameShown; wait += 5)
            {
                const auto shown = toImage (player.getCurrentVideoFrame());
                lastFrameShown = shown.isValid() && shown.getPixelAt (80, 60) == lastImage.getPixelAt (80, 60)
                                 && shown.getPixelAt (20, 100) == lastImage.getPixelAt (20, 100);
                if (!lastFrameShown)
                    juce::Thread::sleep (5);
            }
    }

    ASSERT_TRUE (engine.hasReachedEnd());
    EXPECT_TRUE (pumpUntil ([&] { return ends > 0; }));
    EXPECT_EQ (ends, 1);
    EXPECT_EQ (player.getCurrentTime().toSamples (rate), end) << "the clock stops at the composition's end";
    EXPECT_DOUBLE_EQ (player.getCurrentTime().seconds() / player.getDuration().seconds(), 1.0);
    EXPECT_TRUE (lastFrameShown) << "the delayed picture's last frame was never shown";

    // All of the delayed sound came out, every sample once.
    ASSERT_EQ ((int64_t) heard.size(), end);

    for (int n = 0; n < length; ++n)
        ASSERT_EQ (heard[(size_t) (n + delay)], counter (n, 0)) << "sample " << n;
}

TEST_F (MediaPlayerFixture, APausedPlayersThreadsSleepAndEveryRequestWakesThem)
{
    using tavlin::test::ThreadWakeups;

    const auto movie = scratch.file ("movie.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -q:v 3 "
                                          + movie.getFullPathName().quoted()));

    std::vector<juce::Image> frames;

    for (const auto& frame : decodeFrames (movie))
        frames.push_back (toImage (frame.picture));

    ASSERT_EQ (frames.size(), 25u);

    // The movie's picture with the counter as its sound, so that every sample heard can be checked.
    MediaAsset pictures (movie), sound (wav);
    MediaComposition composition;
    const int v = composition.addTrack (MediaType::video);
    composition.insertTimeRange (v, { MediaTime::zero(), pictures.getDuration() }, pictures,
                                 *pictures.getFirstTrack (MediaType::video), MediaTime::zero());
    const int a = composition.addTrack (MediaType::audio);
    composition.insertTimeRange (a, { MediaTime::zero(), sound.getDuration() }, sound,
                                 *sound.getFirstTrack (MediaType::audio), MediaTime::zero());

    auto player = std::make_unique<MediaPlayer> (nullptr, MediaPlayer::Output::manual);
    const char* const threads[] = { "Media render", "Media picture" };

    // The sleeps of the player's threads over half a second, once they have had up to 5 s to do what was asked.
    const auto sleepsAtRest = [&]
    {
        const auto ofPlayer = [&] (const std::map<juce::String, long long>& counts)
        { return ThreadWakeups::of (counts, threads[0]) + ThreadWakeups::of (counts, threads[1]); };

        for (int waited = 0; waited < 5000; waited += 100)
        {
            const auto before = ThreadWakeups::take();
            juce::Thread::sleep (100);

            if (ofPlayer (ThreadWakeups::since (before)) == 0)
                break;
        }

        const auto before = ThreadWakeups::take();
        juce::Thread::sleep (500);
        auto counts = ThreadWakeups::since (before);

        for (auto* name : threads)
            EXPECT_EQ (counts.count (name), 1u) << name << " is not running";

        return counts;
    };

    const auto expectAtRest = [&] (const char* after)
    {
        SCOPED_TRACE (after);
        const auto counts = sleepsAtRest();

        // A thread that looks in a loop would sleep hundreds of times; one at rest only if a signal woke it.
        for (auto* name : threads)
            EXPECT_LE (ThreadWakeups::of (counts, name), 1) << name << " kept waking with nothing to do";
    };

    const auto shows = [&] (size_t k)
    {
        if (!pumpUntil ([&] { return !player->getEngine().isVideoSeeking(); }, 5000))
            return ::testing::AssertionFailure() << "the picture never came";

        const auto shown = toImage (player->getCurrentVideoFrame());

        if (!shown.isValid())
            return ::testing::AssertionFailure() << "no picture";

        for (int y = 0; y < 120; y += 7)
            for (int x = 0; x < 160; x += 7)
                if (shown.getPixelAt (x, y) != frames[k].getPixelAt (x, y))
                    return ::testing::AssertionFailure() << "not frame " << k;

        return ::testing::AssertionSuccess();
    };

    const auto hears = [&] (int64_t from, int count)
    {
        player->play();
        const auto played = drain (*player, from + count);
        player->pause();

        if (played.getNumSamples() != count)
            return ::testing::AssertionFailure() << played.getNumSamples() << " frames of " << count;

        for (int n = 0; n < count; ++n)
            if (played.getSample (0, n) != counter (from + n, 0))
                return ::testing::AssertionFailure() << "sample " << n;

        return ::testing::AssertionSuccess();
    };

    player->replaceCurrentItem (std::make_unique<MediaPlayerItem> (composition));
    ASSERT_EQ (player->getCurrentItem()->getStatus(), MediaPlayerItem::Status::readyToPlay);
    EXPECT_TRUE (shows (0));
    expectAtRest ("loaded, paused");

    // Each request, made while both threads sleep, is carried out at once and exactly, and both rest again.
    const auto frameStart = [] (int k) { return (int64_t) (k * rate / 25.0); };
    const auto seekTo = frameStart (10) + 100;
    player->seekToTime (MediaTime::make (seekTo, (int32_t) rate));
    EXPECT_EQ (player->getCurrentTime().toSamples (rate), seekTo);
    EXPECT_TRUE (shows (10));
    expectAtRest ("a seek");

    player->stepByCount (1);
    EXPECT_EQ (player->getCurrentTime().toSamples (rate), seekTo + (int64_t) (rate / 25.0));
    EXPECT_TRUE (shows (11));
    expectAtRest ("a frame step");

    const auto position = player->getCurrentTime().toSamples (rate);
    EXPECT_TRUE (hears (position, 3000));
    expectAtRest ("playing and pausing");

    // Another rate renders the queued sound again: what is heard at 1x after it is still every sample.
    player->setRate (2.0f);
    player->pause();
    EXPECT_TRUE (hears (player->getCurrentTime().toSamples (rate), 2000));
    expectAtRest ("a rate change");

    player->replaceCurrentItem (std::make_unique<MediaPlayerItem> (composition));
    EXPECT_TRUE (shows (0));
    EXPECT_TRUE (hears (0, 2000));
    expectAtRest ("a new item");

    // Requests in quick succession, some overtaken at once by the next: none is lost, the last is shown.
    std::mt19937 random (5);

    for (int i = 0; i < 60; ++i)
    {
        const auto k = (int) (random() % 25);

        if (i % 3 == 0)
            player->seekToTime (MediaTime::make (frameStart ((k + 7) % 25) + 50, (int32_t) rate));

        player->seekToTime (MediaTime::make (frameStart (k) + 50, (int32_t) rate));
        ASSERT_TRUE (shows ((size_t) k)) << "request " << i;
    }

    expectAtRest ("requests in quick succession");

    // Shut down while both sleep: the player goes, and so do its threads.
    player.reset();
    const auto left = ThreadWakeups::take();

    for (const auto& [id, thread] : left)
        for (auto* name : threads)
            EXPECT_NE (thread.name, juce::String (name)) << "a thread outlived its player";
}
