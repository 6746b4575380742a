#pragma once

#include "PlayerRenderEngine.h"

#include <juce_audio_devices/juce_audio_devices.h>

namespace tavlin::media
{

/**
    The device callback that plays the engine's sound on an AudioDeviceManager's output. It stays on the
    manager for the player's life; while it is not the engine's output it plays silence and leaves the engine
    alone.
*/
class PlayerAudioOutput : public juce::AudioIODeviceCallback
{
public:
    explicit PlayerAudioOutput (PlayerRenderEngine& engineToPlay) : engine (engineToPlay) {}

    /** Makes a running device the engine's output (its rate, channels and latency), or with null, none. */
    void drive (juce::AudioIODevice* device)
    {
        active = false;

        if (device != nullptr)
        {
            takeFormatOf (*device);
            active = true;
        }
    }

    bool isDriving() const { return active.load(); }

    /** Frames between handing a frame to a device and hearing it: its reported latency plus its buffer. */
    static int latencyOf (juce::AudioIODevice& device)
    {
        return juce::jmax (0, device.getOutputLatencyInSamples())
               + juce::jmax (0, device.getCurrentBufferSizeSamples());
    }

    void audioDeviceIOCallbackWithContext (const float* const*, int, float* const* outputChannelData,
                                           int numOutputChannels, int numSamples,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        if (active.load())
        {
            engine.readOutput (outputChannelData, numOutputChannels, numSamples);
            return;
        }

        for (int ch = 0; ch < numOutputChannels; ++ch)
            if (outputChannelData[ch] != nullptr)
                juce::FloatVectorOperations::clear (outputChannelData[ch], numSamples);
    }

    void audioDeviceAboutToStart (juce::AudioIODevice* device) override
    {
        if (device != nullptr && active.load())
            takeFormatOf (*device);
    }

    void audioDeviceStopped() override {}

private:
    void takeFormatOf (juce::AudioIODevice& device)
    {
        engine.setOutputFormat (device.getCurrentSampleRate(),
                                juce::jmax (1, device.getActiveOutputChannels().countNumberOfSetBits()));
        engine.setOutputLatency (latencyOf (device));
    }

    PlayerRenderEngine& engine;
    std::atomic<bool> active { false };

    JUCE_DECLARE_NON_COPYABLE (PlayerAudioOutput)
};

} // namespace tavlin::media
