#pragma once

#include "ProcessingAVPlayer.h"
#include "SessionHost.h"
#include "SessionListener.h"
#include "SessionProcessor.h"

/** The media engine: one media file at a time, opened, played through the processor, extracted for the
    waveform and the analysis, saved and shared. It owns the player and holds the processor; it tells its
    listeners what happens (SessionListener). It uses no GUI module: the media view shows what it tells, and
    the document, the views and a batch run act on it.

    Everything runs on the message thread.
*/
class MediaSession
{
public:
    /** host and processor outlive the session. */
    MediaSession (SessionHost& host, SessionProcessor& processor);
    ~MediaSession();

    void addListener (SessionListener* listener) { listeners.add (listener); }
    void removeListener (SessionListener* listener) { listeners.remove (listener); }

    //==============================================================================
    /** Opens a media file: ok once its loading has started (the set-up follows asynchronously); else why it
        was refused, told in a warning too when showErrors is set.
    */
    juce::Result open (const juce::File& file, bool showErrors);

    /** Opens a copy of an asset made in code, as open does. */
    juce::Result open (const tavlin::media::MediaAsset& asset, bool showErrors);

    /** Closes the media and deletes its temporary files. */
    void close();

    /** Saves the processed media to destination in a save format (0 ".mov" ... 8 ".mp3") and a quality
        (0..9, FLAC and MP3): ok once the copy is complete there, else why it was not made.
    */
    juce::Result save (const juce::File& destination, int format, int quality);

    /** True from an accepted opening until the media is closed or could not be set up. */
    bool hasMedia() const noexcept { return player.getPlayer() != nullptr; }

    //==============================================================================
    bool isPlaying() const;

    /** Pauses (and returns true) while playing; else plays and returns false. */
    bool togglePlayPause();
    void rewindToStart();

    /** Seeks to a fraction (0..1) of the playable duration. */
    void seekToFraction (double fraction);

    /** 3 s forward while playing; one frame forward while paused. */
    void skipForward();

    /** 3 s back while playing; one frame back while paused. */
    void skipBackward();

    /** Seconds; 0 without media. */
    double getCurrentTime() const;

    /** Seconds that can be played; 0 without media. */
    double getPlayableDuration() const;

    /** The current time as a fraction of the playable duration; 0 without media. */
    double getPositionFraction() const;

    /** 0: stopped. */
    double getPlaybackRate() const;
    void setPlaybackRate (float rate);

    //==============================================================================
    ProcessingAVPlayer& getPlayer() noexcept { return player; }
    const ProcessingAVPlayer& getPlayer() const noexcept { return player; }

    /** The player of the open media; null without media. */
    tavlin::media::MediaPlayer* getMediaPlayer() const noexcept { return player.getPlayer(); }

    SessionHost& getHost() noexcept { return host; }

private:
    SessionHost& host;
    juce::ListenerList<SessionListener> listeners;
    ProcessingAVPlayer player;

    JUCE_DECLARE_NON_COPYABLE (MediaSession)
};
