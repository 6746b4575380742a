#include "VideoPicture.h"

namespace tavlin::media
{

VideoPicture::Pixels::Pixels (int w, int h)
    : width (juce::jmax (1, w)), height (juce::jmax (1, h)), stride (juce::jmax (1, w) * bytesPerPixel)
{
    data.malloc ((size_t) stride * (size_t) height);
}

VideoPicture::VideoPicture (int width, int height) : pixels (new Pixels (width, height)) {}

} // namespace tavlin::media
