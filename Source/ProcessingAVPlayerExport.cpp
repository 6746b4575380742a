// ProcessingAVPlayer: the routes that write files (saving the processed media, sharing).

#include "ProcessingAVPlayer.h"

#include "AudioFormatExporter.h"
#include "MediaContainerComponent.h"
#include "PlayerHost.h"
#include "SaveFormat.h"
#include "TavAudioProcessor.h"
#include "TemporaryFiles.h"

#include "desktop/FileNameBytes.h"
#include "media/PcmFileExporter.h"
#include "media/PlayerRenderEngine.h"
#include "media/SerialWorkQueue.h"

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

/** Clears exclusiveExportTap when the export ends, however it ends. */
struct ExclusiveTap
{
    explicit ExclusiveTap (AudioProcessingTap* tap) { exclusiveExportTap.store (tap); }
    ~ExclusiveTap() { exclusiveExportTap.store (nullptr); }
};

/** Hides the progress display at the end of a step. */
struct ProgressStep
{
    ProgressStep (PlayerHost& h, const juce::String& text) : host (h) { host.showProgress (text); }
    ~ProgressStep() { host.hideProgress(); }
    PlayerHost& host;
};

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

//==============================================================================
bool ProcessingAVPlayer::settleAfterPlayback()
{
    juce::WeakReference<ProcessingAVPlayer> self (this);

    for (;;)
    {
        const auto elapsed = (juce::Time::getCurrentTime() - lastPlayStopTime).inMilliseconds();

        // A clock set back would otherwise hold the save for as long.
        if (elapsed >= settleTimeMs || elapsed < 0)
            return true;

        host.setProgress ((double) ((float) elapsed / 5000.0f) * 0.02);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

        if (self == nullptr)
            return false;
    }
}

bool ProcessingAVPlayer::runExportSession (MediaExportSession& session, const juce::String& logSuffix)
{
    // The completion only marks the end; it runs whatever the status, so the wait below always ends.
    auto done = std::make_shared<std::atomic<bool>> (false);
    auto* running = &session;
    session.exportAsynchronously (
        [running, done, logSuffix]
        {
            logSessionEnd (running->getStatusNumber(), logSuffix);
            done->store (true);
        });

    juce::WeakReference<ProcessingAVPlayer> self (this);
    auto* messages = juce::MessageManager::getInstance();
    auto nextPoll = juce::Time::getMillisecondCounter() + 100;

    while (!done->load())
    {
        messages->runDispatchLoopUntil (1);

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

void ProcessingAVPlayer::updateProgress (const MediaExportSession& session)
{
    // Only the running session's own step shows or hides the display: a poll never ends it.
    switch (session.getStatus())
    {
        case MediaExportSession::Status::exporting:
            host.setProgress (session.getProgress());
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
bool ProcessingAVPlayer::exportAsset (const juce::File& url, bool, bool, int format, int quality)
{
    lastExportError.clear();

    const auto fail = [this] (const juce::String& text)
    {
        lastExportError = text;
        juce::Logger::writeToLog ("Export failed: " + text);
        return false;
    };

    const auto* saveFormat = SaveFormat::find (format);

    if (saveFormat == nullptr)
        return fail ("There is no save format " + juce::String (format) + ".");

    auto* processor = host.getProcessor();

    if (player == nullptr || player->getCurrentItem() == nullptr || origAsset == nullptr || processor == nullptr
        || atp == nullptr)
        return fail (preparationError.isNotEmpty() ? preparationError : juce::String ("No media is open."));

    if (url == juce::File() || url.isDirectory())
        return fail ("\"" + url.getFullPathName() + "\" cannot be written.");

    juce::WeakReference<ProcessingAVPlayer> self (this);
    const auto media = generation;
    const auto stillHere = [&] { return self != nullptr && media == generation && player != nullptr; };

    // Preparing the processor for the export announces a change; it is no change of the settings.
    struct KeepDocumentFlag
    {
        KeepDocumentFlag (PlayerHost& h, TavAudioProcessor& p) : host (h), processor (p), was (h.isDocumentChanged()) {}
        ~KeepDocumentFlag()
        {
            processor.dispatchPendingMessages();
            host.setDocumentChanged (was);
        }
        PlayerHost& host;
        TavAudioProcessor& processor;
        bool was;
    } keepDocumentFlag (host, *processor);

    ProgressStep working (host, "Working...");

    if (player->getRate() != 0.0f)
    {
        player->pause();
        lastPlayStopTime = juce::Time::getCurrentTime();
    }

    atp->reset();

    if (!settleAfterPlayback() || !stillHere())
        return self != nullptr ? fail ("The media was closed during the save.") : false;

    // The playback composition, rendered through a tap of its own on the one processor; while it renders,
    // every other tap stands aside. Lossless targets get a lossless intermediate.
    const auto composition = player->getCurrentItem()->getAsset();
    const auto* audioTrack = composition.getFirstTrack (MediaType::audio);

    if (audioTrack == nullptr)
        return fail ("The media holds no sound.");

    auto session = MediaExportSession::create (composition, saveFormat->losslessIntermediate
                                                                ? MediaExportSession::presetAppleLosslessM4A
                                                                : MediaExportSession::presetAppleM4A);
    const auto processedFile = makeTemporaryFile (host, extractedVideoEnding);

    if (session == nullptr || processedFile == juce::File())
        return fail ("The sound could not be prepared for saving.");

    TavAudioTapProcessor exportBridge (*audioTrack, *processor);
    auto mix = exportBridge.audioMix();

    if (mix == nullptr)
        return fail ("The sound could not be prepared for saving.");

    session->setOutputFile (processedFile);
    session->setOutputFileType (MediaFileType::appleM4A);
    session->setAudioMix (mix);

    // The processor delays the sound: the session leaves its delay out at the start and renders on past the
    // end by as much, so the processed file is in step with the source and every route copies or converts
    // it whole, with no second encode.
    session->setTapLatency (processor->getLatencyFor (assetSampleRate (*origAsset), PlayerRenderEngine::maxTapFrames));

    // Sound that starts after the picture is kept as long as the source's: the processed file begins with
    // the sound's first sample, and a movie copy places it where it started against the picture.
    session->setStartAtSound (true);

    bool ok = false;

    {
        const ExclusiveTap exclusive (exportBridge.getTap());
        exportBridge.reset();
        atp->reset();

        if (!runExportSession (*session, {}))
            return self != nullptr ? fail ("The sound could not be processed: " + session->getError()) : false;

        if (!stillHere())
            return self != nullptr ? fail ("The media was closed during the save.") : false;

        if (saveFormat->isWrittenOnWriterQueue())
        {
            ok = exportAssetAsAudioFormat (processedFile, *origAsset, url, MediaTime::zero(), *saveFormat->fileType);
        }
        else if (saveFormat->isConverted())
        {
            AudioFormatExporter::Request request;
            request.source = processedFile;
            request.destination = url;
            request.quality = quality;
            request.startSample = 0;
            request.askQuestion = [this] (const juce::String& title, const juce::String& message)
            { return host.askOkCancel (title, message); };

            juce::String error;
            ok = AudioFormatExporter::exportWithAudioFormat (host, request, error);

            if (!ok)
                lastExportError = error;
        }
        else
        {
            const MediaAsset opened (origAsset->getFile());
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
                lastExportError = "The processed sound could not be read back.";
            }
            else
            {
                passthrough->setOutputFile (url);
                passthrough->setOutputFileType (*saveFormat->fileType);

                const ProgressStep remuxing (host, "Working...");
                ok = runExportSession (*passthrough, "(2)");

                if (self == nullptr)
                    return false;

                if (!ok)
                    lastExportError = "\"" + url.getFileName() + "\" could not be written: " + passthrough->getError();
            }
        }

        // The player may have gone meanwhile; the copy is whatever its route made of it.
        if (self == nullptr)
            return ok;

        if (atp != nullptr)
            atp->reset();
    }

    // The player's own queued sound may have been rendered while the export held the processor: it is
    // rendered again from where it stands.
    if (stillHere())
        player->seekToTime (player->getCurrentTime());

    if (!ok && lastExportError.isEmpty())
        lastExportError = "\"" + url.getFileName() + "\" could not be written.";

    return ok;
}

bool ProcessingAVPlayer::exportAssetAsAudioFormat (const juce::File& processed, const MediaAsset& opened,
                                                   const juce::File& url, MediaTime offset, MediaFileType fileType)
{
    PcmFileExporter::Request request;
    request.source = processed;
    request.offset = offset;
    request.destination = url;
    request.type = fileType;
    request.sampleRate = assetSampleRate (opened);
    request.channels = assetChannels (opened);
    request.bitsPerSample = 24;
    request.openStream = openAudioWriterStream;
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
    {
        lastExportError = error;
        return false;
    }

    juce::Logger::writeToLog ("start");

    {
        const std::lock_guard<std::mutex> hold (writers.lock);
        writers.queues.push_back (std::move (queue));
    }

    // The copy counts as saved only once its writer says it is complete at url; meanwhile the progress
    // display shows how far it has got and the message loop runs. A writer that stops getting anywhere is
    // called off, and then never puts its copy in place.
    juce::WeakReference<ProcessingAVPlayer> self (this);
    auto& progressHost = host;
    const auto& control = *request.control;
    const auto stallLimit = (double) writerStallLimitMs;
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
                progressHost.setProgress (juce::jlimit (0.0, 1.0, (double) written / (double) total));
        }
        else if (now - movedAt > stallLimit && request.control->callOff())
        {
            const auto stalled = "\"" + FileNameBytes::displayNameOf (url)
                                 + "\" could not be written: nothing more was written for "
                                 + juce::String (juce::roundToInt (stallLimit / 1000.0)) + " s.";
            juce::Logger::writeToLog ("Export failed: " + stalled);

            if (self != nullptr)
                lastExportError = stalled;

            return false;
        }
    }

    if (!outcome->succeeded && self != nullptr)
        lastExportError = outcome->error.isNotEmpty()
                              ? outcome->error
                              : "\"" + FileNameBytes::displayNameOf (url) + "\" could not be written.";

    return outcome->succeeded;
}

bool ProcessingAVPlayer::waitForAudioWriters (int timeoutMs)
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

//==============================================================================
void ProcessingAVPlayer::showServicePicker (juce::Component* sender)
{
    if (mcc == nullptr || mcc->getCurrentFileURL() == juce::File())
        return;

    const auto folder = host.getTemporaryFolder();

    if (folder == juce::File() || !folder.isDirectory())
        return;

    // Named after the media; the content is always a QuickTime movie, and so is the ending. The name is
    // cut where needed to stay within the file system's limit, and the copy goes at quit.
    const auto n = shareCount++;
    const auto ending = "-" + juce::String (n) + ".mov";
    const auto name = FileNameBytes::truncated (FileNameBytes::stemOf (mcc->getCurrentFileURL()),
                                                FileNameBytes::maxNameBytes - (size_t) ending.length());
    saveTempURL = FileNameBytes::childOf (folder, name + ending);
    saveTempURL.create();
    TemporaryFiles::addShareCopy (saveTempURL);

    juce::WeakReference<ProcessingAVPlayer> self (this);
    presentSharePicker (sender,
                        [self] (const SharePicker::Service* service)
                        {
                            if (auto* p = self.get())
                                p->sharingServicePickerDidChooseSharingService (service);
                        });
}

void ProcessingAVPlayer::sharingServicePickerDidChooseSharingService (const SharePicker::Service* service)
{
    if (service == nullptr || saveTempURL == juce::File())
        return;

    const auto file = saveTempURL;
    file.deleteFile();

    if (!exportAsset (file, false, false, 0, 9))
    {
        host.showWarning ("Error writing to file...",
                          "The media could not be prepared for sharing.\n\n" + lastExportError);
        return;
    }

    if (service->perform != nullptr && !service->perform (file))
        host.showWarning ("Sharing failed", "\"" + service->title + "\" could not be started.");
}
