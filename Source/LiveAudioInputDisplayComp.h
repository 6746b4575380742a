#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <atomic>

/** A level strip: the recent history of one input channel of the audio device, newest at the right.

    Every 101 input samples become one point, their summed magnitude divided by 100, in a ring of
    historySize points. Only the audio thread writes the ring; painting reads it without a lock, so a picture
    may lag a block behind.
*/
class LiveAudioInputDisplayComp : public juce::Component, public juce::AudioIODeviceCallback, public juce::Timer
{
public:
    static constexpr int historySize = 8192;
    static constexpr int samplesPerPoint = 100; // plus the one that closes the point
    static constexpr float displayGain = 2.0f;

    /** Shows input channel 1 when useFirstInput is true, else input channel 2. */
    explicit LiveAudioInputDisplayComp (bool useFirstInput);
    ~LiveAudioInputDisplayComp() override;

    void paint (juce::Graphics&) override;
    void timerCallback() override;

    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;
    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs,
                                           int numOutputs, int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;

    /** The point pointsBack places before the newest (0 is the newest), 0 <= pointsBack < historySize. */
    float getPoint (int pointsBack) const noexcept;

    /** The ring position the next point goes to, always 0..historySize - 1. */
    int getWriteIndex() const noexcept { return writeIndex.load (std::memory_order_relaxed); }

private:
    void clearHistory() noexcept;

    std::array<std::atomic<float>, historySize> history;
    std::atomic<int> writeIndex { 0 };
    int paintedIndex = -1; // message thread: the ring position the last repaint showed
    int countdown = 0; // audio thread only
    float accumulator = 0.0f; // audio thread only
    const bool useFirstInput;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LiveAudioInputDisplayComp)
};
