#pragma once

#include "TavDocumentWindow.h"

#include <juce_audio_devices/juce_audio_devices.h>

class MediaControlsComponent;
class TavPreferences;

/** The media window under the processing window: the player, or the recorder, with the menu bar. Its title
    follows the mode: the media file's name, "Media Player" or "Recorder". Closing it closes the media
    (through the close gate; during a long operation once that has ended) and leaves the window open.
*/
class MediaWindow : public TavDocumentWindow
{
public:
    MediaWindow (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences);
    ~MediaWindow() override;

    void closeButtonPressed() override;

    /** Shows the player or the recorder; the title is title for the player with useGivenTitle set. */
    void setMode (bool playerMode, bool useGivenTitle, const juce::String& title);

    MediaControlsComponent& getControls() noexcept { return *controls; }

private:
    MediaControlsComponent* controls; // the owned content

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MediaWindow)
};
