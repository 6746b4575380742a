#include "FontFallback.h"

namespace
{
struct StandIns
{
    const char* family;
    const char* candidates[3];
};

const StandIns standIns[] = {
    { "Trebuchet MS", { "PT Sans", "DejaVu Sans", nullptr } },
    { "Myriad Pro", { "PT Sans", "DejaVu Sans", nullptr } },
    { "Arial", { "Liberation Sans", "Arimo", "DejaVu Sans" } },
};

const juce::StringArray& installedFamilies()
{
    static const juce::StringArray names = juce::Font::findAllTypefaceNames();
    return names;
}
} // namespace

juce::String FontFallback::resolve (const juce::String& family)
{
    auto& installed = installedFamilies();

    if (installed.contains (family, true))
        return family;

    for (auto& entry : standIns)
        if (family.equalsIgnoreCase (entry.family))
            for (auto* candidate : entry.candidates)
                if (candidate != nullptr && installed.contains (candidate, true))
                    return candidate;

    if (installed.contains ("DejaVu Sans", true))
        return "DejaVu Sans";

    return family;
}

juce::Font FontFallback::make (const juce::String& family, float height, int styleFlags)
{
    return juce::Font (resolve (family), height, styleFlags);
}
