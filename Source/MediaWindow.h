#pragma once

#include "TavDocumentWindow.h"

#include <juce_audio_devices/juce_audio_devices.h>

class MediaControlsComponent;
class MediaSession;
class TavAudioProcessor;
class TavPreferences;

/** The media window under the processing window: the player, or the recorder, with the menu bar. Its title
    follows the mode: the media file's name, "Media Player" or "Recorder". Closing it closes the media
    (through the close gate; during a long operation once that has ended) and leaves the window open.

    The first time media plays without a sound output device, a line across the top of the window says so
    and where to choose one; playback goes on, silent. The line goes when clicked, when a device opens, or
    after noticeSeconds.
*/
class MediaWindow : public TavDocumentWindow,
                    private juce::ActionListener,
                    private juce::ChangeListener,
                    private juce::Timer
{
public:
    static inline const juce::String noSoundDeviceText {
        "No sound output device: the media plays silently. To choose a device, open Media > Media Recorder and "
        "click Settings..."
    };

    /** How long (in seconds) the notice stays unless clicked or a device opens. */
    static constexpr int noticeSeconds = 20;

    /** The player plays session through processor; the recorder records from deviceManager. A stopped
        recording opens in the player through host.
    */
    MediaWindow (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences, MediaSession& session,
                 TavAudioProcessor& processor, juce::ApplicationCommandManager& commandManager, WindowHost& host);
    ~MediaWindow() override;

    void closeButtonPressed() override;
    void resized() override;

    /** True when the device manager has a device with an active output channel. */
    bool hasSoundOutput() const;

    /** The notice line; visible while it tells. */
    juce::Label& getSoundNotice() noexcept { return soundNotice; }

    /** Shows the player or the recorder; the title is title for the player with useGivenTitle set. */
    void setMode (bool playerMode, bool useGivenTitle, const juce::String& title);

    MediaControlsComponent& getControls() noexcept { return *controls; }

private:
    /** "time" from the media view: playback started or goes on. */
    void actionListenerCallback (const juce::String& message) override;

    /** The device manager changed: a device that opens ends the notice. */
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    void timerCallback() override;
    void hideSoundNotice();

    juce::AudioDeviceManager& devices;
    MediaControlsComponent* controls = nullptr; // the owned content

    struct NoticeLabel : juce::Label
    {
        std::function<void()> onClick;
        void mouseUp (const juce::MouseEvent&) override
        {
            if (onClick != nullptr)
                onClick();
        }
    };

    NoticeLabel soundNotice;
    bool soundNoticeGiven = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MediaWindow)
};
