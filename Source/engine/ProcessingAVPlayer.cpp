#include "ProcessingAVPlayer.h"

#include "AudioWriterQueue.h"
#include "PlaybackSetup.h"

#include "desktop/RegularFile.h"
#include "media/SoundProbe.h"

#include <juce_events/juce_events.h>

using namespace tavlin::media;

namespace
{
const juce::StringArray& loadedKeys()
{
    static const juce::StringArray keys { MediaAsset::keyPlayable, MediaAsset::keyProtectedContent,
                                          MediaAsset::keyTracks, MediaAsset::keyDuration };
    return keys;
}
} // namespace

ProcessingAVPlayer::ProcessingAVPlayer (SessionHost& hostToUse, SessionProcessor& processorToUse,
                                        juce::ListenerList<SessionListener>& listenersToUse)
    : host (hostToUse), processor (processorToUse), listeners (listenersToUse), extractor (hostToUse),
      exporter (hostToUse, processorToUse, media, listenersToUse),
      sharing (hostToUse, media, [this] (const juce::File& file) { return exportMedia (file, 0, 9); })
{
}

ProcessingAVPlayer::~ProcessingAVPlayer()
{
    ++media.generation;
    releasePlayer();
    deleteTemporaryFiles();
}

//==============================================================================
bool ProcessingAVPlayer::loadMovie (const juce::File& url, const MediaAsset* asset, bool showErrors)
{
    juce::File decoded;
    lastLoadError.clear();

    auto refuse = [&] (const juce::String& title, const juce::String& message)
    {
        decoded.deleteFile();
        lastLoadError = message;
        juce::Logger::writeToLog (title + ": " + message);

        if (showErrors)
            host.showWarning (title, message);

        listeners.call ([&] (SessionListener& l) { l.mediaRefused (message); });
        return false;
    };

    // A named pipe, a device or a folder: refused before anything opens it, which could wait for ever.
    if (asset == nullptr)
        if (auto regular = tavlin::desktop::RegularFile::check (url); regular.failed())
            return refuse (cannotOpenTitle, regular.getErrorMessage());

    auto working = asset != nullptr ? asset->copy() : MediaAsset::create (url);

    // Sound that no decoder here takes counts as none: the readers get their chance at it.
    juce::String undecodable;

    if (const auto* audio = working->getFirstTrack (MediaType::audio))
        if (auto decodes = SoundProbe::check (working->getFile(), audio->streamIndex); decodes.failed())
            undecodable = decodes.getErrorMessage();

    if (!working->hasTracksWithMediaType (MediaType::audio) || undecodable.isNotEmpty())
    {
        // One pass through the readers at most: what they cannot turn into sound is refused.
        if (juceImportWithAVAsset (*working))
        {
            decoded = working->getFile();
            undecodable.clear();
        }

        if (!working->hasTracksWithMediaType (MediaType::audio))
            return refuse (noAudioTitle, noAudioText);

        if (undecodable.isNotEmpty())
            return refuse (noAudioTitle, noAudioText + "\n\n" + undecodable);
    }

    if (assetChannels (*working) >= 3)
        return refuse ("Multichannel not supported",
                       "Tavlin does not support media files with more than 2 channels of audio.");

    // The earlier media, if any, goes now: its observers, its tap and its temporary files.
    ++media.generation;
    releasePlayer();
    deleteTemporaryFiles();
    importedFile = decoded;
    media.preparationError.clear();

    media.player = std::make_unique<MediaPlayer> (host.getDeviceManager(), host.getPlayerOutput());
    media.origAsset = working->copy();
    loadingAsset = std::move (working);

    const auto opening = media.generation;
    loadingAsset->loadValuesAsynchronously (loadedKeys(), [this, opening, url] { setUpWhenIdle (opening, url); });
    listeners.call ([] (SessionListener& l) { l.mediaOpened(); });
    return true;
}

void ProcessingAVPlayer::preparationFailed (const juce::File& file, const juce::String& reason, bool playable)
{
    media.preparationError = reason;
    juce::Logger::writeToLog ("The media could not be prepared: " + reason);
    listeners.call ([&] (SessionListener& l) { l.preparationFailed (file, reason, playable); });
}

void ProcessingAVPlayer::setUpWhenIdle (uint32_t opening, const juce::File& url)
{
    if (opening != media.generation || loadingAsset == nullptr)
        return;

    // The set-up shows its own progress: it waits for a long operation under way to end first.
    if (!host.isIdle())
    {
        juce::Timer::callAfterDelay (20,
                                     [self = juce::WeakReference<ProcessingAVPlayer> (this), opening, url]
                                     {
                                         if (auto* player = self.get())
                                             player->setUpWhenIdle (opening, url);
                                     });
        return;
    }

    setUpPlaybackOfAsset (makePlaybackComposition (*loadingAsset, videoOffsetFor (*loadingAsset)), url, loadedKeys());
}

bool ProcessingAVPlayer::juceImportWithAVAsset (MediaAsset& asset)
{
    return MediaImporter::importAsset (host, asset);
}

bool ProcessingAVPlayer::importWithAudioFormatReader (SessionHost& host, const juce::File& source,
                                                      const juce::File& target)
{
    return MediaImporter::importWithAudioFormatReader (host, source, target);
}

juce::File ProcessingAVPlayer::makeTemporaryFile (SessionHost& host, const juce::String& ending)
{
    return MediaImporter::makeTemporaryFile (host, ending);
}

//==============================================================================
MediaTime ProcessingAVPlayer::videoOffsetFor (const MediaAsset& asset) const
{
    return PlaybackSetup::videoOffsetFor (asset, processor);
}

MediaComposition ProcessingAVPlayer::makePlaybackComposition (const MediaAsset& asset, MediaTime videoOffset)
{
    return PlaybackSetup::makePlaybackComposition (asset, videoOffset);
}

void ProcessingAVPlayer::setUpPlaybackOfAsset (const MediaComposition& composition, const juce::File& url,
                                               const juce::StringArray& keys)
{
    if (media.player == nullptr)
        return;

    // Media that cannot play is not left open: whoever waits for it hears why.
    const auto cannotPlay = [&] (const juce::String& reason)
    {
        const auto file = url != juce::File() || media.origAsset == nullptr ? url : media.origAsset->getFile();
        ++media.generation;
        releasePlayer();
        deleteTemporaryFiles();
        preparationFailed (file, reason, false);
    };

    if (loadingAsset != nullptr)
        for (auto& key : keys)
        {
            juce::String error;

            if (loadingAsset->statusOfValue (key, &error) == MediaAsset::KeyStatus::failed)
                return cannotPlay (error.isNotEmpty() ? error : "Its \"" + key + "\" could not be read.");
        }

    if (!composition.isPlayable())
        return cannotPlay ("It holds nothing that can be played.");

    if (composition.hasProtectedContent())
        return cannotPlay ("Its content is protected.");

    // Whatever shows the media takes its picture's size, and sizes its window to it.
    const auto* video = composition.getFirstTrack (MediaType::video);
    const auto picture = video != nullptr ? PlaybackSetup::uprightSizeOf (*video) : PlaybackSetup::PictureSize();
    listeners.call ([&] (SessionListener& l)
                    { l.preferredPictureSizeChanged (video != nullptr, picture.width, picture.height); });

    if (media.player == nullptr)
        return;

    // Preparing the processor for playback announces a change; it is no change of the settings.
    const bool documentChanged = host.isDocumentChanged();

    auto item = std::make_unique<MediaPlayerItem> (composition);
    auto* playing = item.get();
    media.player->replaceCurrentItem (std::move (item));

    rateObserverToken = media.player->addRateObserver ([this] { rateChanged(); });
    timeObserverToken = media.player->addPeriodicTimeObserver (
        MediaTime::make (1, 10),
        [this] (MediaTime) { listeners.call ([] (SessionListener& l) { l.playbackTimeChanged(); }); });
    media.player->setActionAtItemEnd (MediaPlayer::ActionAtItemEnd::none);
    endObserverToken = media.player->addItemEndObserver ([this] { playerItemDidReachEnd(); });

    if (const auto* audio = composition.getFirstTrack (MediaType::audio))
    {
        media.tap = processor.makeTap (*audio);

        if (auto mix = media.tap->audioMix())
            playing->setAudioMix (mix);
    }

    processor.dispatchPendingMessages();
    host.setDocumentChanged (documentChanged);

    media.player->seekToTime (MediaTime::make (360, 600));
    media.lastPlayStopTime = juce::Time::getCurrentTime();
    loadingAsset.reset();

    analyzeAsset (composition, url);
}

//==============================================================================
void ProcessingAVPlayer::rateChanged()
{
    listeners.call ([] (SessionListener& l) { l.playbackRateChanged(); });

    if (media.player != nullptr && media.player->getRate() == 0.0f)
        media.lastPlayStopTime = juce::Time::getCurrentTime();
}

void ProcessingAVPlayer::playerItemDidReachEnd()
{
    if (media.player == nullptr)
        return;

    if (host.isLooping())
        media.player->seekToTime (MediaTime::zero());
    else
        media.player->pause(); // stopped at the end, so it no longer counts as playing
}

double ProcessingAVPlayer::playableDuration() const
{
    const auto* player = media.player.get();

    if (player == nullptr || player->getCurrentItem() == nullptr
        || player->getCurrentItem()->getStatus() != MediaPlayerItem::Status::readyToPlay)
        return 0.0;

    const auto range = player->getCurrentItem()->getLoadedTimeRange();
    const auto seconds = range.start.seconds() + range.duration.seconds();
    return std::isfinite (seconds) ? seconds : 0.0;
}

int ProcessingAVPlayer::assetChannels (const MediaAsset& asset)
{
    return PlaybackSetup::assetChannels (asset);
}

double ProcessingAVPlayer::assetSampleRate (const MediaAsset& asset)
{
    return PlaybackSetup::assetSampleRate (asset);
}

//==============================================================================
void ProcessingAVPlayer::releasePlayer()
{
    loadingAsset.reset();

    if (media.player == nullptr)
        return;

    media.player->pause();
    media.player->removeTimeObserver (timeObserverToken);
    media.player->removeRateObserver (rateObserverToken);
    media.player->removeItemEndObserver (endObserverToken);
    timeObserverToken = rateObserverToken = endObserverToken = 0;

    listeners.call ([] (SessionListener& l) { l.playerReleased(); });

    if (auto* item = media.player->getCurrentItem())
        item->setAudioMix (nullptr);

    media.player.reset();
    media.tap.reset();
}

void ProcessingAVPlayer::removeMovie()
{
    ++media.generation;
    releasePlayer();
    deleteTemporaryFiles();
    listeners.call ([] (SessionListener& l) { l.mediaRemoved(); });
}

void ProcessingAVPlayer::deleteTemporaryFiles()
{
    if (extractedFile != juce::File())
    {
        // The waveform reads the extracted sound: let go of it first.
        listeners.call ([] (SessionListener& l) { l.waveformReleased(); });
        extractedFile.deleteFile();
        extractedFile = juce::File();
    }

    if (importedFile != juce::File())
    {
        importedFile.deleteFile();
        importedFile = juce::File();
    }
}

//==============================================================================
bool ProcessingAVPlayer::analyzeAsset (const MediaComposition& asset, const juce::File& url)
{
    const auto file = url != juce::File() || media.origAsset == nullptr ? url : media.origAsset->getFile();
    const auto source =
        url != juce::File() ? url : (media.origAsset != nullptr ? media.origAsset->getFile() : juce::File());
    const auto extraction = media.generation;
    juce::WeakReference<ProcessingAVPlayer> self (this);

    const auto outcome = extractor.extract (
        asset, source,
        [this] (const juce::File& out)
        {
            extractedFile = out;

            if (media.tap != nullptr)
                media.tap->reset();
        },
        [this, extraction] { return extraction == media.generation; });

    if (self == nullptr || outcome.status == SoundExtractor::Outcome::Status::abandoned)
        return false;

    if (outcome.status == SoundExtractor::Outcome::Status::failed)
    {
        extractedFile = juce::File();
        preparationFailed (file, outcome.error, true);
        return false;
    }

    listeners.call ([&] (SessionListener& l) { l.waveformReady (outcome.file); });
    return true;
}

//==============================================================================
bool ProcessingAVPlayer::exportAsset (const juce::File& url, bool, bool, int format, int quality)
{
    return exportMedia (url, format, quality).wasOk();
}

juce::Result ProcessingAVPlayer::exportMedia (const juce::File& url, int format, int quality)
{
    return exporter.exportMedia (url, format, quality);
}

bool ProcessingAVPlayer::exportAssetAsAudioFormat (const juce::File& processed, const MediaAsset& opened,
                                                   const juce::File& url, MediaTime offset, MediaFileType fileType)
{
    AudioWriterQueue::Request request;
    request.processed = processed;
    request.offset = offset;
    request.destination = url;
    request.type = fileType;
    request.sampleRate = assetSampleRate (opened);
    request.channels = assetChannels (opened);
    request.openStream = exporter.openAudioWriterStream;
    request.stallLimitMs = exporter.writerStallLimitMs;
    return AudioWriterQueue::write (request, host).wasOk();
}

void ProcessingAVPlayer::updateProgress (const MediaExportSession& session)
{
    exporter.updateProgress (session);
}

bool ProcessingAVPlayer::waitForAudioWriters (int timeoutMs)
{
    return AudioWriterQueue::waitForAll (timeoutMs);
}

void ProcessingAVPlayer::showServicePicker()
{
    sharing.showServicePicker();
}

void ProcessingAVPlayer::sharingServicePickerDidChooseSharingService (const ShareService* service)
{
    sharing.sharingServicePickerDidChooseSharingService (service);
}
