#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::desktop
{

/** The current date and time. */
class Clock
{
public:
    virtual ~Clock() = default;
    virtual juce::Time now() const = 0;
};

} // namespace tavlin::desktop
