#include "MediaPlayer.h"

namespace tavlin::media
{

MediaPlayer::MediaPlayer (juce::AudioDeviceManager* manager, Output o) : deviceManager (manager), output (o)
{
    if (output == Output::device && deviceManager == nullptr)
        output = Output::nullClock;

    // On the manager from the start (silent until chosen), so a device opened later can take over.
    if (output == Output::device)
        deviceManager->addAudioCallback (&deviceCallback);
}

MediaPlayer::~MediaPlayer()
{
    stopTimer();

    if (output == Output::device)
        deviceManager->removeAudioCallback (&deviceCallback);

    nullClock.reset();
    engine.unload();

    if (item != nullptr)
        item->audioMixChanged = nullptr;
}

void MediaPlayer::replaceCurrentItem (std::unique_ptr<MediaPlayerItem> newItem)
{
    if (item != nullptr)
        item->audioMixChanged = nullptr;

    engine.unload();
    item = std::move (newItem);
    endDelivered = false;

    if (item == nullptr)
    {
        nullClock.reset();
        return;
    }

    item->audioMixChanged = [this] { itemAudioMixChanged(); };

    if (output == Output::manual)
        if (const auto* audio = item->getAsset().getFirstTrack (MediaType::audio))
            engine.setOutputFormat (audio->sourceTrack.sampleRate, audio->sourceTrack.channels);

    juce::String error;
    const bool ok = engine.load (item->getAsset(), item->getAudioMix(), error);
    item->status = ok ? MediaPlayerItem::Status::readyToPlay : MediaPlayerItem::Status::failed;
    item->error = error;
    nullClock.reset(); // a clock for the earlier media's rate
    chooseOutput();
    engine.setRate (rate);
    followWhilePlaying();

    // The time is the new item's: observers hear of it as of a seek.
    notifyTimeObservers();
}

bool MediaPlayer::deviceIsOpen() const
{
    auto* device = output == Output::device ? deviceManager->getCurrentAudioDevice() : nullptr;
    return device != nullptr && device->isOpen();
}

void MediaPlayer::chooseOutput()
{
    if (output == Output::manual || item == nullptr || !engine.isLoaded())
        return;

    if (deviceIsOpen())
    {
        nullClock.reset();

        if (!deviceCallback.isDriving())
            deviceCallback.drive (deviceManager->getCurrentAudioDevice());

        return;
    }

    // Without a sound card the clock runs at the media's own rate, so nothing is resampled.
    deviceCallback.drive (nullptr);
    engine.setOutputLatency (0);

    if (nullClock == nullptr)
        nullClock = std::make_unique<NullAudioClock> (engine, engine.getMediaSampleRate());
}

void MediaPlayer::itemAudioMixChanged()
{
    if (item != nullptr)
        engine.setAudioMix (item->getAudioMix());
}

void MediaPlayer::followWhilePlaying()
{
    // Paused, nothing moves: the timer stops after one more tick (which delivers an end reached meanwhile).
    if (rate > 0.0f && item != nullptr && !isTimerRunning())
        startTimer (tickMs);
}

void MediaPlayer::setRate (float newRate)
{
    newRate = std::max (0.0f, newRate);

    if (newRate == rate)
        return;

    rate = newRate;
    followWhilePlaying();

    if (rate > 0.0f)
        chooseOutput();

    engine.setRate (rate);

    if (rate > 0.0f && nullClock != nullptr)
        nullClock->engineStarted();

    if (rate > 0.0f && engine.hasReachedEnd())
        endDelivered = true; // already at the end: nothing more to announce until the next seek

    const auto observers = rateObservers;

    for (const auto& [token, observer] : observers)
        if (rateObservers.count (token) != 0)
            observer();

    notifyTimeObservers();
}

MediaTime MediaPlayer::getCurrentTime() const
{
    if (item == nullptr || !engine.isLoaded())
        return MediaTime::zero();

    return MediaTime::make (engine.getPosition(), (int32_t) engine.getMediaSampleRate());
}

MediaTime MediaPlayer::getDuration() const
{
    return item != nullptr ? item->getDuration() : MediaTime::zero();
}

void MediaPlayer::seekToTime (MediaTime time)
{
    if (item == nullptr || !time.isValid())
        return;

    engine.seek (time.toSamples (engine.getMediaSampleRate()));
    endDelivered = false;
    notifyTimeObservers();
}

void MediaPlayer::seekToTime (MediaTime time, MediaTime, MediaTime)
{
    seekToTime (time);
}

void MediaPlayer::stepByCount (int frames)
{
    if (item == nullptr)
        return;

    double frameRate = 30.0;

    if (const auto* video = item->getAsset().getFirstTrack (MediaType::video))
        if (video->sourceTrack.frameRate > 0.0)
            frameRate = video->sourceTrack.frameRate;

    const auto rateHz = engine.getMediaSampleRate();
    const auto step = (int64_t) std::llround (frames * rateHz / frameRate);
    engine.seek (engine.getPosition() + step);
    endDelivered = false;
    notifyTimeObservers();
}

int MediaPlayer::addPeriodicTimeObserver (MediaTime interval, std::function<void (MediaTime)> observer)
{
    const int token = nextToken++;
    timeObservers[token] = { std::max (0.001, interval.seconds()), juce::Time::getMillisecondCounterHiRes(),
                             std::move (observer) };
    return token;
}

void MediaPlayer::removeTimeObserver (int token)
{
    timeObservers.erase (token);
}

int MediaPlayer::addRateObserver (std::function<void()> observer)
{
    const int token = nextToken++;
    rateObservers[token] = std::move (observer);
    return token;
}

void MediaPlayer::removeRateObserver (int token)
{
    rateObservers.erase (token);
}

int MediaPlayer::addItemEndObserver (std::function<void()> observer)
{
    const int token = nextToken++;
    endObservers[token] = std::move (observer);
    return token;
}

void MediaPlayer::removeItemEndObserver (int token)
{
    endObservers.erase (token);
}

VideoPicture MediaPlayer::getCurrentVideoFrame()
{
    if (item == nullptr || !engine.hasVideo())
        return {};

    return engine.getVideoFrame ((double) engine.getPosition() / engine.getMediaSampleRate());
}

void MediaPlayer::notifyTimeObservers()
{
    const auto now = getCurrentTime();
    const auto ms = juce::Time::getMillisecondCounterHiRes();
    std::vector<int> tokens;

    for (auto& [token, observer] : timeObservers)
    {
        observer.lastFiredMs = ms;
        tokens.push_back (token);
    }

    for (auto token : tokens)
        if (auto found = timeObservers.find (token); found != timeObservers.end())
            found->second.callback (now);
}

void MediaPlayer::timerCallback()
{
    if (item == nullptr || rate <= 0.0f)
        stopTimer();

    if (item == nullptr)
        return;

    // The device came or went while playing: the other output takes over from here.
    if (rate > 0.0f && output == Output::device && deviceIsOpen() != deviceCallback.isDriving())
        chooseOutput();

    if (rate > 0.0f)
    {
        const auto ms = juce::Time::getMillisecondCounterHiRes();
        std::vector<int> due;

        for (auto& [token, observer] : timeObservers)
            if (ms - observer.lastFiredMs >= observer.intervalSeconds * 1000.0 / rate)
            {
                observer.lastFiredMs = ms;
                due.push_back (token);
            }

        for (auto token : due)
            if (auto found = timeObservers.find (token); found != timeObservers.end())
                found->second.callback (getCurrentTime());
    }

    if (!endDelivered && engine.hasReachedEnd())
    {
        endDelivered = true;

        if (actionAtEnd == ActionAtItemEnd::pause)
            setRate (0.0f);

        const auto observers = endObservers;

        for (const auto& [token, observer] : observers)
            if (endObservers.count (token) != 0)
                observer();
    }
}

} // namespace tavlin::media
