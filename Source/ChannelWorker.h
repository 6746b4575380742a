#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sched.h>
#include <thread>

/** A second thread that runs one task at a time for its owner, who meanwhile does its own share and
    then waits: the fork and join of the processor's two channels, several times per 512-sample block.

    While active the worker spins between tasks, so that the next one, a few microseconds later, starts
    without a wake-up; some milliseconds after the last active pass it sleeps until posted to. post and
    wait are called from one thread, the owner's.
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

    /** While more calls said true than false, the worker spins between tasks instead of sleeping, and
        the calling thread and the worker keep to two different cores. Called by the owner's thread.
    */
    void setActive (bool shouldStayAwake);

    /** False when the owner's thread may use only one core (as the last setActive (true) found): two
        threads there would only take turns.
    */
    bool hasTwoCores() const noexcept { return twoCores; }

private:
    void run();
    void placeOnTwoCores();
    void releaseCores();

    std::mutex lock;
    std::condition_variable wake;
    std::atomic<uint64_t> posted { 0 }, finished { 0 };
    std::atomic<bool> quitting { false };
    std::atomic<int> active { 0 };
    Task pendingTask = nullptr;
    void* pendingContext = nullptr;
    cpu_set_t ownerAllowed {};
    bool pinned = false, twoCores = true;
    std::thread thread;
};
