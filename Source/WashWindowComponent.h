#pragma once

#include "SpectrumColumnSink.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>
#include <memory>

namespace vesk
{
class ZBuffer;
}

class TavAudioProcessor;

/** The wash window: a circular scrolling spectrogram of the noise-reduction bay, 196 x 196 pixels.

    After every chain block the processor calls pushSpectrumColumn() on its rendering thread, which copies
    the bay's display spectrum and noise profile into the column of a 196-column ring that writeColumn
    names. A timer renders the ring (newest column at the left edge) and moves on to the next column, when a
    column has arrived since its last render and the window is on the screen; once no column has come for a
    while the timer stops, and the next column starts it again, so an idle window costs nothing. The
    right half shows the history as the current noise-reduction mode treats it: dimmed below the profile
    when on, only what lies below the profile in noise-only mode, unchanged when off. A half-transparent
    white line divides the halves, a caption can be written over the picture, and a mask child on top
    makes the window round.

    Rows 0 to 97 show bins 0 to 97; rows 98 to 195 show bins 97 + k * s for k = 1..98, with
    s = trunc ((n - 98) / 98) for buffers of n values (bins 101, 105, ..., 489 for the bay's 513).
*/
class WashWindowComponent : public juce::Component,
                            public juce::Timer,
                            public juce::SettableTooltipClient,
                            public SpectrumColumnSink,
                            private juce::AsyncUpdater
{
public:
    static constexpr int size = 196;
    static constexpr int halfRows = 98;
    static constexpr float floorDb = -96.0f;

    /** Timer ticks without a new column after which the timer stops until the next column. */
    static constexpr int idleTicksBeforeRest = 5;

    /** Registers with the processor (when there is one) and starts rendering every 300 ms. */
    explicit WashWindowComponent (TavAudioProcessor* processor);

    /** Unregisters from the processor first, so that no column step runs into a dying window. */
    ~WashWindowComponent() override;

    /** Takes the bay's reduction, mode and display buffers and registers as the processor's column
        step; the render period becomes 100 ms for host blocks under 8192 samples, else 300 ms.
    */
    void attachToProcessor (juce::int64 blockSize);

    /** The column step (rendering thread): copies both display buffers into the current column. Takes no
        lock and allocates nothing; display buffers shorter than 196 values are ignored. The first column after
        the timer has stopped posts one message that starts it again.
    */
    void pushSpectrumColumn() override;

    /** Draws the ring into the image and advances writeColumn, at most once per render period. */
    void renderImage();

    /** The caption drawn over the picture from the next repaint on. */
    void setDisplayText (const juce::String& text);

    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    /** True while the timer has stopped for want of new columns. */
    bool isResting() const noexcept { return resting.load(); }

    //==============================================================================
    const juce::Image& getImage() const noexcept { return image; }
    const juce::String& getDisplayText() const noexcept { return caption; }
    int getWriteColumn() const noexcept { return writeColumn.load (std::memory_order_relaxed); }
    juce::int64 getRenderIntervalMs() const noexcept { return renderIntervalMs; }
    /** The ring's value in dB at a column and row, and the profile's at a row. */
    float getHistoryValue (int column, int row) const;
    float getProfileValue (int row) const;

    /** The clock of the render throttle, in ms (the wall clock unless a test sets another). */
    void setClock (std::function<juce::int64()> clockToUse);

private:
    void handleAsyncUpdate() override;

    TavAudioProcessor* processor;
    juce::Image image;
    std::unique_ptr<juce::ImageComponent> overlay;
    // Written by the column step and read by the render at the same time; relaxed atomics keep that
    // defined while a drawn column may still mix two blocks.
    std::unique_ptr<std::atomic<float>[]> history;
    std::unique_ptr<std::atomic<float>[]> profileColumn;
    std::atomic<int32_t> writeColumn { 0 };
    float reductionDb = 0.0f;
    int32_t mode = 0;
    std::atomic<vesk::ZBuffer*> spectrum { nullptr };
    std::atomic<vesk::ZBuffer*> noiseProfile { nullptr };
    juce::int64 renderIntervalMs = 300;
    juce::String caption;
    juce::ColourGradient gradient;
    juce::int64 lastRenderMs = 0;
    std::function<juce::int64()> clock;
    std::atomic<bool> columnArrived { false }; // set by the column step, taken by the timer
    std::atomic<bool> resting { false }; // the timer has stopped; the next column starts it
    bool renderPending = true; // the picture is older than the settings it shows
    int idleTicks = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WashWindowComponent)
};
