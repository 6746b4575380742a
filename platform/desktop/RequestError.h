#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::desktop
{

/** Why a request or the reading of its answer failed: an error domain, a code within it and a text for people. */
struct RequestError
{
    juce::String domain;
    int code = 0;
    juce::String description;

    bool operator== (const RequestError& other) const
    {
        return domain == other.domain && code == other.code && description == other.description;
    }

    bool operator!= (const RequestError& other) const { return !operator== (other); }
};

} // namespace tavlin::desktop
