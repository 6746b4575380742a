// A quit asked for right after a nested message loop, as after a modal box or the settle before a quit.

#include "desktop/MessageLoopQuit.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace
{
/** Runs a fresh message loop as the application's main does, with quit asked for from a message callback after a
    nested loop of nestedMs; true when the loop ended by itself within limitMs. Past that, a pipe of the test's
    own wakes the loop so that the test ends either way.
*/
bool loopEndsByItself (const std::function<void()>& quit, int nestedMs, int limitMs)
{
    auto* messageManager = juce::MessageManager::getInstance();

    int rescue[2] = { -1, -1 };
    EXPECT_EQ (::pipe2 (rescue, O_CLOEXEC), 0);
    bool rescued = false;
    juce::LinuxEventLoop::registerFdCallback (rescue[0],
                                              [&] (int fd)
                                              {
                                                  char byte = 0;
                                                  [[maybe_unused]] const auto got = ::read (fd, &byte, 1);
                                                  rescued = true;
                                              });

    std::mutex mutex;
    std::condition_variable ended;
    bool loopEnded = false;
    std::thread watchdog (
        [&]
        {
            std::unique_lock<std::mutex> lock (mutex);

            if (!ended.wait_for (lock, std::chrono::milliseconds (limitMs), [&] { return loopEnded; }))
            {
                const char byte = 1;
                [[maybe_unused]] const auto written = ::write (rescue[1], &byte, 1);
            }
        });

    juce::MessageManager::callAsync (
        [&]
        {
            messageManager->runDispatchLoopUntil (nestedMs);
            quit();
        });

    messageManager->runDispatchLoop();

    {
        std::lock_guard<std::mutex> lock (mutex);
        loopEnded = true;
    }

    ended.notify_all();
    watchdog.join();
    juce::LinuxEventLoop::unregisterFdCallback (rescue[0]);
    ::close (rescue[0]);
    ::close (rescue[1]);
    juce::MessageManager::deleteInstance(); // the next loop starts unquit
    return !rescued;
}
} // namespace

TEST (MessageLoopQuitTest, TheLoopEndsWhenTheQuitFollowsANestedLoop)
{
    // The framework's quit alone leaves the loop asleep: the fault this is for.
    EXPECT_FALSE (loopEndsByItself ([] { juce::JUCEApplicationBase::quit(); }, 50, 3000))
        << "the framework's loop ended by itself: this set-up shows nothing";

    for (const auto nestedMs : { 0, 50, 500 })
    {
        SCOPED_TRACE (nestedMs);
        EXPECT_TRUE (loopEndsByItself ([] { tavlin::desktop::quitMessageLoop(); }, nestedMs, 10000));
    }
}
