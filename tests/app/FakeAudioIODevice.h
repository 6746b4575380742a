#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <vector>

/** An audio device without hardware: the test drives its callback block by block. Like a real device it
    tells its callback that it stops when it is closed or destroyed, so the callback has to outlive it.
*/
class FakeAudioIODevice : public juce::AudioIODevice
{
public:
    FakeAudioIODevice (const juce::String& name, int numInputs, juce::Array<double> rates)
        : juce::AudioIODevice (name, "Test"), inputs (numInputs), sampleRates (std::move (rates))
    {
    }

    ~FakeAudioIODevice() override { close(); }

    juce::StringArray getOutputChannelNames() override { return { "Out 1", "Out 2" }; }

    juce::StringArray getInputChannelNames() override
    {
        juce::StringArray names;
        for (int i = 0; i < inputs; ++i)
            names.add ("In " + juce::String (i + 1));
        return names;
    }

    juce::Array<double> getAvailableSampleRates() override { return sampleRates; }
    juce::Array<int> getAvailableBufferSizes() override { return { 512 }; }
    int getDefaultBufferSize() override { return 512; }

    juce::String open (const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels, double rate,
                       int bufferSize) override
    {
        activeInputs = inputChannels;
        activeInputs.setRange (inputs, 64, false);
        activeOutputs = outputChannels;
        activeOutputs.setRange (2, 64, false);
        currentRate = rate > 0.0 ? rate : sampleRates[0];
        currentBufferSize = bufferSize > 0 ? bufferSize : 512;
        opened = true;
        return {};
    }

    void close() override
    {
        stop();
        opened = false;
    }

    bool isOpen() override { return opened; }

    void start (juce::AudioIODeviceCallback* newCallback) override
    {
        if (newCallback == nullptr || callback != nullptr)
            return;

        newCallback->audioDeviceAboutToStart (this);
        callback = newCallback;
    }

    void stop() override
    {
        if (auto* previous = std::exchange (callback, nullptr))
            previous->audioDeviceStopped();
    }

    bool isPlaying() override { return callback != nullptr; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return currentBufferSize; }
    double getCurrentSampleRate() override { return currentRate; }
    int getCurrentBitDepth() override { return 24; }
    juce::BigInteger getActiveOutputChannels() const override { return activeOutputs; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputs; }
    int getOutputLatencyInSamples() override { return outputLatency; }
    int getInputLatencyInSamples() override { return 0; }

    /** Runs numSamples samples from offset of the given input channels (one per open input) through the
        callback; returns the outputs it wrote.
    */
    std::vector<std::vector<float>> process (const std::vector<std::vector<float>>& input, int offset, int numSamples)
    {
        std::vector<const float*> in;
        in.reserve (input.size());
        for (const auto& channel : input)
            in.push_back (channel.data() + offset);

        std::vector<std::vector<float>> out ((size_t) activeOutputs.countNumberOfSetBits(),
                                             std::vector<float> ((size_t) numSamples, 0.25f));
        std::vector<float*> outPointers;
        outPointers.reserve (out.size());
        for (auto& channel : out)
            outPointers.push_back (channel.data());

        if (callback != nullptr)
            callback->audioDeviceIOCallbackWithContext (in.data(), (int) in.size(), outPointers.data(),
                                                        (int) outPointers.size(), numSamples, {});
        return out;
    }

    /** What the device reports as its output latency, in samples. */
    int outputLatency = 0;

private:
    int inputs;
    juce::Array<double> sampleRates;
    juce::BigInteger activeInputs, activeOutputs;
    double currentRate = 0.0;
    int currentBufferSize = 512;
    bool opened = false;
    juce::AudioIODeviceCallback* callback = nullptr;
};
