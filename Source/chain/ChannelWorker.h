#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

/** A second thread that runs one task at a time for its owner, who meanwhile does other work and then
    waits: the later stages of one 512-sample block while the owner runs the first stages of the next.

    Between start and stop the worker spins for a while between tasks, so that the next one, some
    microseconds later, starts without a wake-up, and the owner's thread and the worker keep to two
    different cores; otherwise it sleeps until posted to. post and wait are called from one thread at a
    time, the owner's.
*/
class ChannelWorker
{
public:
    using Task = void (*) (void* context);

    ChannelWorker();
    ~ChannelWorker();

    ChannelWorker (const ChannelWorker&) = delete;
    ChannelWorker& operator= (const ChannelWorker&) = delete;

    /** True when the calling thread may run on at least two cores: only then can a second thread help. */
    static bool callerHasTwoCores();

    /** Keeps the worker awake and places it and the calling thread (the owner) on two cores. */
    void start();

    /** Gives both threads back the cores they had and lets the worker sleep. */
    void stop();

    /** Queues task (context) for the worker, which runs its tasks in order; at most queueLength may be
        queued or running. Returns the task's ticket for waitFor.
    */
    uint64_t post (Task task, void* context);

    /** Returns once the task with the ticket, and every one before it, has returned. */
    void waitFor (uint64_t ticket);

    /** Returns once every posted task has returned. */
    void wait() { waitFor (posted.load (std::memory_order_relaxed)); }

    static constexpr int queueLength = 4;

private:
    void run();

    std::mutex lock;
    std::condition_variable wake;
    std::atomic<uint64_t> posted { 0 }, finished { 0 };
    std::atomic<bool> quitting { false }, awake { false };
    struct Posted
    {
        Task task = nullptr;
        void* context = nullptr;
    };

    std::array<Posted, queueLength> queue {};
    cpu_set_t ownerAllowed {};
    pthread_t owner {};
    bool pinned = false;
    std::thread thread;
};
