#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <juce_core/juce_core.h>

namespace tavlin::test
{

/** Turns a hang into a failure: should the guarded step still run after limitMs (in ms), the path it may be
    stuck on, when a named pipe, is opened for writing and closed again, which ends any open or read that
    waits on it, and fired() then tells the test. The limit only stops a test that would otherwise hang: it is no
    statement about speed.
*/
class HangGuard
{
public:
    explicit HangGuard (const juce::File& pathToRelease, int limitMs = 10000)
        : path (pathToRelease), watcher ([this, limitMs] { watch (limitMs); })
    {
    }

    ~HangGuard()
    {
        {
            const std::lock_guard<std::mutex> hold (lock);
            done = true;
        }

        wake.notify_all();
        watcher.join();
    }

    /** True when the guarded step ran past its limit. */
    bool fired() const noexcept { return didFire.load(); }

private:
    void watch (int limitMs)
    {
        std::unique_lock<std::mutex> hold (lock);

        if (wake.wait_for (hold, std::chrono::milliseconds (limitMs), [this] { return done; }))
            return;

        didFire = true;

        // Until the step lets go: a reader may reach its open only after the first release.
        while (!wake.wait_for (hold, std::chrono::milliseconds (200), [this] { return done; }))
            if (const int fd = ::open (path.getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK); fd >= 0)
                ::close (fd);
    }

    juce::File path;
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
    std::atomic<bool> didFire { false };
    std::thread watcher;
};

} // namespace tavlin::test
