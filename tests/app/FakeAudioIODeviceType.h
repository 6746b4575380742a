#pragma once

#include "FakeAudioIODevice.h"

/** A device type with two inputs without hardware: "Test Mic" (one channel, 44100 or 48000 Hz) and "Test
    Line" (two channels, 48000 or 96000 Hz). Added to a device manager before it is initialised, it is the
    only type the manager knows.
*/
class FakeAudioIODeviceType : public juce::AudioIODeviceType
{
public:
    FakeAudioIODeviceType() : juce::AudioIODeviceType ("Test") {}

    void scanForDevices() override {}

    juce::StringArray getDeviceNames (bool wantInputNames) const override
    {
        return wantInputNames ? juce::StringArray { "Test Mic", "Test Line" } : juce::StringArray { "Test Output" };
    }

    int getDefaultDeviceIndex (bool) const override { return 0; }

    int getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const override
    {
        return device != nullptr ? getDeviceNames (asInput).indexOf (device->getName()) : -1;
    }

    bool hasSeparateInputsAndOutputs() const override { return true; }

    juce::AudioIODevice* createDevice (const juce::String& outputName, const juce::String& inputName) override
    {
        if (inputName == "Test Line")
            return new FakeAudioIODevice (inputName, 2, { 48000.0, 96000.0 });

        if (inputName == "Test Mic")
            return new FakeAudioIODevice (inputName, 1, { 44100.0, 48000.0 });

        return outputName.isNotEmpty() ? new FakeAudioIODevice (outputName, 0, { 44100.0, 48000.0 }) : nullptr;
    }
};
