#include "ProcessingAVPlayer.h"

#include "MediaContainerComponent.h"
#include "PlayerHost.h"
#include "TavAudioProcessor.h"

#include "desktop/RegularFile.h"
#include "media/MediaExportSession.h"
#include "media/PlayerRenderEngine.h"
#include "media/SoundProbe.h"

using namespace tavlin::media;

namespace
{
ProcessingAVPlayer* theInstance = nullptr;

const juce::StringArray& loadedKeys()
{
    static const juce::StringArray keys { MediaAsset::keyPlayable, MediaAsset::keyProtectedContent,
                                          MediaAsset::keyTracks, MediaAsset::keyDuration };
    return keys;
}
} // namespace

ProcessingAVPlayer::ProcessingAVPlayer (PlayerHost& hostToUse) : host (hostToUse)
{
    if (theInstance == nullptr)
        theInstance = this;
}

ProcessingAVPlayer::~ProcessingAVPlayer()
{
    ++generation;
    releasePlayer();
    restoreWindowConstrainer();
    deleteTemporaryFiles();

    if (theInstance == this)
        theInstance = nullptr;
}

ProcessingAVPlayer* ProcessingAVPlayer::getInstance() noexcept
{
    return theInstance;
}

void ProcessingAVPlayer::setMCC (MediaContainerComponent* mediaView)
{
    mcc = mediaView;
    constrainer = std::make_unique<CustomBoundsConstrainer>();
    constrainer->setSizeLimits (640, 280, 10000, 10000);
    constrainer->setMinimumOnscreenAmounts (10000, 10000, 10000, 10000);
    shareCount = 1;
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
    ++generation;
    releasePlayer();
    deleteTemporaryFiles();
    importedFile = decoded;
    preparationError.clear();

    player = std::make_unique<MediaPlayer> (host.getDeviceManager(), host.getPlayerOutput());
    origAsset = working->copy();
    loadingAsset = std::move (working);

    const auto opening = generation;
    loadingAsset->loadValuesAsynchronously (loadedKeys(), [this, opening, url] { setUpWhenIdle (opening, url); });
    return true;
}

void ProcessingAVPlayer::preparationFailed (const juce::File& media, const juce::String& reason, bool playable)
{
    preparationError = reason;
    juce::Logger::writeToLog ("The media could not be prepared: " + reason);
    host.mediaPreparationFailed (media, reason, playable);
}

void ProcessingAVPlayer::setUpWhenIdle (uint32_t opening, const juce::File& url)
{
    if (opening != generation || loadingAsset == nullptr)
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
    const auto target = makeTemporaryFile (host, importEnding);

    if (target == juce::File() || !importWithAudioFormatReader (host, asset.getFile(), target))
        return false;

    asset.reopen (target);
    return true;
}

bool ProcessingAVPlayer::importWithAudioFormatReader (PlayerHost& host, const juce::File& source,
                                                      const juce::File& target)
{
    auto* manager = host.getFormatManager();

    // The readers open what they are given with a plain open, which a named pipe holds for ever.
    if (manager == nullptr || target == juce::File() || !tavlin::desktop::RegularFile::is (source))
        return false;

    std::unique_ptr<juce::AudioFormatReader> reader (manager->createReaderFor (source));

    if (reader == nullptr || reader->numChannels == 0 || reader->lengthInSamples <= 0)
        return false;

    auto* wav = manager->getDefaultFormat();

    if (wav == nullptr)
        return false;

    target.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (target, 32768);

    if (stream->failedToOpen())
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (wav->createWriterFor (
        stream.get(), reader->sampleRate, reader->numChannels, (int) reader->bitsPerSample, {}, 0));

    if (writer == nullptr)
    {
        stream.reset();
        target.deleteFile();
        return false;
    }

    juce::ignoreUnused (stream.release()); // the writer owns it now

    constexpr int blockSize = 8192;
    const auto total = reader->lengthInSamples;
    juce::AudioBuffer<float> buffer (juce::jmax (2, (int) reader->numChannels), blockSize);
    bool complete = true;
    double last = 0.0;

    host.showProgress ("Importing...");

    for (juce::int64 pos = 0; pos < total && complete; pos += blockSize)
    {
        const double fraction = (double) pos / (double) total;

        if (fraction - last > 0.05)
        {
            last = fraction;
            host.setProgress (fraction);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        }

        const auto n = (int) std::min<juce::int64> (blockSize, total - pos);
        complete = reader->read (&buffer, 0, n, pos, true, true) && writer->writeFromAudioSampleBuffer (buffer, 0, n);
    }

    host.hideProgress();
    complete = writer->flush() && complete;
    writer.reset();
    reader.reset();

    // A partial file would play as if it were the whole media.
    if (!complete)
        target.deleteFile();

    return complete;
}

juce::File ProcessingAVPlayer::makeTemporaryFile (PlayerHost& host, const juce::String& ending)
{
    const auto folder = host.getTemporaryFolder();

    if (folder == juce::File() || !folder.isDirectory())
        return {};

    for (;;)
    {
        const auto number = (uint32_t) juce::Random::getSystemRandom().nextInt();
        auto file = folder.getChildFile ("temp_" + juce::String::toHexString ((int) number) + "." + ending);

        if (!file.exists())
            return file;
    }
}

//==============================================================================
MediaTime ProcessingAVPlayer::videoOffsetFor (const MediaAsset& asset) const
{
    auto* processor = host.getProcessor();

    if (processor == nullptr)
        return MediaTime::zero();

    // The tap is prepared for the media's own rate and the render engine's largest block, so the delay is
    // known before anything plays.
    const auto rate = assetSampleRate (asset);
    const auto latency = processor->getLatencyFor (rate, PlayerRenderEngine::maxTapFrames);
    return MediaTime::make (latency, (int32_t) std::lround (rate));
}

MediaComposition ProcessingAVPlayer::makePlaybackComposition (const MediaAsset& asset, MediaTime videoOffset)
{
    MediaComposition composition;
    const auto whole = MediaTimeRange::make (MediaTime::zero(), asset.getDuration());

    if (const auto* video = asset.getFirstTrack (MediaType::video))
    {
        const auto id = composition.addTrack (MediaType::video);
        composition.insertTimeRange (id, whole, asset, *video, videoOffset);
        composition.setPreferredRotation (id, video->rotationDegrees);
    }

    if (const auto* audio = asset.getFirstTrack (MediaType::audio))
    {
        const auto id = composition.addTrack (MediaType::audio);
        composition.insertTimeRange (id, whole, asset, *audio, MediaTime::zero());
    }

    return composition;
}

int ProcessingAVPlayer::videoWindowHeight (int naturalHeight, int windowTop, int limit)
{
    int height = naturalHeight;

    for (int i = 0; i < 4; ++i)
        if (windowTop + height > limit)
            height /= 2;

    return height;
}

void ProcessingAVPlayer::setUpPlaybackOfAsset (const MediaComposition& composition, const juce::File& url,
                                               const juce::StringArray& keys)
{
    if (player == nullptr)
        return;

    // Media that cannot play is not left open: whoever waits for it hears why.
    const auto cannotPlay = [&] (const juce::String& reason)
    {
        const auto media = url != juce::File() || origAsset == nullptr ? url : origAsset->getFile();
        ++generation;
        releasePlayer();
        deleteTemporaryFiles();
        preparationFailed (media, reason, false);
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

    auto* window = getWindow();
    auto bounds = window != nullptr ? window->getBounds() : juce::Rectangle<int>();
    constrainer->setFixedAspectRatio (1.66);

    if (mcc != nullptr)
        mcc->setAudioOnly (false);

    if (const auto* video = composition.getFirstTrack (MediaType::video))
    {
        playerLayer = std::make_unique<VideoFrameComponent> (*player);
        playerLayer->setInterceptsMouseClicks (false, false);

        if (mcc != nullptr)
            mcc->addVideoLayer (*playerLayer);

        // The picture is shown upright: a quarter turn swaps its sides.
        const bool turned = video->rotationDegrees % 180 != 0;
        const int width = turned ? video->sourceTrack.naturalHeight : video->sourceTrack.naturalWidth;
        const int height = turned ? video->sourceTrack.naturalWidth : video->sourceTrack.naturalHeight;

        if (width > 0 && height > 0)
            constrainer->setFixedAspectRatio ((double) width / (double) height);

        if (window != nullptr && height > 0)
        {
            const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (window->getBounds());

            if (display == nullptr)
                display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();

            if (display != nullptr)
                bounds.setHeight (
                    juce::jmax (1, videoWindowHeight (height, window->getY(), display->userArea.getBottom() - 72)));
        }

        if (mcc != nullptr)
            mcc->setVideoVisible (true);
    }
    else
    {
        constrainer->setFixedAspectRatio (6.4);
        constrainer->setSizeLimits (640, 100, 10000, 10000);
        bounds.setHeight (214);

        if (mcc != nullptr)
        {
            mcc->setAudioOnly (true);
            mcc->setVideoVisible (false);
        }
    }

    if (window != nullptr)
    {
        if (constrainedWindow.getComponent() != window)
        {
            restoreWindowConstrainer();
            windowConstrainer = window->getConstrainer();
            constrainedWindow = window;
        }

        window->setConstrainer (constrainer.get());

        if (window->isFullScreen())
            window->setFullScreen (false);

        window->setBounds (bounds);
    }

    // Preparing the processor for playback announces a change; it is no change of the settings.
    const bool documentChanged = host.isDocumentChanged();

    auto item = std::make_unique<MediaPlayerItem> (composition);
    auto* playing = item.get();
    player->replaceCurrentItem (std::move (item));

    rateObserverToken = player->addRateObserver ([this] { rateChanged(); });
    timeObserverToken =
        player->addPeriodicTimeObserver (MediaTime::make (1, 10), [this] (MediaTime) { sendTimeMessage(); });
    player->setActionAtItemEnd (MediaPlayer::ActionAtItemEnd::none);
    endObserverToken = player->addItemEndObserver ([this] { playerItemDidReachEnd(); });

    if (const auto* audio = composition.getFirstTrack (MediaType::audio))
        if (auto* processor = host.getProcessor())
        {
            atp = std::make_unique<TavAudioTapProcessor> (*audio, *processor);

            if (auto mix = atp->audioMix())
                playing->setAudioMix (mix);
        }

    if (auto* processor = host.getProcessor())
        processor->dispatchPendingMessages();

    host.setDocumentChanged (documentChanged);

    player->seekToTime (MediaTime::make (360, 600));
    lastPlayStopTime = juce::Time::getCurrentTime();
    loadingAsset.reset();

    analyzeAsset (composition, url);
}

//==============================================================================
void ProcessingAVPlayer::sendTimeMessage()
{
    if (mcc != nullptr)
        mcc->sendActionMessage ("time");
}

void ProcessingAVPlayer::rateChanged()
{
    sendTimeMessage();

    if (player != nullptr && player->getRate() == 0.0f)
        lastPlayStopTime = juce::Time::getCurrentTime();
}

void ProcessingAVPlayer::playerItemDidReachEnd()
{
    if (player == nullptr)
        return;

    if (host.isLooping())
        player->seekToTime (MediaTime::zero());
    else
        player->pause(); // stopped at the end, so it no longer counts as playing
}

double ProcessingAVPlayer::playableDuration() const
{
    if (player == nullptr || player->getCurrentItem() == nullptr
        || player->getCurrentItem()->getStatus() != MediaPlayerItem::Status::readyToPlay)
        return 0.0;

    const auto range = player->getCurrentItem()->getLoadedTimeRange();
    const auto seconds = range.start.seconds() + range.duration.seconds();
    return std::isfinite (seconds) ? seconds : 0.0;
}

int ProcessingAVPlayer::assetChannels (const MediaAsset& asset)
{
    const auto* track = asset.getFirstTrack (MediaType::audio);
    return track != nullptr && track->channels > 0 ? track->channels : 1;
}

double ProcessingAVPlayer::assetSampleRate (const MediaAsset& asset)
{
    const auto* track = asset.getFirstTrack (MediaType::audio);
    return track != nullptr && track->sampleRate > 0.0 ? track->sampleRate : 44100.0;
}

//==============================================================================
void ProcessingAVPlayer::releasePlayer()
{
    loadingAsset.reset();

    if (player == nullptr)
        return;

    player->pause();
    player->removeTimeObserver (timeObserverToken);
    player->removeRateObserver (rateObserverToken);
    player->removeItemEndObserver (endObserverToken);
    timeObserverToken = rateObserverToken = endObserverToken = 0;

    if (playerLayer != nullptr)
    {
        if (auto* parent = playerLayer->getParentComponent())
            parent->removeChildComponent (playerLayer.get());

        playerLayer.reset();
    }

    if (auto* item = player->getCurrentItem())
        item->setAudioMix (nullptr);

    player.reset();
    atp.reset();
}

void ProcessingAVPlayer::removeMovie()
{
    ++generation;
    releasePlayer();
    restoreWindowConstrainer();
    deleteTemporaryFiles();
}

void ProcessingAVPlayer::restoreWindowConstrainer()
{
    if (auto* window = constrainedWindow.getComponent())
        window->setConstrainer (windowConstrainer);

    constrainedWindow = nullptr;
    windowConstrainer = nullptr;
}

void ProcessingAVPlayer::deleteTemporaryFiles()
{
    if (extractedFile != juce::File())
    {
        // The waveform reads the extracted sound: let go of it first.
        if (mcc != nullptr)
            mcc->clearWaveform();

        extractedFile.deleteFile();
        extractedFile = juce::File();
    }

    if (importedFile != juce::File())
    {
        importedFile.deleteFile();
        importedFile = juce::File();
    }
}

juce::ResizableWindow* ProcessingAVPlayer::getWindow() const
{
    return mcc != nullptr ? dynamic_cast<juce::ResizableWindow*> (mcc->getTopLevelComponent()) : nullptr;
}

//==============================================================================
bool ProcessingAVPlayer::analyzeAsset (const MediaComposition& asset, const juce::File& url)
{
    const auto media = url != juce::File() || origAsset == nullptr ? url : origAsset->getFile();
    const bool hasVideo = asset.hasTracksWithMediaType (MediaType::video);
    host.showProgress ("Loading...");

    auto session = MediaExportSession::create (asset, hasVideo ? MediaExportSession::presetAppleM4A
                                                               : MediaExportSession::presetPassthrough);
    const auto out = makeTemporaryFile (host, hasVideo ? extractedVideoEnding : extractedAudioEnding);

    if (session == nullptr || out == juce::File())
    {
        host.hideProgress();
        preparationFailed (media,
                           out == juce::File() ? "No temporary file can be made for its sound."
                                               : juce::String ("Its sound cannot be extracted."),
                           true);
        return false;
    }

    session->setOutputFile (out);
    session->setOutputFileType (hasVideo ? MediaFileType::appleM4A : MediaFileType::wave);
    extractedFile = out;

    auto done = std::make_shared<std::atomic<bool>> (false);

    if (atp != nullptr)
        atp->reset();

    auto* running = session.get();
    session->exportAsynchronously (
        [running, done]
        {
            const auto status = running->getStatusNumber();

            if (status == (int) MediaExportSession::Status::completed)
                juce::Logger::writeToLog ("AVAssetExportSessionStatusCompleted");
            else if (status == (int) MediaExportSession::Status::failed)
                juce::Logger::writeToLog ("AVAssetExportSessionStatusFailed");
            else
                juce::Logger::writeToLog ("Export Session Status: " + juce::String (status));

            done->store (true);
        });

    const auto extraction = generation;
    juce::WeakReference<ProcessingAVPlayer> self (this);
    auto* messages = juce::MessageManager::getInstance();
    messages->runDispatchLoopUntil (100);
    auto lastProgress = juce::Time::getMillisecondCounter();

    while (!done->load())
    {
        messages->runDispatchLoopUntil (1);

        if (self == nullptr)
            break;

        if (juce::Time::getMillisecondCounter() - lastProgress >= 100)
        {
            lastProgress = juce::Time::getMillisecondCounter();
            host.setProgress (running->getProgress());
        }
    }

    session->waitUntilFinished();

    if (self == nullptr)
    {
        out.deleteFile();
        return false;
    }

    host.hideProgress();

    // The media went while the sound was written: what was written is nobody's now.
    if (extraction != generation)
    {
        out.deleteFile();
        return false;
    }

    if (session->getStatus() == MediaExportSession::Status::failed)
    {
        const auto source = url != juce::File() ? url : (origAsset != nullptr ? origAsset->getFile() : juce::File());

        if (!importWithAudioFormatReader (host, source, out))
        {
            // Nothing stands at out: the waveform, the analysis and a batch waiting for them learn why.
            extractedFile = juce::File();
            preparationFailed (media, "Its sound could not be extracted: " + session->getError(), true);
            return false;
        }
    }

    if (mcc != nullptr)
        mcc->setWaveformSource (out);

    host.analyzeAudioFile (out);
    return true;
}
