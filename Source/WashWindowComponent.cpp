#include "WashWindowComponent.h"

#include "FontFallback.h"
#include "TavAudioProcessor.h"
#include "TavlinResources.h"

#include "ZBuffer.h"
#include "ZNoiseReductionBay.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr int cells = WashWindowComponent::size * WashWindowComponent::size;
constexpr float initialProfileDb = -48.0f;

/** Copies one display buffer into 196 rows: bins 0 to 97, then every s-th bin from 97 on. */
template <typename Store>
void copyRows (const vesk::ZBuffer& buffer, Store&& store)
{
    const auto* values = buffer.getData();
    const auto n = buffer.getLength();
    constexpr int half = WashWindowComponent::halfRows;

    for (int j = 0; j < half; ++j)
        store (j, values[j]);

    const auto step = (n - half) / half;

    for (int k = 1; k <= half && (half - 1) + k * step < n; ++k)
        store ((half - 1) + k, values[(half - 1) + k * step]);
}

bool isUsable (const vesk::ZBuffer* buffer)
{
    return buffer != nullptr && buffer->getData() != nullptr && buffer->getLength() >= WashWindowComponent::size;
}
} // namespace

WashWindowComponent::WashWindowComponent (TavAudioProcessor* processorToUse)
    : processor (processorToUse), clock (&juce::Time::currentTimeMillis)
{
    image = juce::Image (juce::Image::ARGB, size, size, true);
    history = std::make_unique<std::atomic<float>[]> ((size_t) cells);
    profileColumn = std::make_unique<std::atomic<float>[]> ((size_t) size);

    gradient =
        juce::ColourGradient (juce::Colour (0xff000000), 0.0f, 0.0f, juce::Colour (0xffffff00), 1.0f, 0.0f, false);
    gradient.addColour (0.25, juce::Colour (0xffff4500));

    setSize (size, size);

    attachToProcessor (4096);
    renderIntervalMs = 300;
    startTimer ((int) renderIntervalMs);

    caption = juce::String();

    overlay = std::make_unique<juce::ImageComponent> (juce::String());
    overlay->setBounds (0, 0, size, size);
    overlay->setInterceptsMouseClicks (false, true);
    overlay->setImage (
        juce::ImageFileFormat::loadFrom (TavlinResources::wash_mask_png, (size_t) TavlinResources::wash_mask_pngSize));
    addAndMakeVisible (*overlay);
}

WashWindowComponent::~WashWindowComponent()
{
    // Returns only once no column step of this window is running any more.
    if (processor != nullptr)
        processor->setWashWindow (nullptr);

    stopTimer();
    cancelPendingUpdate();
}

void WashWindowComponent::setClock (std::function<juce::int64()> clockToUse)
{
    clock =
        clockToUse != nullptr ? std::move (clockToUse) : std::function<juce::int64()> (&juce::Time::currentTimeMillis);
}

void WashWindowComponent::attachToProcessor (juce::int64 blockSize)
{
    if (processor == nullptr)
        return;

    auto& bay = processor->getNoiseReductionBay();

    if (reductionDb != bay.getReduction() || mode != bay.getMode())
        renderPending = true;

    reductionDb = bay.getReduction();
    mode = bay.getMode();

    spectrum.store (bay.getSpectrumBuffer(), std::memory_order_relaxed);
    noiseProfile.store (bay.getNoiseProfileBuffer(), std::memory_order_relaxed);
    processor->setWashWindow (this);

    stopTimer();
    renderIntervalMs = blockSize < 8192 ? 100 : 300;
    idleTicks = 0;
    resting = false;
    startTimer ((int) renderIntervalMs);
}

void WashWindowComponent::pushSpectrumColumn()
{
    const auto* profile = noiseProfile.load (std::memory_order_relaxed);
    const auto* values = spectrum.load (std::memory_order_relaxed);

    if (!isUsable (profile) || !isUsable (values))
        return;

    const auto column = juce::jlimit (0, size - 1, (int) writeColumn.load (std::memory_order_relaxed));
    auto* ring = history.get() + column * size;
    auto* rows = profileColumn.get();

    copyRows (*profile, [rows] (int j, float v) { rows[j].store (std::max (v, floorDb), std::memory_order_relaxed); });
    copyRows (*values, [ring] (int j, float v) { ring[j].store (v, std::memory_order_relaxed); });

    columnArrived.store (true);

    if (resting.exchange (false))
        triggerAsyncUpdate();
}

void WashWindowComponent::handleAsyncUpdate()
{
    idleTicks = 0;

    if (!isTimerRunning())
        startTimer ((int) renderIntervalMs);
}

void WashWindowComponent::renderImage()
{
    const auto now = clock();

    if (now - lastRenderMs < renderIntervalMs)
        return;

    lastRenderMs = now;

    const auto f = (float) (1.0 + (double) reductionDb / -30.0);
    const auto newest = (int) writeColumn.load (std::memory_order_relaxed);
    writeColumn.store ((newest + 1) % size, std::memory_order_relaxed);

    const auto divider = juce::Colours::white.withAlpha ((juce::uint8) 128);
    juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

    for (int x = 0; x < size; ++x)
    {
        const auto column = ((newest - x) % size + size) % size;
        const auto* ring = history.get() + column * size;

        for (int j = 0; j < size; ++j)
        {
            auto o = ring[j].load (std::memory_order_relaxed);
            o = std::isnan (o) ? floorDb : juce::jlimit (floorDb, 0.0f, o);
            const auto t = profileColumn[(size_t) j].load (std::memory_order_relaxed);

            auto colour = gradient.getColourAtPosition ((double) ((o + 96.0f) / 96.0f)).withAlpha ((juce::uint8) 255);

            if (x >= halfRows)
            {
                if (mode == 1)
                {
                    if (t > o && j >= 1)
                    {
                        const auto w = (o + 96.0f) / (t + 96.0f);
                        const auto a = w * f;
                        colour = colour.withAlpha (a * a);
                    }
                }
                else if (mode == 2)
                {
                    colour = colour.withAlpha (t > o ? 1.0f : 0.0f);
                }
            }

            pixels.setPixelColour (x, size - 1 - j, x == halfRows ? divider : colour);
        }
    }
}

void WashWindowComponent::setDisplayText (const juce::String& text)
{
    caption = text;
}

void WashWindowComponent::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black);
    g.fillRect (1, 1, size - 2, size - 2);

    g.drawImage (image, 1, 1, size - 2, size - 2, 1, 1, size - 2, size - 2);

    g.setColour (juce::Colours::white.withAlpha (0.6f));
    g.setFont (FontFallback::make ("Trebuchet MS", 22.0f, juce::Font::bold));
    g.drawText (caption, 0, 82, 200, 32, juce::Justification::centredTop, true);
}

void WashWindowComponent::resized()
{
    for (int i = 0; i < cells; ++i)
        history[(size_t) i].store (floorDb, std::memory_order_relaxed);

    for (int j = 0; j < size; ++j)
        profileColumn[(size_t) j].store (initialProfileDb, std::memory_order_relaxed);
}

void WashWindowComponent::timerCallback()
{
    // Only new sound moves the picture; off the screen it waits, and the columns keep arriving in place.
    if (isShowing() && (renderPending || columnArrived.exchange (false)))
    {
        renderPending = false;
        idleTicks = 0;
        renderImage();
        repaint();
        return;
    }

    if (++idleTicks < idleTicksBeforeRest || columnArrived.load())
        return;

    resting = true;
    stopTimer();

    // A column that came in meanwhile found the timer still running: start again at once.
    if (columnArrived.load() && resting.exchange (false))
        startTimer ((int) renderIntervalMs);
}

float WashWindowComponent::getHistoryValue (int column, int row) const
{
    if (!juce::isPositiveAndBelow (column, size) || !juce::isPositiveAndBelow (row, size))
        return 0.0f;

    return history[(size_t) (column * size + row)].load (std::memory_order_relaxed);
}

float WashWindowComponent::getProfileValue (int row) const
{
    return juce::isPositiveAndBelow (row, size) ? profileColumn[(size_t) row].load (std::memory_order_relaxed) : 0.0f;
}
