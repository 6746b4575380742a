#pragma once

#include "VideoPictureImage.h"

#include "media/MediaPlayer.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tavlin::media
{

/** Shows a player's picture, scaled to fit and centred on black, refreshed at the picture's own pace. */
class VideoFrameComponent : public juce::Component, private juce::Timer
{
public:
    explicit VideoFrameComponent (MediaPlayer& playerToShow) : player (playerToShow) { startTimerHz (60); }

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

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::black);

        if (shown.isValid())
            g.drawImageWithin (shown, 0, 0, getWidth(), getHeight(), juce::RectanglePlacement::centred);
    }

private:
    void timerCallback() override { refresh(); }

    MediaPlayer& player;
    VideoPicture shownPicture;
    juce::Image shown; // shares shownPicture's pixels

    JUCE_DECLARE_NON_COPYABLE (VideoFrameComponent)
};

} // namespace tavlin::media
