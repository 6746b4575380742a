#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

/** A second thread that runs one task at a time for its owner, who meanwhile does other work and then
    waits: the later stages of one 512-sample block while the owner runs the first stages of the next.

    Between start and stop the worker spins between tasks, so that the next one, some microseconds
    later, starts without a wake-up, and the owner's thread and the worker keep to two different cores;
    otherwise it sleeps until posted to. post and wait are called from one thread at a time, the owner's.
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

    /** Starts task (context) on the worker. The previous task must have been waited for. */
    void post (Task task, void* context);

    /** Returns once the posted task has returned. */
    void wait();

private:
    void run();

    std::mutex lock;
    std::condition_variable wake;
    std::atomic<uint64_t> posted { 0 }, finished { 0 };
    std::atomic<bool> quitting { false }, awake { false };
    Task pendingTask = nullptr;
    void* pendingContext = nullptr;
    cpu_set_t ownerAllowed {};
    pthread_t owner {};
    bool pinned = false;
    std::thread thread;
};
