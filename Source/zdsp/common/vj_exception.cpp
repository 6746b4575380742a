#include "vj_exception.h"

namespace vesk_juce
{

vj_exception::vj_exception (const juce::String& m, const juce::String& f, int l)
    : message (m), file (f), line (l), text ((m + ", at File: " + f + ", Line: " + juce::String (l)).toStdString())
{
}

const char* vj_exception::what() const noexcept
{
    return text.c_str();
}

juce::String sourceNameFromPath (const char* path)
{
    juce::String name (path);

    if (auto source = name.lastIndexOf ("/Source/"); source >= 0)
        name = name.substring (source + 8);
    else if (auto bays = name.lastIndexOf ("/signalbays/"); bays >= 0)
        name = name.substring (bays + 1);

    auto dot = name.lastIndexOfChar ('.');
    return dot > name.lastIndexOfChar ('/') ? name.substring (0, dot) : name;
}

} // namespace vesk_juce
