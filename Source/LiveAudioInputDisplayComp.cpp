#include "LiveAudioInputDisplayComp.h"

static_assert ((LiveAudioInputDisplayComp::historySize & (LiveAudioInputDisplayComp::historySize - 1)) == 0,
               "the ring index wraps by masking");

namespace
{
constexpr int ringMask = LiveAudioInputDisplayComp::historySize - 1;
constexpr int repaintIntervalMs = 20;
const juce::Colour barColour (0xff1070d0);
const juce::Colour frameColour (0x801070d0);
} // namespace

LiveAudioInputDisplayComp::LiveAudioInputDisplayComp (bool shouldUseFirstInput) : useFirstInput (shouldUseFirstInput)
{
    clearHistory();
    startTimer (repaintIntervalMs);
}

LiveAudioInputDisplayComp::~LiveAudioInputDisplayComp()
{
    stopTimer();
}

void LiveAudioInputDisplayComp::paint (juce::Graphics& g)
{
    if (!isTimerRunning())
        startTimer (repaintIntervalMs);

    const auto w = getWidth();
    const auto h = getHeight();
    const auto n = juce::jmin (w, historySize);
    const auto mid = (float) h * 0.5f;
    const auto scale = mid - 20.0f;

    juce::RectangleList<float> bars;

    for (int x = n - 1; x >= 0; --x)
    {
        const auto v = getPoint (n - 1 - x) * scale * displayGain;

        if (2.0f * v > 0.0f)
            bars.addWithoutMerging ({ (float) x, mid - v, 1.0f, 2.0f * v });
    }

    g.fillAll (juce::Colours::black);
    g.setColour (barColour);
    g.fillRectList (bars);
    g.setColour (frameColour);
    g.drawRect (getLocalBounds(), 1);
    g.drawLine (0.0f, (float) (h / 2), (float) w, (float) (h / 2));
}

void LiveAudioInputDisplayComp::timerCallback()
{
    // Off the screen the strip rests; its next paint, once it shows again, starts the timer again.
    if (!isShowing())
    {
        stopTimer();
        return;
    }

    // Only a new point moves the picture.
    const auto newest = writeIndex.load (std::memory_order_relaxed);

    if (newest == paintedIndex)
        return;

    paintedIndex = newest;
    repaint();
}

void LiveAudioInputDisplayComp::audioDeviceAboutToStart (juce::AudioIODevice*)
{
    clearHistory();
}

void LiveAudioInputDisplayComp::audioDeviceStopped()
{
    clearHistory();
}

void LiveAudioInputDisplayComp::audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs,
                                                                  float* const* outputs, int numOutputs, int numSamples,
                                                                  const juce::AudioIODeviceCallbackContext&)
{
    // Only a channel the device delivered is read.
    const float* source = nullptr;

    if (useFirstInput && numInputs > 0)
        source = inputs[0];
    else if (!useFirstInput && numInputs >= 2)
        source = inputs[1];

    auto index = writeIndex.load (std::memory_order_relaxed);

    for (int i = 0; i < numSamples; ++i)
    {
        if (source != nullptr)
            accumulator += std::abs (source[i]);

        if (countdown != 0)
        {
            --countdown;
            continue;
        }

        history[(size_t) index].store (accumulator / (float) samplesPerPoint, std::memory_order_relaxed);
        index = (index + 1) & ringMask;
        countdown = samplesPerPoint;
        accumulator = 0.0f;
    }

    writeIndex.store (index, std::memory_order_relaxed);

    for (int c = 0; c < numOutputs; ++c)
        if (outputs[c] != nullptr)
            juce::FloatVectorOperations::clear (outputs[c], numSamples);
}

float LiveAudioInputDisplayComp::getPoint (int pointsBack) const noexcept
{
    const auto index = (getWriteIndex() - 1 - pointsBack) & ringMask;
    return history[(size_t) index].load (std::memory_order_relaxed);
}

void LiveAudioInputDisplayComp::clearHistory() noexcept
{
    for (auto& point : history)
        point.store (0.0f, std::memory_order_relaxed);
}
