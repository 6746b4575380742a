#pragma once

#include "Clock.h"

namespace tavlin::desktop
{

/** The system's wall clock. */
class SystemClock : public Clock
{
public:
    juce::Time now() const override { return juce::Time::getCurrentTime(); }
};

} // namespace tavlin::desktop
