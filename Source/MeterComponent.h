#pragma once

#include "MeterData.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The output level meter: one horizontal bar per channel of the processor's meter record.

    Each paint takes the largest output sample since the previous paint, rises to it at once, falls by
    0.3 / 0.7 smoothing per paint, drops to 0 below 0.0001, and keeps a one-pixel peak mark for 1000 ms.
    All running state lives in the record; the meter resets each channel's level after drawing it.
    Message thread only.
*/
class MeterComponent : public juce::Component
{
public:
    /** data may be null; the meter then draws nothing. The record must outlive the meter. */
    explicit MeterComponent (MeterData* data);
    ~MeterComponent() override;

    /** The ballistics of one channel: the level to show now, 0..; updates the record's smoothed value. */
    float getSmoothedLevel (int channel);

    void paint (juce::Graphics& g) override;

    /** True when a paint would draw what the meter shows already: no level since the last paint, the bars
        down and no peak mark held. The meter need not be repainted then.
    */
    bool isAtRest() const;

    /** The clock of the peak hold, in ms (the wall clock unless a test sets another). */
    void setClock (std::function<juce::int64()> clockToUse);

private:
    MeterData* data;
    std::function<juce::int64()> clock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MeterComponent)
};
