#pragma once

#include "MediaSession.h"
#include "MediaViewHost.h"
#include "MediaWindowSizer.h"

#include "gui/VideoFrameComponent.h"

#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TavAudioProcessor;

/** The picture area of the media window.

    It shows the player's video, or, for audio-only media and whenever the video is hidden, the waveform of
    the extracted sound with the playhead, the noise-selection marker of the learn region and, during long
    operations, the progress of the work over the waveform. A press on the waveform scrubs, or grabs the
    marker when it lands within 9 px of it; releasing a grabbed marker learns the noise profile from there.
    Files dropped on the view open through the application's close gate.

    The view shows what the media session tells it: the picture, the waveform, and the window sized to the
    media (MediaWindowSizer); its transport operations act on the session. Its action messages: "video" once
    an opening has been accepted, "time" every 0.1 s of playback and at every change of the rate.
*/
class MediaContainerComponent : public juce::Component,
                                public juce::FileDragAndDropTarget,
                                public juce::ActionBroadcaster,
                                public juce::ChangeListener,
                                private SessionListener
{
public:
    /** A press on the waveform within this many pixels of the marker grabs it. */
    static constexpr int markerGrabDistance = 9;
    /** Samples a moved marker selects for learning. */
    static constexpr juce::int64 learnLength = 12288;

    /** Shows and drives session; processor holds the learn region and the progress. */
    MediaContainerComponent (MediaSession& session, TavAudioProcessor& processor, MediaViewHost& host);
    ~MediaContainerComponent() override;

    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paintOverChildren (juce::Graphics& g) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    bool isInterestedInFileDrag (const juce::StringArray& files) override;
    void fileDragExit (const juce::StringArray& files) override;
    void fileDragEnter (const juce::StringArray& files, int x, int y) override;
    void filesDropped (const juce::StringArray& files, int x, int y) override;

    //==============================================================================
    void setVideoVisible (bool shouldShowVideo);
    bool isVideoVisible() const noexcept { return videoVisible; }
    void setAudioOnly (bool isAudioOnly) noexcept { audioOnly = isAudioOnly; }
    bool isAudioOnly() const noexcept { return audioOnly; }

    bool isPlaying() const;

    /** Pauses (and returns true) while playing; else plays and returns false. */
    bool togglePlayPause();
    void rewindToStart();
    void removeMedia();

    /** Opens asset when one is given, else the file at path; sends "video" and returns true once accepted. */
    bool loadMedia (const juce::String& path, const tavlin::media::MediaAsset* asset, bool showErrors);
    bool exportMedia (const juce::String& path, int format, int quality);

    /** Seconds. */
    double getPlayableDuration() const;

    /** Seeks to a fraction (0..1) of the playable duration. */
    void seekToFraction (double fraction);

    /** 3 s forward while playing; one frame forward while paused. */
    void skipForward();

    /** 3 s back while playing; one frame back while paused. */
    void skipBackward();

    /** Seconds; 0 without media. */
    double getCurrentTime() const;

    /** The current time as a fraction of the playable duration; 0 without media. */
    double getPositionFraction() const;
    double getPlaybackRate() const;
    void pauseForDrag();
    void resumeAfterDrag();

    //==============================================================================
    /** A video layer goes in here, over the whole view. */
    void addVideoLayer (juce::Component& layer);

    /** The player's picture, while the media has one. */
    tavlin::media::VideoFrameComponent* getVideoLayer() const noexcept { return videoLayer.get(); }

    /** Sizes the window to the media. */
    MediaWindowSizer& getWindowSizer() noexcept { return windowSizer; }
    MediaSession& getSession() noexcept { return session; }

    /** Shows a sound file as the waveform. */
    void setWaveformSource (const juce::File& file);

    /** Lets go of the waveform's file. */
    void clearWaveform();

    juce::AudioThumbnail& getThumbnail() noexcept { return *thumbnail; }
    const juce::File& getCurrentFileURL() const noexcept { return session.getPlayer().getCurrentFile(); }

    /** True while a release is being handled (its pause and learn pass); other mouse actions wait. */
    bool isHandlingRelease() const noexcept { return releaseRunning; }

    /** The texts the view shows. */
    static inline const juce::String dropText { "Drop Media Files Here" };
    static inline const juce::String audioOnlyText { "Audio-only" };
    static inline const juce::String audioText { "Audio" };

private:
    void mediaOpened() override;
    void preferredPictureSizeChanged (bool hasPicture, int width, int height) override;
    void playbackTimeChanged() override;
    void playbackRateChanged() override;
    void waveformReady (const juce::File& file) override;
    void waveformReleased() override;
    void playerReleased() override;
    void mediaRemoved() override;

    void scrubOrMoveMarker (const juce::MouseEvent& event, bool press);
    void drawText (juce::Graphics& g, const juce::String& text) const;
    tavlin::media::MediaPlayer* getAVPlayer() const;

    MediaSession& session;
    TavAudioProcessor& processor;
    MediaViewHost& host;
    std::unique_ptr<tavlin::media::VideoFrameComponent> videoLayer;
    MediaWindowSizer windowSizer;
    std::unique_ptr<juce::AudioFormatManager> ownFormats; // only when the session's host has none
    juce::AudioThumbnailCache thumbnailCache { 1 };
    std::unique_ptr<juce::AudioThumbnail> thumbnail;
    bool audioOnly = false;
    bool dragHighlight = false;
    bool videoVisible = true;
    bool scrubbing = false;
    bool pressOnWaveform = false; // the last press landed on the waveform and decided scrubbing
    bool releaseRunning = false;
    float savedRate = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MediaContainerComponent)
};
