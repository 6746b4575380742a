#pragma once

#include "media/VideoPicture.h"

#include <juce_graphics/juce_graphics.h>

namespace tavlin::media
{

/** The picture as an ARGB image sharing its pixels (nothing is copied); null for a null picture. The image
    holds the picture for as long as it, or any image sharing its data, lives.
*/
juce::Image toImage (const VideoPicture& picture);

} // namespace tavlin::media
