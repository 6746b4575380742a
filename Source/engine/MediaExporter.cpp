#include "MediaExporter.h"

#include "AudioFormatExporter.h"
#include "AudioWriterQueue.h"
#include "ExclusiveExportTap.h"
#include "MediaImporter.h"
#include "PlaybackSetup.h"
#include "ProgressStep.h"
#include "SaveFormat.h"
#include "SoundExtractor.h"

#include "media/PlayerRenderEngine.h"

#include <juce_events/juce_events.h>

using namespace tavlin::media;

namespace
{
void logSessionEnd (int status, const juce::String& suffix)
{
    if (status == (int) MediaExportSession::Status::completed)
        juce::Logger::writeToLog ("AVAssetExportSessionStatusCompleted" + suffix);
    else if (status == (int) MediaExportSession::Status::failed)
        juce::Logger::writeToLog ("AVAssetExportSessionStatusFailed" + suffix);
    else
        juce::Logger::writeToLog ("Export Session" + (suffix.isEmpty() ? juce::String() : juce::String ("2"))
                                  + " Status: " + juce::String (status));
}
} // namespace

/** The progress display as the routes see it: the listeners hear of every value too, while the exporter
    is there.
*/
class MediaExporter::Progress : public ProgressReporter
{
public:
    explicit Progress (MediaExporter& exporterToUse) : host (exporterToUse.host), exporter (&exporterToUse) {}

    void showProgress (const juce::String& text) override { host.showProgress (text); }
    void hideProgress() override { host.hideProgress(); }

    void setProgress (double value) override
    {
        if (auto* e = exporter.get())
            e->reportProgress (value);
        else
            host.setProgress (value);
    }

private:
    SessionHost& host;
    juce::WeakReference<MediaExporter> exporter;
};

MediaExporter::MediaExporter (SessionHost& hostToUse, SessionProcessor& processorToUse, OpenMedia& mediaToUse,
                              juce::ListenerList<SessionListener>& listenersToUse)
    : host (hostToUse), processor (processorToUse), media (mediaToUse), listeners (listenersToUse)
{
}

MediaExporter::~MediaExporter() = default;

void MediaExporter::reportProgress (double value)
{
    host.setProgress (value);
    listeners.call ([value] (SessionListener& l) { l.exportProgressChanged (value); });
}

//==============================================================================
bool MediaExporter::settleAfterPlayback()
{
    juce::WeakReference<MediaExporter> self (this);

    for (;;)
    {
        const auto elapsed = (juce::Time::getCurrentTime() - media.lastPlayStopTime).inMilliseconds();

        // A clock set back would otherwise hold the save for as long.
        if (elapsed >= settleTimeMs || elapsed < 0)
            return true;

        reportProgress ((double) ((float) elapsed / 5000.0f) * 0.02);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

        if (self == nullptr)
            return false;
    }
}

bool MediaExporter::runExportSession (MediaExportSession& session, const juce::String& logSuffix)
{
    // The completion only marks the end; it runs whatever the status, so the wait below always ends.
    // Manual reset: once signalled it stays so.
    auto done = std::make_shared<juce::WaitableEvent> (true);
    auto* running = &session;
    session.exportAsynchronously (
        [running, done, logSuffix]
        {
            logSessionEnd (running->getStatusNumber(), logSuffix);
            done->signal();
        });

    juce::WeakReference<MediaExporter> self (this);
    auto* messages = juce::MessageManager::getInstance();
    auto nextPoll = juce::Time::getMillisecondCounter() + 100;

    for (bool finished = false; !finished;)
    {
        // Messages are seen to every few milliseconds; between them this thread sleeps, and leaves the
        // core to the export's own threads, rather than waking every millisecond.
        finished = done->wait (messageIntervalMs);
        messages->runDispatchLoopUntil (0);

        if (self == nullptr)
        {
            session.cancelExport();
            session.waitUntilFinished();
            return false;
        }

        if (juce::Time::getMillisecondCounter() >= nextPoll)
        {
            updateProgress (session);
            nextPoll = juce::Time::getMillisecondCounter() + 500;
        }
    }

    session.waitUntilFinished();
    updateProgress (session);
    return session.getStatus() == MediaExportSession::Status::completed;
}

void MediaExporter::updateProgress (const MediaExportSession& session)
{
    // Only the running session's own step shows or hides the display: a poll never ends it.
    switch (session.getStatus())
    {
        case MediaExportSession::Status::exporting:
            reportProgress (session.getProgress());
            break;
        case MediaExportSession::Status::completed:
            juce::Logger::writeToLog ("Exporting Ended");
            break;
        case MediaExportSession::Status::failed:
            juce::Logger::writeToLog ("Recording Export Failed : " + session.getError());
            break;
        case MediaExportSession::Status::cancelled:
            juce::Logger::writeToLog ("Recording Export Cancelled");
            break;
        case MediaExportSession::Status::unknown:
        case MediaExportSession::Status::waiting:
            break;
    }
}

//==============================================================================
juce::Result MediaExporter::exportMedia (const juce::File& url, int format, int quality)
{
    juce::WeakReference<MediaExporter> self (this);
    auto result = render (url, format, quality);

    if (self != nullptr)
        listeners.call ([&] (SessionListener& l) { l.exportFinished (url, result); });

    return result;
}

juce::Result MediaExporter::render (const juce::File& url, int format, int quality)
{
    const auto fail = [] (const juce::String& text)
    {
        juce::Logger::writeToLog ("Export failed: " + text);
        return juce::Result::fail (text);
    };

    const auto* saveFormat = SaveFormat::find (format);

    if (saveFormat == nullptr)
        return fail ("There is no save format " + juce::String (format) + ".");

    if (media.player == nullptr || media.player->getCurrentItem() == nullptr || media.origAsset == nullptr
        || media.tap == nullptr)
        return fail (media.preparationError.isNotEmpty() ? media.preparationError : juce::String ("No media is open."));

    if (url == juce::File() || url.isDirectory())
        return fail ("\"" + url.getFullPathName() + "\" cannot be written.");

    juce::WeakReference<MediaExporter> self (this);
    const auto opening = media.generation;
    const auto stillHere = [&] { return self != nullptr && opening == media.generation && media.player != nullptr; };
    const juce::String closedDuringSave ("The media was closed during the save.");
    const auto notWritten = "\"" + url.getFileName() + "\" could not be written.";

    // Preparing the processor for the export announces a change; it is no change of the settings.
    struct KeepDocumentFlag
    {
        KeepDocumentFlag (SessionHost& h, SessionProcessor& p) : host (h), processor (p), was (h.isDocumentChanged()) {}
        ~KeepDocumentFlag()
        {
            processor.dispatchPendingMessages();
            host.setDocumentChanged (was);
        }
        SessionHost& host;
        SessionProcessor& processor;
        bool was;
    } keepDocumentFlag (host, processor);

    Progress progress (*this);
    const ProgressStep working (host, "Working...");

    if (media.player->getRate() != 0.0f)
    {
        media.player->pause();
        media.lastPlayStopTime = juce::Time::getCurrentTime();
    }

    media.tap->reset();

    if (!settleAfterPlayback() || !stillHere())
        return self != nullptr ? fail (closedDuringSave) : juce::Result::fail (closedDuringSave);

    // The playback composition, rendered through a tap of its own on the one processor; while it renders,
    // every other tap stands aside. Lossless targets get a lossless intermediate.
    const auto composition = media.player->getCurrentItem()->getAsset();
    const auto* audioTrack = composition.getFirstTrack (MediaType::audio);

    if (audioTrack == nullptr)
        return fail ("The media holds no sound.");

    // Made before the session, so that it outlives the session's mix, whose tap calls it as it goes.
    auto exportBridge = processor.makeTap (*audioTrack);
    auto session = MediaExportSession::create (composition, saveFormat->losslessIntermediate
                                                                ? MediaExportSession::presetAppleLosslessM4A
                                                                : MediaExportSession::presetAppleM4A);
    const auto processedFile = MediaImporter::makeTemporaryFile (host, SoundExtractor::videoEnding);

    if (session == nullptr || processedFile == juce::File())
        return fail ("The sound could not be prepared for saving.");

    auto mix = exportBridge->audioMix();

    if (mix == nullptr)
        return fail ("The sound could not be prepared for saving.");

    session->setOutputFile (processedFile);
    session->setOutputFileType (MediaFileType::appleM4A);
    session->setAudioMix (mix);

    // The processor delays the sound: the session leaves its delay out at the start and renders on past the
    // end by as much, so the processed file is in step with the source and every route copies or converts
    // it whole, with no second encode.
    session->setTapLatency (
        processor.getLatencyFor (PlaybackSetup::assetSampleRate (*media.origAsset), PlayerRenderEngine::maxTapFrames));

    // Sound that starts after the picture is kept as long as the source's: the processed file begins with
    // the sound's first sample, and a movie copy places it where it started against the picture.
    session->setStartAtSound (true);

    auto result = juce::Result::ok();

    {
        const ExclusiveExportTap exclusive (exportBridge->getTap());
        exportBridge->reset();
        media.tap->reset();

        if (!runExportSession (*session, {}))
            return self != nullptr ? fail ("The sound could not be processed: " + session->getError())
                                   : juce::Result::fail (closedDuringSave);

        if (!stillHere())
            return self != nullptr ? fail (closedDuringSave) : juce::Result::fail (closedDuringSave);

        if (saveFormat->isWrittenOnWriterQueue())
        {
            AudioWriterQueue::Request request;
            request.processed = processedFile;
            request.destination = url;
            request.type = *saveFormat->fileType;
            request.sampleRate = PlaybackSetup::assetSampleRate (*media.origAsset);
            request.channels = PlaybackSetup::assetChannels (*media.origAsset);
            request.openStream = openAudioWriterStream;
            request.stallLimitMs = writerStallLimitMs;
            result = AudioWriterQueue::write (request, progress);
        }
        else if (saveFormat->isConverted())
        {
            AudioFormatExporter::Request request;
            request.source = processedFile;
            request.destination = url;
            request.quality = quality;
            request.startSample = 0;
            request.progress = &progress;
            auto& questions = host;
            request.askQuestion = [&questions] (const juce::String& title, const juce::String& message)
            { return questions.askOkCancel (title, message); };

            juce::String error;

            if (!AudioFormatExporter::exportWithAudioFormat (host, request, error))
                result = juce::Result::fail (error.isNotEmpty() ? error : notWritten);
        }
        else
        {
            const MediaAsset opened (media.origAsset->getFile());
            const MediaAsset processed (processedFile);
            MediaComposition remux;
            bool withPicture = false;

            if (saveFormat->keepsPicture)
                if (const auto* video = opened.getFirstTrack (MediaType::video))
                {
                    withPicture = true;
                    const auto id = remux.addTrack (MediaType::video);
                    remux.insertTimeRange (id, MediaTimeRange::make (MediaTime::zero(), opened.getDuration()), opened,
                                           *video, MediaTime::zero());
                    remux.setPreferredRotation (id, video->rotationDegrees);
                }

            if (const auto* sound = processed.getFirstTrack (MediaType::audio))
            {
                const auto id = remux.addTrack (MediaType::audio);
                const auto soundAt = withPicture
                                         ? MediaTime::make (session->getSoundStart(), (int32_t) sound->sampleRate)
                                         : MediaTime::zero();
                remux.insertTimeRange (id, MediaTimeRange::make (MediaTime::zero(), processed.getDuration()), processed,
                                       *sound, soundAt);
            }

            auto passthrough = MediaExportSession::create (remux, MediaExportSession::presetPassthrough);

            if (passthrough == nullptr)
            {
                result = juce::Result::fail ("The processed sound could not be read back.");
            }
            else
            {
                passthrough->setOutputFile (url);
                passthrough->setOutputFileType (*saveFormat->fileType);

                const ProgressStep remuxing (host, "Working...");

                if (!runExportSession (*passthrough, "(2)"))
                {
                    if (self == nullptr)
                        return juce::Result::fail (closedDuringSave);

                    result = juce::Result::fail ("\"" + url.getFileName()
                                                 + "\" could not be written: " + passthrough->getError());
                }
            }
        }

        // The player may have gone meanwhile; the copy is whatever its route made of it.
        if (self == nullptr)
            return result;

        if (media.tap != nullptr)
            media.tap->reset();
    }

    // The player's own queued sound may have been rendered while the export held the processor: it is
    // rendered again from where it stands.
    if (stillHere())
        media.player->seekToTime (media.player->getCurrentTime());

    return result;
}
