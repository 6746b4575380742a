#include "AudioWriterQueue.h"

#include "desktop/FileNameBytes.h"
#include "media/SerialWorkQueue.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <mutex>

using namespace tavlin::media;
using tavlin::desktop::FileNameBytes;

namespace
{
/** The conversions on their writer queues; a queue is let go once it has run its job. */
struct AudioWriters
{
    std::mutex lock;
    std::vector<std::unique_ptr<SerialWorkQueue>> queues;

    void prune()
    {
        const std::lock_guard<std::mutex> hold (lock);
        queues.erase (std::remove_if (queues.begin(), queues.end(), [] (auto& q) { return q->isIdle(); }),
                      queues.end());
    }
};

AudioWriters& audioWriters()
{
    static AudioWriters writers;
    return writers;
}
} // namespace

juce::Result AudioWriterQueue::write (const Request& wanted, ProgressReporter& progress)
{
    PcmFileExporter::Request request;
    request.source = wanted.processed;
    request.offset = wanted.offset;
    request.destination = wanted.destination;
    request.type = wanted.type;
    request.sampleRate = wanted.sampleRate;
    request.channels = wanted.channels;
    request.bitsPerSample = 24;
    request.openStream = wanted.openStream;
    request.control = std::make_shared<PcmFileExporter::Control>();

    auto& writers = audioWriters();
    writers.prune();

    // Set on the writer's own thread as its job ends, so no lost message can leave the wait below without
    // an answer.
    struct Outcome
    {
        std::atomic<bool> finished { false };
        bool succeeded = false;
        juce::String error;
    };

    auto outcome = std::make_shared<Outcome>();
    auto queue = std::make_unique<SerialWorkQueue> ("assetWriterQueue");
    juce::String error;
    const bool started = PcmFileExporter::start (*queue, request, error,
                                                 [outcome] (bool succeeded, const juce::String& failure)
                                                 {
                                                     juce::Logger::writeToLog ("finish");
                                                     outcome->succeeded = succeeded;
                                                     outcome->error = failure;
                                                     outcome->finished.store (true);
                                                 });

    if (!started)
        return juce::Result::fail (
            error.isNotEmpty() ? error : "\"" + wanted.destination.getFileName() + "\" could not be written.");

    juce::Logger::writeToLog ("start");

    {
        const std::lock_guard<std::mutex> hold (writers.lock);
        writers.queues.push_back (std::move (queue));
    }

    // The copy counts as saved only once its writer says it is complete at the destination; meanwhile the
    // progress display shows how far it has got and the message loop runs. A writer that stops getting
    // anywhere is called off, and then never puts its copy in place.
    const auto& url = wanted.destination;
    const auto& control = *request.control;
    const auto stallLimit = (double) wanted.stallLimitMs;
    auto* messages = juce::MessageManager::getInstance();
    juce::int64 written = -1;
    auto movedAt = juce::Time::getMillisecondCounterHiRes();

    while (!outcome->finished.load())
    {
        messages->runDispatchLoopUntil (1);
        const auto now = juce::Time::getMillisecondCounterHiRes();

        if (control.getFramesWritten() != written)
        {
            written = control.getFramesWritten();
            movedAt = now;

            if (const auto total = control.getTotalFrames(); total > 0)
                progress.setProgress (juce::jlimit (0.0, 1.0, (double) written / (double) total));
        }
        else if (now - movedAt > stallLimit && request.control->callOff())
        {
            const auto stalled = "\"" + FileNameBytes::displayNameOf (url)
                                 + "\" could not be written: nothing more was written for "
                                 + juce::String (juce::roundToInt (stallLimit / 1000.0)) + " s.";
            juce::Logger::writeToLog ("Export failed: " + stalled);
            return juce::Result::fail (stalled);
        }
    }

    if (!outcome->succeeded)
        return juce::Result::fail (outcome->error.isNotEmpty()
                                       ? outcome->error
                                       : "\"" + FileNameBytes::displayNameOf (url) + "\" could not be written.");

    return juce::Result::ok();
}

bool AudioWriterQueue::waitForAll (int timeoutMs)
{
    auto& writers = audioWriters();
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;
    std::vector<SerialWorkQueue*> running;

    {
        const std::lock_guard<std::mutex> hold (writers.lock);

        for (auto& q : writers.queues)
            running.push_back (q.get());
    }

    for (auto* q : running)
    {
        const int left =
            timeoutMs < 0 ? -1 : (int) juce::jmax (0.0, deadline - juce::Time::getMillisecondCounterHiRes());

        if (!q->waitUntilIdle (left))
            return false;
    }

    writers.prune();
    return true;
}
