#include "ZNumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace vesk
{

std::optional<float> readFiniteFloat (const juce::String& text)
{
    auto* first = text.toRawUTF8();
    auto* last = first + text.getNumBytesAsUTF8();

    while (first != last && (*first == ' ' || *first == '\t' || *first == '\r' || *first == '\n'))
        ++first;

    if (first != last && *first == '+')
    {
        ++first;

        if (first != last && *first == '-')
            return {};
    }

    double value = 0.0;
    const auto result = std::from_chars (first, last, value, std::chars_format::general);

    if (result.ec != std::errc() || !std::isfinite (value) || std::abs (value) > std::numeric_limits<float>::max())
        return {};

    return (float) value;
}

} // namespace vesk
