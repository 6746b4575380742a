#include "MediaPlayerItem.h"

#include "MediaPlayer.h"

namespace tavlin::media
{

void MediaPlayerItem::setAudioMix (std::shared_ptr<const AudioMix> mix)
{
    audioMix = std::move (mix);

    if (player != nullptr)
        player->itemAudioMixChanged();
}

} // namespace tavlin::media
