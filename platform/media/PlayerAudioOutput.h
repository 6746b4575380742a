#pragma once

#include "PlayerRenderEngine.h"

#include <juce_audio_devices/juce_audio_devices.h>

namespace tavlin::media
{

/** The device callback that plays the engine's sound on an AudioDeviceManager's output. */
class PlayerAudioOutput : public juce::AudioIODeviceCallback
{
public:
    explicit PlayerAudioOutput (PlayerRenderEngine& engineToPlay) : engine (engineToPlay) {}

    void audioDeviceIOCallbackWithContext (const float* const*, int, float* const* outputChannelData,
                                           int numOutputChannels, int numSamples,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        engine.readOutput (outputChannelData, numOutputChannels, numSamples);
    }

    void audioDeviceAboutToStart (juce::AudioIODevice* device) override
    {
        if (device != nullptr)
            engine.setOutputFormat (device->getCurrentSampleRate(),
                                    juce::jmax (1, device->getActiveOutputChannels().countNumberOfSetBits()));
    }

    void audioDeviceStopped() override {}

private:
    PlayerRenderEngine& engine;

    JUCE_DECLARE_NON_COPYABLE (PlayerAudioOutput)
};

} // namespace tavlin::media
