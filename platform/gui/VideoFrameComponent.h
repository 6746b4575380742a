#pragma once

#include "VideoPictureImage.h"

#include "media/MediaPlayer.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tavlin::media
{

/** Shows a player's picture, scaled to fit and centred on black.

    It looks for a new picture only while one can come (the player plays, or the picture of a seek is on its
    way) and while it is showing, at twice the picture's own rate and at most 60 times a second; the rest of
    the time it does nothing. The player tells it of every play, pause, seek and step.
*/
class VideoFrameComponent : public juce::Component, private juce::Timer
{
public:
    explicit VideoFrameComponent (MediaPlayer& playerToShow) : player (playerToShow), watcher (*this)
    {
        // A time observer hears of every change of rate, seek and step (and, while playing, each second).
        moves = player.addPeriodicTimeObserver (MediaTime::fromSeconds (1.0, 600), [this] (MediaTime) { wake(); });
        wake();
    }

    ~VideoFrameComponent() override
    {
        stopTimer();
        player.removeTimeObserver (moves);
    }

    /** Takes the current frame now (the timer does this on its own). */
    void refresh()
    {
        auto picture = player.getCurrentVideoFrame();

        if (picture != shownPicture)
        {
            shownPicture = picture;
            shown = toImage (picture);
            repaint();
        }
    }

    /** True while it looks for new pictures. */
    bool isFollowing() const noexcept { return isTimerRunning(); }

    const VideoPicture& getShownPicture() const noexcept { return shownPicture; }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::black);

        if (shown.isValid())
            g.drawImageWithin (shown, 0, 0, getWidth(), getHeight(), juce::RectanglePlacement::centred);
    }

private:
    /** Polls per second: twice the picture's rate, within [10, 60]. */
    int pollsPerSecond() const
    {
        double frameRate = 30.0;

        if (const auto* item = player.getCurrentItem())
            if (const auto* video = item->getAsset().getFirstTrack (MediaType::video))
                if (video->sourceTrack.frameRate > 0.0)
                    frameRate = video->sourceTrack.frameRate;

        return juce::jlimit (10, 60, juce::roundToInt (2.0 * frameRate));
    }

    bool isMoving() { return player.getRate() > 0.0f || player.getEngine().isVideoSeeking(); }

    void wake()
    {
        if (isShowing() && !isTimerRunning())
            startTimerHz (pollsPerSecond());
    }

    void timerCallback() override
    {
        // Asked before the picture is taken, so that the tick which finds a seek done still takes its picture.
        const bool moving = isMoving();
        refresh();

        if (!moving || !isShowing())
            stopTimer();
    }

    /** Wakes the component when it is shown again (its window restored, or a parent made visible). */
    struct ShowingWatcher : juce::ComponentMovementWatcher
    {
        explicit ShowingWatcher (VideoFrameComponent& c) : juce::ComponentMovementWatcher (&c), owner (c) {}
        void componentMovedOrResized (bool, bool) override {}
        void componentPeerChanged() override { owner.wake(); }
        void componentVisibilityChanged() override { owner.wake(); }
        VideoFrameComponent& owner;
    };

    MediaPlayer& player;
    ShowingWatcher watcher;
    int moves = 0;
    VideoPicture shownPicture;
    juce::Image shown; // shares shownPicture's pixels

    JUCE_DECLARE_NON_COPYABLE (VideoFrameComponent)
};

} // namespace tavlin::media
