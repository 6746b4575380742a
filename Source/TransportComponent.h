#pragma once

#include "SessionListener.h"
#include "TavDarkLookAndFeel.h"

#include "media/MediaAsset.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class AnimationComponent;
class GradNSVComponent;
class MediaContainerComponent;
class MediaSession;
class MediaViewHost;
class ShareNSVComponent;
class TavAudioProcessor;

/** The player face of the media window: the media view above a 50 px strip with play/pause, 3 s rewind and
    forward, the position slider, the time label, the bypass and video switches and the share button. A
    waiting animation covers the picture area while no media is loaded.

    Its transport operations, the route by which the media commands act on the player, each forward to the
    media view, which acts on the media session. It follows the session's openings and closings: mediaLoaded
    is true from an accepted opening until the media is closed or an opening is refused.
*/
class TransportComponent : public juce::Component,
                           public juce::ActionListener,
                           public juce::Timer,
                           public juce::ChangeListener,
                           public juce::Button::Listener,
                           public juce::Slider::Listener,
                           private SessionListener
{
public:
    /** Plays session through processor; the media view asks host for the close gate and the learn pass. */
    TransportComponent (MediaSession& session, TavAudioProcessor& processor, MediaViewHost& host);
    ~TransportComponent() override;

    void visibilityChanged() override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void actionListenerCallback (const juce::String& message) override;
    void sliderDragStarted (juce::Slider* slider) override;
    void sliderDragEnded (juce::Slider* slider) override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    void timerCallback() override;
    void buttonClicked (juce::Button* button) override;
    void sliderValueChanged (juce::Slider* slider) override;

    //==============================================================================
    /** A path opens that media (asset, when given, instead of the file); the empty path removes the media
        and shows the waiting animation. Returns mediaLoaded.
    */
    bool loadMedia (const juce::String& path, const tavlin::media::MediaAsset* asset, bool showErrors);
    bool loadMedia (const juce::String& path, bool showErrors) { return loadMedia (path, nullptr, showErrors); }

    bool exportMedia (const juce::String& path, int formatIndex, int qualityIndex);

    /** True when it paused. */
    bool togglePlayPause();
    void rewindToStart();

    /** 3 s forward while playing, one frame while paused. */
    void stepForward();

    /** 3 s back while playing, one frame while paused. */
    void stepBackward();
    bool isPlaying() const;

    /** Seconds. */
    double getCurrentTime() const;

    /** The loop flag is the application's; nothing changes here. */
    void setLooping (bool shouldLoop);

    /** Loads the named waiting animation 50 ms from now. */
    void startAnimation (const juce::String& name);
    void setAnimationVisible (bool shouldShow);

    /** Shows the play glyph while stopped, the pause glyph while playing; loads an image only on a change. */
    void updatePlayPauseGlyph();

    /** hh:mm:ss.mmm of a millisecond count; hours are not capped. */
    static juce::String formatTimeMs (juce::int64 milliseconds);

    /** The time label's text before the first position arrives. */
    static inline const juce::String initialTimeText { "00:00:00.00" };

    /** The result of the last opening, false again once the media is closed. */
    bool mediaLoaded = false;

    //==============================================================================
    MediaContainerComponent& getMediaView() noexcept { return *mediaView; }
    AnimationComponent& getAnimation() noexcept { return *animation; }
    juce::ImageButton& getPlayButton() noexcept { return *playButton; }
    juce::ImageButton& getForwardButton() noexcept { return *forwardButton; }
    juce::ImageButton& getRewindButton() noexcept { return *rewindButton; }
    juce::ImageButton& getBypassButton() noexcept { return *bypassButton; }
    juce::ImageButton& getVideoButton() noexcept { return *videoButton; }
    juce::Slider& getPositionSlider() noexcept { return *positionSlider; }
    juce::Label& getTimeLabel() noexcept { return *timeLabel; }
    juce::ImageComponent& getPlayGlyph() noexcept { return *playGlyph; }
    GradNSVComponent& getGradientStrip() noexcept { return *gradientStrip; }
    ShareNSVComponent& getShareButton() noexcept { return *shareButton; }
    int getGlyphState() const noexcept { return glyphState; }
    int getGlyphLoads() const noexcept { return glyphLoads; }
    const juce::String& getAnimationName() const noexcept { return animationName; }

private:
    void mediaOpened() override;
    void mediaRefused (const juce::String& reason) override;
    void mediaRemoved() override;

    MediaSession& session;
    juce::String animationName;
    TavDarkLookAndFeel darkLookAndFeel;
    std::unique_ptr<MediaContainerComponent> mediaView;
    std::unique_ptr<juce::ImageComponent> playGlyph;
    int glyphState = -1;
    int glyphLoads = 0;
    std::unique_ptr<GradNSVComponent> gradientStrip;
    std::unique_ptr<ShareNSVComponent> shareButton;
    std::unique_ptr<AnimationComponent> animation;
    TavAudioProcessor* processor = nullptr;
    std::unique_ptr<juce::ImageButton> playButton;
    std::unique_ptr<juce::ImageButton> forwardButton;
    std::unique_ptr<juce::ImageButton> rewindButton;
    std::unique_ptr<juce::Slider> positionSlider;
    std::unique_ptr<juce::Label> timeLabel;
    std::unique_ptr<juce::ImageButton> bypassButton;
    std::unique_ptr<juce::ImageButton> videoButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TransportComponent)
};
