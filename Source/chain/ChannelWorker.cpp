#include "ChannelWorker.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>

namespace
{
using Clock = std::chrono::steady_clock;

// How long a waiting owner spins before it yields, in case it shares its core with the thread it waits
// for. Longer than a block's stages: a yield on a busy machine hands the core to another process for a
// whole time slice.
constexpr auto spinBeforeYield = std::chrono::milliseconds (1);
// How long the idle worker spins before it sleeps: a few blocks' time.
constexpr auto spinBeforeSleep = std::chrono::microseconds (300);

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

uint64_t ChannelWorker::post (Task task, void* context)
{
    uint64_t ticket = 0;

    {
        const std::lock_guard<std::mutex> hold (lock);
        ticket = posted.load (std::memory_order_relaxed) + 1;
        queue[(size_t) (ticket % queueLength)] = { task, context };
        posted.store (ticket, std::memory_order_release);
    }

    wake.notify_one();
    return ticket;
}

void ChannelWorker::waitFor (uint64_t ticket)
{
    const auto done = [&] { return finished.load (std::memory_order_acquire) >= ticket; };

    while (!spinUntil (done, spinBeforeYield))
        std::this_thread::yield();
}

bool ChannelWorker::callerHasTwoCores()
{
    cpu_set_t allowed;
    CPU_ZERO (&allowed);
    return pthread_getaffinity_np (pthread_self(), sizeof (allowed), &allowed) == 0 && CPU_COUNT (&allowed) >= 2;
}

void ChannelWorker::start()
{
    // A woken thread tends to land on its waker's core, and two threads that take turns there are never
    // spread by the scheduler: the owner stays on its core for the pass, the worker goes to another one
    // of those the process may use.
    if (!pinned)
    {
        cpu_set_t allowed;
        CPU_ZERO (&allowed);
        const auto own = sched_getcpu();

        if (pthread_getaffinity_np (pthread_self(), sizeof (allowed), &allowed) == 0 && own >= 0
            && CPU_COUNT (&allowed) >= 2)
        {
            int other = -1;

            for (int i = 1; i < CPU_SETSIZE && other < 0; ++i)
                if (CPU_ISSET ((own + i) % CPU_SETSIZE, &allowed))
                    other = (own + i) % CPU_SETSIZE;

            cpu_set_t ownCore, otherCore;
            CPU_ZERO (&ownCore);
            CPU_ZERO (&otherCore);
            CPU_SET (own, &ownCore);
            CPU_SET (other, &otherCore);

            if (pthread_setaffinity_np (thread.native_handle(), sizeof (otherCore), &otherCore) == 0
                && pthread_setaffinity_np (pthread_self(), sizeof (ownCore), &ownCore) == 0)
            {
                ownerAllowed = allowed;
                owner = pthread_self();
                pinned = true;
            }
        }
    }

    {
        const std::lock_guard<std::mutex> hold (lock);
        awake.store (true);
    }

    wake.notify_one();
}

void ChannelWorker::stop()
{
    if (pinned)
    {
        pthread_setaffinity_np (owner, sizeof (ownerAllowed), &ownerAllowed);
        pthread_setaffinity_np (thread.native_handle(), sizeof (ownerAllowed), &ownerAllowed);
        pinned = false;
    }

    const std::lock_guard<std::mutex> hold (lock);
    awake.store (false);
}

void ChannelWorker::run()
{
    uint64_t done = 0;

    for (;;)
    {
        // While awake the worker spins for a while for its next task, which in a steady pass comes some
        // tens of microseconds later; beyond that it sleeps, and leaves the core to other threads of the
        // pass (an export's encoder, say). Pinned to its core, it wakes there.
        const auto pending = [&]
        { return posted.load (std::memory_order_acquire) != done || quitting.load (std::memory_order_relaxed); };

        if (awake.load (std::memory_order_relaxed))
            spinUntil (pending, spinBeforeSleep);

        Posted next;

        {
            std::unique_lock<std::mutex> hold (lock);
            wake.wait (hold, [&] { return quitting.load() || posted.load() != done; });

            if (quitting.load())
                return;

            next = queue[(size_t) ((done + 1) % queueLength)];
        }

        next.task (next.context);
        finished.store (++done, std::memory_order_release);
    }
}
