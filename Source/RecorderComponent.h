#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

class TavPreferences;

/** The recorder face of the media window.

    For now it only shows that it is the recorder; the input choice, the level strips and recording come
    with the recorder itself.
*/
class RecorderComponent : public juce::Component
{
public:
    RecorderComponent (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences);
    ~RecorderComponent() override;

    void paint (juce::Graphics&) override;

private:
    juce::AudioDeviceManager& deviceManager;
    TavPreferences* preferences;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RecorderComponent)
};
