// What the program costs while nothing happens, measured as this process's own CPU time (user and system,
// all threads, from /proc/self/stat) over 10 s of its message loop: a figure that a loaded machine changes
// little, unlike anything measured against the wall clock.

#include "AnimationComponent.h"
#include "ApplicationTestSupport.h"
#include "MediaContainerComponent.h"
#include "MediaControlsComponent.h"
#include "MediaSession.h"
#include "MediaWindow.h"
#include "StandaloneTestMain.h"
#include "TavEditor.h"
#include "TavEditorWindow.h"
#include "TavUIEditor.h"
#include "ThreadWakeups.h"
#include "TransportComponent.h"
#include "UserGuideWindow.h"
#include "WashWindowComponent.h"

#include <gtest/gtest.h>

#include <iostream>
#include <unistd.h>

namespace juce
{
// The framework's own step of its message loop: waits for the next event and dispatches it.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
using namespace tavlin::test;

/** CPU time this process has used so far, in clock ticks. */
long long processTicks()
{
    // After the program's name: the state (field 3 of the line), ..., utime (field 14) and stime (field 15).
    const auto fields = juce::StringArray::fromTokens (
        juce::File ("/proc/self/stat").loadFileAsString().fromLastOccurrenceOf (")", false, false).trim(), " ", {});
    return fields[14 - 3].getLargeIntValue() + fields[15 - 3].getLargeIntValue();
}

constexpr int measureMs = 10000;

struct IdleFigures
{
    double cpuPercent = 0.0; // share of one core
    std::map<juce::String, long long> sleeps; // by thread name
};

/** What the process used while its message loop ran for measureMs: its share of one core (in per cent) and
    how often each of its threads went to sleep.

    The loop runs as the program's does, sleeping until the next event; the framework's runDispatchLoopUntil(),
    which the other tests use, would look for messages every millisecond and cost more than the program.
*/
IdleFigures measureMessageLoop (const char* what)
{
    struct Clock : juce::Timer
    {
        Clock() { startTimer (500); } // so that the loop looks at the time now and then
        void timerCallback() override {}
    } clock;

    const auto threadsBefore = ThreadWakeups::take();
    const auto before = processTicks();
    const auto end = juce::Time::getMillisecondCounterHiRes() + measureMs;

    while (juce::Time::getMillisecondCounterHiRes() < end)
        juce::dispatchNextMessageOnSystemQueue (false);

    const auto used = processTicks() - before;
    IdleFigures figures;
    figures.cpuPercent = 100.0 * (double) used / (double) ::sysconf (_SC_CLK_TCK) / (measureMs / 1000.0);
    figures.sleeps = ThreadWakeups::since (threadsBefore);
    std::cout << what << ": " << figures.cpuPercent << " % of a core; sleeps over " << measureMs / 1000
              << " s: " << ThreadWakeups::describe (figures.sleeps) << std::endl;
    return figures;
}

/** One clock tick over the measuring time, in per cent: the finest step the figures can take. */
double tickPercent()
{
    return 100.0 / (double) ::sysconf (_SC_CLK_TCK) / (measureMs / 1000.0);
}

class IdleCpuTest : public ApplicationTest
{
};
} // namespace

TEST_F (IdleCpuTest, IdleIsIdleAlsoAfterTheGuideWasShown)
{
    start();

    // No media, both windows shown; the waiting animation plays once and comes to rest.
    auto& animation = app->getMediaWindow()->getControls().transport->getAnimation().getView();
    ASSERT_TRUE (pumpUntil ([&] { return animation.isRunning(); }));
    ASSERT_TRUE (pumpUntil ([&] { return !animation.isMoving(); }, 30000)) << "the animation never came to rest";
    EXPECT_TRUE (app->getEditorWindow()->isShowing());
    EXPECT_TRUE (app->getMediaWindow()->isShowing());
    pump (500);

    const auto idle = measureMessageLoop ("idle, no media, windows shown").cpuPercent;
    EXPECT_LT (idle, 3.0);

    // The user guide opened, read and closed.
    app->showUserGuide (false);
    auto* guide = app->getUserGuideWindow();
    ASSERT_NE (guide, nullptr);
    ASSERT_TRUE (pumpUntil (
        [&]
        {
            auto* browser = guide->getGuide()->getBrowser();
            return browser != nullptr && browser->pagesLoaded > 0;
        },
        30000))
        << "the guide's page never loaded";
    pump (1000);
    guide->closeButtonPressed();
    EXPECT_EQ (guide->getGuide()->getBrowser(), nullptr) << "no web view is left behind";
    pump (500);

    const auto afterGuide = measureMessageLoop ("after the guide was closed").cpuPercent;

    // Twice the idle figure, give or take the two clock ticks each figure may be off by.
    EXPECT_LE (afterGuide, 2.0 * idle + 2.0 * tickPercent());
}

TEST_F (IdleCpuTest, AMoviePausedCostsNothingAndItsPictureIsFollowedOnlyWhileItMovesAndShows)
{
    const auto movie = root.getChildFile ("paused.mov");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
                                          "sine=frequency=330:sample_rate=48000:duration=4 -c:v mpeg4 -q:v 3 -c:a aac "
                                          "-shortest "
                                          + movie.getFullPathName().quoted()));
    start();
    ASSERT_TRUE (app->openMediaFile (movie, false).wasOk());
    ASSERT_TRUE (pumpUntil ([&] { return app->isIdle() && document().analysisFile.existsAsFile(); }, 30000));

    auto* session = app->getSession();
    ASSERT_NE (session, nullptr);
    auto* picture = app->getMediaWindow()->getControls().transport->getMediaView().getVideoLayer();
    ASSERT_NE (picture, nullptr);
    ASSERT_TRUE (picture->isShowing());
    auto& view = app->getMediaWindow()->getControls().transport->getMediaView();

    // Playing, the picture is followed; hidden, it is not, and shown again it is.
    app->togglePlayPause();
    ASSERT_TRUE (app->isPlaying());
    ASSERT_TRUE (pumpUntil ([&] { return view.getCurrentTime() > 0.5; }, 10000));
    EXPECT_TRUE (picture->isFollowing());
    app->getMediaWindow()->setVisible (false);
    pump (200);
    EXPECT_FALSE (picture->isFollowing()) << "hidden, and still looking for pictures";
    app->getMediaWindow()->setVisible (true);
    pump (200);
    EXPECT_TRUE (picture->isFollowing());

    // Paused, nothing is followed; a seek is, until its picture is there.
    ASSERT_TRUE (pumpUntil ([&] { return view.getCurrentTime() > 1.0; }, 10000));
    app->togglePlayPause();
    ASSERT_FALSE (app->isPlaying());
    ASSERT_TRUE (pumpUntil ([&] { return !picture->isFollowing(); }, 2000)) << "paused, and still looking";
    const auto before = picture->getShownPicture();
    ASSERT_TRUE (before.isValid());
    view.seekToFraction (0.75);
    ASSERT_TRUE (pumpUntil ([&] { return !picture->isFollowing(); }, 5000)) << "the seek's picture never came";
    EXPECT_NE (picture->getShownPicture(), before) << "the picture of the new time is shown";
    EXPECT_EQ (picture->getShownPicture(), session->getMediaPlayer()->getCurrentVideoFrame());
    pump (500);

    const auto paused = measureMessageLoop ("idle, a movie loaded and paused");
    EXPECT_LT (paused.cpuPercent, 3.0);

    // Paused, the player's threads sleep (one that looked in a loop would have slept thousands of times), and
    // with no sound going through the processor the wash window's timer rests.
    for (auto* thread : { "Media render", "Media picture" })
    {
        ASSERT_EQ (paused.sleeps.count (thread), 1u) << thread << " is not running";
        EXPECT_LE (paused.sleeps.at (thread), 2) << thread << " kept waking while nothing played";
    }

    EXPECT_TRUE (app->getEditor()->getMainPanel().getWashWindow().isResting());

    // Played again, both wake at once: the sound's clock and the picture move on.
    const auto restingPicture = picture->getShownPicture();
    const auto pausedAt = view.getCurrentTime();
    app->togglePlayPause();
    ASSERT_TRUE (app->isPlaying());
    ASSERT_TRUE (pumpUntil ([&] { return view.getCurrentTime() > pausedAt + 0.3; }, 10000)) << "the sound never came";
    EXPECT_NE (picture->getShownPicture(), restingPicture) << "the picture stayed";
    EXPECT_FALSE (app->getEditor()->getMainPanel().getWashWindow().isResting()) << "the columns did not wake it";
    app->togglePlayPause();
}
