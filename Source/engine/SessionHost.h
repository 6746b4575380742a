#pragma once

#include "ProgressReporter.h"

#include "media/MediaPlayer.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_formats/juce_audio_formats.h>

/** What the media session needs of the application around it: the audio formats and devices, the folder
    for its temporary files, the loop flag, the progress display, message boxes and the media document's
    changed flag.

    The application answers through its own host; a test or a command-line tool gives one of its own, so the
    engine runs without the application, a window or a sound card. Message thread only.
*/
class SessionHost : public ProgressReporter
{
public:
    /** The audio-format manager (WAV first); null when there is none. */
    virtual juce::AudioFormatManager* getFormatManager() = 0;

    /** The device manager the player's sound goes to; null for none. */
    virtual juce::AudioDeviceManager* getDeviceManager() = 0;

    /** How a new player plays: through the device manager (a real-time clock without a device), or driven
        by hand (tests).
    */
    virtual tavlin::media::MediaPlayer::Output getPlayerOutput() { return tavlin::media::MediaPlayer::Output::device; }

    /** The folder for the engine's temporary files. */
    virtual juce::File getTemporaryFolder() = 0;

    /** Whether playback starts again from the beginning at the end of the media. */
    virtual bool isLooping() = 0;

    /** False while the progress display is shown. */
    virtual bool isIdle() const = 0;

    /** A warning box with an "OK" button. */
    virtual void showWarning (const juce::String& title, const juce::String& message) = 0;

    /** A question box with "OK" and "Cancel"; true for "OK". */
    virtual bool askOkCancel (const juce::String& title, const juce::String& message) = 0;

    /** Whether the media document counts as changed since it was loaded or saved. */
    virtual bool isDocumentChanged() = 0;
    virtual void setDocumentChanged (bool changed) = 0;
};
