#pragma once

#include "MediaFileType.h"
#include "MediaTime.h"
#include "SerialWorkQueue.h"

#include <atomic>
#include <functional>
#include <memory>

namespace tavlin::media
{

/**
    Converts a file's sound, from an offset onward, into 24-bit integer PCM: WAVE little-endian or AIFF
    big-endian, at a given sample rate and channel count (resampled and remixed when they differ from the
    source's). The writing runs as a job on a serial queue; the file appears at the destination only when it
    is complete, every byte of it written.
*/
class PcmFileExporter
{
public:
    /** Shared by a running conversion and whoever waits for it: how far it has got, and a way to call it off. */
    class Control
    {
    public:
        /** Frames written so far, and how many there are in all (0 until the source has been opened). */
        juce::int64 getFramesWritten() const noexcept { return framesWritten.load(); }
        juce::int64 getTotalFrames() const noexcept { return totalFrames.load(); }

        /** Calls the conversion off: it stops at its next block and never puts its copy in place, however late
            it gets there. False when it has already begun to put its complete copy in place; that goes on.
        */
        bool callOff() noexcept
        {
            int expected = running;
            return state.compare_exchange_strong (expected, calledOff) || expected == calledOff;
        }

    private:
        friend class PcmFileExporter;

        enum
        {
            running,
            placing,
            calledOff
        };

        bool isCalledOff() const noexcept { return state.load() == calledOff; }

        bool beginPlacing() noexcept
        {
            int expected = running;
            return state.compare_exchange_strong (expected, placing);
        }

        std::atomic<juce::int64> framesWritten { 0 }, totalFrames { 0 };
        std::atomic<int> state { running };
    };

    struct Request
    {
        juce::File source;
        MediaTime offset = MediaTime::zero();
        juce::File destination;
        MediaFileType type = MediaFileType::wave; // wave or aiff
        double sampleRate = 44100.0;
        int channels = 2;
        int bitsPerSample = 24;

        /** Opens the stream the file is written into (null: the file itself). A test may give a stream
            that fails, to see how a failed write is reported.
        */
        std::function<std::unique_ptr<juce::OutputStream> (const juce::File& file)> openStream;

        /** Follows the conversion and can call it off (null: neither). */
        std::shared_ptr<Control> control;
    };

    using Completion = std::function<void (bool succeeded, const juce::String& error)>;

    /**
        Checks that the source can be read and the destination written, then queues the conversion. Returns
        false with a text when the conversion cannot start; the completion (if any) then never runs. Otherwise
        the completion runs on the queue's thread when the job ends.
    */
    static bool start (SerialWorkQueue& queue, const Request& request, juce::String& error, Completion completion = {});

    /** The conversion itself, on the calling thread. */
    static bool convert (const Request& request, juce::String& error);
};

} // namespace tavlin::media
