#include "MeterComponent.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr juce::int64 peakHoldMs = 1000;
constexpr float silenceLevel = 0.0001f;

const juce::Colour scaleColour (0xffb0b0b0);

juce::ColourGradient barGradient (float width)
{
    juce::ColourGradient gradient (juce::Colour (0x401070d0), 0.0f, 0.0f, juce::Colour (0x40f00000), width, 0.0f,
                                   false);
    gradient.addColour (0.6, juce::Colour (0x40504040));
    return gradient;
}
} // namespace

MeterComponent::MeterComponent (MeterData* dataToUse) : data (dataToUse), clock (&juce::Time::currentTimeMillis) {}

MeterComponent::~MeterComponent() = default;

void MeterComponent::setClock (std::function<juce::int64()> clockToUse)
{
    clock =
        clockToUse != nullptr ? std::move (clockToUse) : std::function<juce::int64()> (&juce::Time::currentTimeMillis);
}

float MeterComponent::getSmoothedLevel (int channel)
{
    if (data == nullptr || !juce::isPositiveAndBelow (channel, MeterData::maxChannels))
        return 0.0f;

    const auto c = (size_t) channel;
    const auto a = data->level[c].load (std::memory_order_relaxed);
    auto s = data->smoothed[c];

    if (a > s)
    {
        data->smoothed[c] = a;
        return a;
    }

    s = 0.3f * a + 0.7f * s;
    data->smoothed[c] = s;

    // A NaN, and an infinity that could never fall again, clear the whole record.
    if (!std::isfinite (s))
    {
        for (int i = 0; i < MeterData::maxChannels; ++i)
        {
            data->level[i].store (0.0f, std::memory_order_relaxed);
            data->peak[i] = 0.0f;
            data->holdUntilMs[i] = 0;
            data->smoothed[i] = 0.0f;
        }

        return 0.0f;
    }

    if (s < silenceLevel)
    {
        data->smoothed[c] = 0.0f;
        return 0.0f;
    }

    return s;
}

bool MeterComponent::isAtRest() const
{
    if (data == nullptr)
        return true;

    for (int c = 0; c < MeterData::maxChannels; ++c)
        if (data->level[c].load (std::memory_order_relaxed) != 0.0f || data->smoothed[c] != 0.0f
            || data->peak[c] != 0.0f)
            return false;

    return true;
}

void MeterComponent::paint (juce::Graphics& g)
{
    if (data == nullptr)
        return;

    const auto w = getWidth();
    const auto r = getHeight() / 2;
    const auto rowHeight = r - 1;
    const auto channels = std::clamp ((int) data->channelCount, 0, MeterData::maxChannels);
    const auto gradient = barGradient ((float) w);

    for (int c = 0; c < channels; ++c)
    {
        const auto y0 = r * c;

        g.setColour (juce::Colours::white);
        g.fillRect (0, y0, w, rowHeight);

        if (w >= 2)
        {
            g.setColour (scaleColour);

            for (int x = 1; x < w; x += 3)
                g.drawLine ((float) x, (float) (y0 + 1), (float) x, (float) (y0 + r - 2), 2.0f);
        }

        g.setGradientFill (gradient);

        const auto level = std::min (1.0f, getSmoothedLevel (c));
        g.fillRect (0, y0, (int) ((float) w * level), rowHeight);

        auto& peak = data->peak[(size_t) c];
        auto& holdUntil = data->holdUntilMs[(size_t) c];

        if (level > peak)
        {
            peak = level;
            holdUntil = clock() + peakHoldMs;
        }

        if (clock() > holdUntil)
            peak = 0.0f;

        // At full scale the mark takes the last column instead of falling outside the component.
        const auto markX = std::clamp ((int) ((float) w * peak), 0, std::max (0, w - 1));
        g.fillRect (markX, y0, 1, rowHeight);

        data->level[(size_t) c].store (0.0f, std::memory_order_relaxed);
    }
}
