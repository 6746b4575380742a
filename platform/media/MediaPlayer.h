#pragma once

#include "MediaPlayerItem.h"
#include "NullAudioClock.h"
#include "PlayerAudioOutput.h"

#include <juce_events/juce_events.h>

#include <functional>
#include <map>

namespace tavlin::media
{

/**
    Plays one item at a time. Every call and every observer runs on the message thread. Its timer runs
    only while it plays, so a paused player costs nothing.

    The sound plays through the given AudioDeviceManager when it has an open output device; otherwise a
    real-time null clock takes it. The choice is made again at every play, so a device opened after the media
    takes over then. With Output::manual nothing takes it until getEngine().readOutput is called, which is how
    tests drive the player.
*/
class MediaPlayer : private juce::Timer
{
public:
    enum class Output
    {
        device,
        nullClock,
        manual
    };

    enum class ActionAtItemEnd
    {
        advance = 0,
        pause = 1,
        none = 2
    };

    explicit MediaPlayer (juce::AudioDeviceManager* deviceManager, Output output = Output::device);
    ~MediaPlayer() override;

    /** Takes an item (null: none) and loads it; its status tells whether it can be played. */
    void replaceCurrentItem (std::unique_ptr<MediaPlayerItem> item);
    MediaPlayerItem* getCurrentItem() const { return item.get(); }

    void play() { setRate (1.0f); }
    void pause() { setRate (0.0f); }

    /** 0 is stopped; rate observers hear of every change. */
    void setRate (float newRate);
    float getRate() const { return rate; }

    MediaTime getCurrentTime() const;
    MediaTime getDuration() const;

    /** Seeks exactly (the tolerances are accepted for the interface; every seek is exact). */
    void seekToTime (MediaTime time);
    void seekToTime (MediaTime time, MediaTime toleranceBefore, MediaTime toleranceAfter);

    /** Moves by whole video frames (by 1/30 s steps when there is no picture). */
    void stepByCount (int frames);

    int addPeriodicTimeObserver (MediaTime interval, std::function<void (MediaTime)> observer);
    void removeTimeObserver (int token);

    int addRateObserver (std::function<void()> observer);
    void removeRateObserver (int token);

    int addItemEndObserver (std::function<void()> observer);
    void removeItemEndObserver (int token);

    void setActionAtItemEnd (ActionAtItemEnd action) { actionAtEnd = action; }
    ActionAtItemEnd getActionAtItemEnd() const { return actionAtEnd; }

    /** The picture for the current time, null for audio-only media or before the first frame. */
    VideoPicture getCurrentVideoFrame();

    PlayerRenderEngine& getEngine() { return engine; }

private:
    struct TimeObserver
    {
        double intervalSeconds;
        double lastFiredMs;
        std::function<void (MediaTime)> callback;
    };

    void itemAudioMixChanged();
    void chooseOutput();
    bool deviceIsOpen() const;
    void timerCallback() override;
    void followWhilePlaying();
    void notifyTimeObservers();

    /** The timer's period while playing, in ms: time observers, the end, a device that comes or goes. */
    static constexpr int tickMs = 10;

    juce::AudioDeviceManager* deviceManager;
    Output output;
    PlayerRenderEngine engine;
    PlayerAudioOutput deviceCallback { engine };
    std::unique_ptr<NullAudioClock> nullClock;

    std::unique_ptr<MediaPlayerItem> item;
    float rate = 0.0f;
    ActionAtItemEnd actionAtEnd = ActionAtItemEnd::pause;
    bool endDelivered = false;

    int nextToken = 1;
    std::map<int, TimeObserver> timeObservers;
    std::map<int, std::function<void()>> rateObservers, endObservers;

    JUCE_DECLARE_NON_COPYABLE (MediaPlayer)
};

} // namespace tavlin::media
