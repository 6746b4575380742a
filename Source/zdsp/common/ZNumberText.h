#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace vesk
{

/** The decimal number at the start of text, as a float, when there is one that a float can hold.

    Leading white space and a plus sign are skipped and whatever follows the number is ignored, as the
    framework reads numbers. Text without a number, "nan", "inf" and numbers beyond the float range
    (1E9999999999 or 1e300) give no value; the range is checked before any conversion.
*/
std::optional<float> readFiniteFloat (const juce::String& text);

} // namespace vesk
