#pragma once

#include "ProgressReporter.h"

#include "media/MediaTime.h"
#include "media/PcmFileExporter.h"

/** The WAV and AIFF route of a save: converts the processed sound into 24-bit PCM at the opened media's rate
    and channel count, on a writer queue of its own ("assetWriterQueue"), and waits for it with the message
    loop running and the progress shown.

    The queues are kept until their job has run, so the quit can wait for a conversion still writing.
*/
class AudioWriterQueue
{
public:
    struct Request
    {
        juce::File processed; ///< the processed sound
        tavlin::media::MediaTime offset = tavlin::media::MediaTime::zero(); ///< where in it the copy starts
        juce::File destination;
        tavlin::media::MediaFileType type = tavlin::media::MediaFileType::wave; ///< wave or aiff
        double sampleRate = 44100.0;
        int channels = 2;

        /** Opens the stream the copy is written into (null: the file itself). */
        std::function<std::unique_ptr<juce::OutputStream> (const juce::File&)> openStream;

        /** How long (in ms) the writer may write nothing before the save is given up. */
        int stallLimitMs = 60000;
    };

    /** Ok only when the writer reports its copy complete at the destination; a writer that writes nothing
        more for the stall limit is called off and leaves the destination as it was.
    */
    static juce::Result write (const Request& request, ProgressReporter& progress);

    /** Waits until every conversion started so far has ended (a save waits for its own; only one called off
        can still be running); false when the time ran out first (-1: no limit).
    */
    static bool waitForAll (int timeoutMs = -1);
};
