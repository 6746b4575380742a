#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

class MediaSession;
class MediaViewHost;
class RecorderComponent;
class TavAudioProcessor;
class TavPreferences;
class TransportComponent;

/** The media window's content: the transport bar with the media view (player mode) or the recorder
    panel, one shown at a time over the whole component.
*/
class MediaControlsComponent : public juce::Component
{
public:
    /** The transport bar plays session through processor, asking host for the close gate and the learn
        pass; the recorder tells onRecordingStopped of each recording.
    */
    MediaControlsComponent (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences, MediaSession& session,
                            TavAudioProcessor& processor, MediaViewHost& host,
                            std::function<void (const juce::File& recording)> onRecordingStopped);
    ~MediaControlsComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Shows the transport bar (true) or the recorder; the waiting animation only in player mode without
        media.
    */
    void setMode (bool playerMode);

    std::unique_ptr<RecorderComponent> recorderPanel;
    std::unique_ptr<TransportComponent> transport;
    bool playerMode = false; ///< true while the transport bar is the face shown; false until the first setMode

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MediaControlsComponent)
};
