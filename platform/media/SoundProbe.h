#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::media
{

/** Whether the sound of a file can be decoded: its audio stream has a decoder, the decoder opens, and the
    first packets give samples. Reads only the start of the file, so it answers at once for any length.
*/
class SoundProbe
{
public:
    /** Ok when the stream (-1: the first audio stream) decodes; else fails with a text saying why. */
    static juce::Result check (const juce::File& file, int streamIndex = -1);
};

} // namespace tavlin::media
