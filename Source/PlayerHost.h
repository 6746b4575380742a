#pragma once

#include "media/MediaPlayer.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_formats/juce_audio_formats.h>

class TavAudioProcessor;

/** What the player, the media view and the transport bar need from the application.

    The application installs its own host (ApplicationPlayerHost) with a Scope for its run; a test installs
    its own, so the media engine can run without the application object and without a sound card. Everything
    here is called on the message thread.
*/
class PlayerHost
{
public:
    virtual ~PlayerHost() = default;

    /** The application's processor; null before start-up. */
    virtual TavAudioProcessor* getProcessor() = 0;

    /** The application's audio-format manager (WAV first); null before start-up. */
    virtual juce::AudioFormatManager* getFormatManager() = 0;

    /** The device manager the player's sound goes to; null for none. */
    virtual juce::AudioDeviceManager* getDeviceManager() = 0;

    /** How a new player plays: through the device manager (a real-time clock without a device), or driven
        by hand (tests).
    */
    virtual tavlin::media::MediaPlayer::Output getPlayerOutput() { return tavlin::media::MediaPlayer::Output::device; }

    /** The folder for the media engine's temporary files. */
    virtual juce::File getTemporaryFolder() = 0;

    virtual bool isLooping() = 0;

    /** False while the progress display is shown. */
    virtual bool isIdle() = 0;

    virtual void showProgress (const juce::String& text) = 0;
    virtual void setProgress (double value) = 0;
    virtual void hideProgress() = 0;

    /** A warning box with an "OK" button. */
    virtual void showWarning (const juce::String& title, const juce::String& message) = 0;

    /** A question box with "OK" and "Cancel"; true for "OK". */
    virtual bool askOkCancel (const juce::String& title, const juce::String& message);

    /** Whether newly opened media is analysed for a noise-only stretch (the preference). */
    virtual bool isAnalyzeEnabled() { return false; }

    /** Hands the extracted sound of newly opened media to the document's analysis. */
    virtual void analyzeAudioFile (const juce::File& file) = 0;

    /** Opened media could not be made ready: its playback set-up failed (it cannot play, and is to be
        closed), or only the extraction of its sound for the waveform and the analysis failed (playable).
    */
    virtual void mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable) = 0;

    /** Whether the media document counts as changed since it was loaded or saved. */
    virtual bool isDocumentChanged() = 0;
    virtual void setDocumentChanged (bool changed) = 0;

    /** The media document's close gate; ok when the media may go. */
    virtual juce::Result closeMediaDocument() = 0;
    virtual juce::Result openMediaFile (const juce::File& file, bool showErrors) = 0;

    /** Learns the noise profile from the processor's learn region. */
    virtual void analyzeSelection() = 0;

    /** The host in use: the one a Scope installed last, else one that answers as if no application ran. */
    static PlayerHost& get();

    /** Installs a host for its lifetime (tests). */
    class Scope
    {
    public:
        explicit Scope (PlayerHost& host);
        ~Scope();

    private:
        PlayerHost* previous;

        JUCE_DECLARE_NON_COPYABLE (Scope)
    };
};
