#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

/** A second thread that runs one task at a time for its owner, who meanwhile does its own share and
    then waits: the fork and join of the processor's two channels, several times per 512-sample block.

    The worker spins for a short while after each task, so that the next one, a few microseconds later,
    starts without a wake-up; when none comes it sleeps until posted to. post and wait are called from
    one thread, the owner's.
*/
class ChannelWorker
{
public:
    using Task = void (*) (void* context);

    ChannelWorker();
    ~ChannelWorker();

    ChannelWorker (const ChannelWorker&) = delete;
    ChannelWorker& operator= (const ChannelWorker&) = delete;

    /** Starts task (context) on the worker. The previous task must have been waited for. */
    void post (Task task, void* context);

    /** Returns once the posted task has returned. */
    void wait();

private:
    void run();

    std::mutex lock;
    std::condition_variable wake;
    std::atomic<uint64_t> posted { 0 }, finished { 0 };
    std::atomic<bool> quitting { false };
    Task pendingTask = nullptr;
    void* pendingContext = nullptr;
    std::thread thread;
};
