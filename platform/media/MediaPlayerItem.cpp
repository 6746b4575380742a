#include "MediaPlayerItem.h"

namespace tavlin::media
{

void MediaPlayerItem::setAudioMix (std::shared_ptr<const AudioMix> mix)
{
    audioMix = std::move (mix);

    if (audioMixChanged != nullptr)
        audioMixChanged();
}

} // namespace tavlin::media
