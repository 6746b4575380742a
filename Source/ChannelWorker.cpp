#include "ChannelWorker.h"

#include <chrono>

namespace
{
using Clock = std::chrono::steady_clock;

// Longer than the gaps between the steps of a block, far shorter than playback's gaps between calls.
constexpr auto spinBeforeSleep = std::chrono::microseconds (200);
constexpr auto spinBeforeYield = std::chrono::microseconds (50);

/** Spins on done() until it holds or the time is up; true when it holds. Plain re-reads, no pause
    instruction: under a hypervisor a loop of pauses can cost the whole time slice.
*/
template <typename Done>
bool spinUntil (Done&& done, Clock::duration limit)
{
    const auto end = Clock::now() + limit;

    for (;;)
    {
        for (int i = 0; i < 256; ++i)
        {
            if (done())
                return true;

            std::atomic_signal_fence (std::memory_order_seq_cst);
        }

        if (Clock::now() >= end)
            return done();
    }
}
} // namespace

ChannelWorker::ChannelWorker() : thread ([this] { run(); }) {}

ChannelWorker::~ChannelWorker()
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        quitting.store (true);
    }

    wake.notify_one();
    thread.join();
}

void ChannelWorker::post (Task task, void* context)
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        pendingTask = task;
        pendingContext = context;
        posted.fetch_add (1, std::memory_order_release);
    }

    wake.notify_one();
}

void ChannelWorker::wait()
{
    const auto target = posted.load (std::memory_order_relaxed);
    const auto done = [&] { return finished.load (std::memory_order_acquire) == target; };

    while (!spinUntil (done, spinBeforeYield))
        std::this_thread::yield();
}

void ChannelWorker::run()
{
    uint64_t done = 0;

    for (;;)
    {
        spinUntil ([&] { return posted.load (std::memory_order_acquire) != done || quitting.load (std::memory_order_relaxed); },
                   spinBeforeSleep);

        Task task = nullptr;
        void* context = nullptr;

        {
            std::unique_lock<std::mutex> hold (lock);
            wake.wait (hold, [&] { return quitting.load() || posted.load() != done; });

            if (quitting.load())
                return;

            done = posted.load();
            task = pendingTask;
            context = pendingContext;
        }

        task (context);
        finished.store (done, std::memory_order_release);
    }
}
