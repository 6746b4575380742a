#pragma once

#include "OpenMedia.h"
#include "SessionHost.h"
#include "SessionListener.h"
#include "SessionProcessor.h"

#include "media/MediaExportSession.h"

#include <functional>

/** Saves the processed media in one of the nine save formats.

    The playing composition is rendered through a tap of its own on the one processor, exclusively, into a
    temporary M4A file (lossless where the target is lossless or encoded again); then one of three routes
    makes the copy: a remux with the opened media's picture (formats 0 to 2) or alone (3, 4), a conversion
    to 24-bit WAV or AIFF on a writer queue (5, 6), or one to 16-bit FLAC or MP3 through the framework's
    writers (7, 8). Every copy lines up with the source to the sample and has its length; the destination is
    replaced only by a complete copy. The message loop runs while it waits, with the progress shown.
*/
class MediaExporter
{
public:
    MediaExporter (SessionHost& host, SessionProcessor& processor, OpenMedia& media,
                   juce::ListenerList<SessionListener>& listeners);
    ~MediaExporter();

    /** Ok once the copy is complete at url; else why it was not made. The listeners hear of the progress
        and of the result.
    */
    juce::Result exportMedia (const juce::File& url, int format, int quality);

    /** Hands a running session's progress to the progress display; logs how a finished one ended. */
    void updateProgress (const tavlin::media::MediaExportSession& session);

    /** Milliseconds an export waits after playback stopped before it renders. */
    static constexpr int settleTimeMs = 5000;

    /** Opens the stream a WAV or AIFF copy is written into (null: the file itself). A test may give a stream
        that fails, to see how a failed write is reported.
    */
    std::function<std::unique_ptr<juce::OutputStream> (const juce::File&)> openAudioWriterStream;

    /** How long (in ms) a WAV or AIFF writer may write nothing before its save is given up. */
    int writerStallLimitMs = 60000;

private:
    class Progress;

    juce::Result render (const juce::File& url, int format, int quality);
    void reportProgress (double value);
    bool settleAfterPlayback();
    bool runExportSession (tavlin::media::MediaExportSession& session, const juce::String& logSuffix);

    SessionHost& host;
    SessionProcessor& processor;
    OpenMedia& media;
    juce::ListenerList<SessionListener>& listeners;

    JUCE_DECLARE_WEAK_REFERENCEABLE (MediaExporter)
    JUCE_DECLARE_NON_COPYABLE (MediaExporter)
};
