#pragma once

#include <juce_core/juce_core.h>

/** What a media session tells its listeners (MediaSession::addListener), on the message thread, in the
    order it happens. Every callback has an empty default.
*/
class SessionListener
{
public:
    virtual ~SessionListener() = default;

    /** An opening was accepted: the media loads, and its playback set-up follows. */
    virtual void mediaOpened() {}

    /** An opening was refused (reason: why); media opened earlier stays as it was. */
    virtual void mediaRefused (const juce::String& reason) { juce::ignoreUnused (reason); }

    /** The playback set-up has begun: whether the media has a picture, and its upright size in pixels (its
        natural size, a quarter turn swapping the sides). The player exists; the picture can be shown from
        here on.
    */
    virtual void preferredPictureSizeChanged (bool hasPicture, int width, int height)
    {
        juce::ignoreUnused (hasPicture, width, height);
    }

    /** Every 0.1 s of playback. */
    virtual void playbackTimeChanged() {}

    /** The playback rate changed (0: stopped). */
    virtual void playbackRateChanged() {}

    /** The unprocessed sound of the opened media has been extracted into file: the waveform and the
        analysis read it.
    */
    virtual void waveformReady (const juce::File& file) { juce::ignoreUnused (file); }

    /** The extracted sound is about to be deleted: let go of it. */
    virtual void waveformReleased() {}

    /** The player is about to go: whatever shows its picture has to let go of it now. */
    virtual void playerReleased() {}

    /** The media was closed. */
    virtual void mediaRemoved() {}

    /** The opened media could not be made ready: its playback set-up failed (it cannot play, and is to be
        closed), or only the extraction of its sound failed (playable).
    */
    virtual void preparationFailed (const juce::File& media, const juce::String& reason, bool playable)
    {
        juce::ignoreUnused (media, reason, playable);
    }

    /** A save's progress, 0..1. */
    virtual void exportProgressChanged (double progress) { juce::ignoreUnused (progress); }

    /** A save has ended: ok once the copy is complete at destination, else why not. */
    virtual void exportFinished (const juce::File& destination, const juce::Result& result)
    {
        juce::ignoreUnused (destination, result);
    }
};
