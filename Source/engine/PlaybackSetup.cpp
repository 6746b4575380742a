#include "PlaybackSetup.h"

#include "media/PlayerRenderEngine.h"

#include <cmath>

using namespace tavlin::media;

MediaComposition PlaybackSetup::makePlaybackComposition (const MediaAsset& asset, MediaTime videoOffset)
{
    MediaComposition composition;
    const auto whole = MediaTimeRange::make (MediaTime::zero(), asset.getDuration());

    if (const auto* video = asset.getFirstTrack (MediaType::video))
    {
        const auto id = composition.addTrack (MediaType::video);
        composition.insertTimeRange (id, whole, asset, *video, videoOffset);
        composition.setPreferredRotation (id, video->rotationDegrees);
    }

    if (const auto* audio = asset.getFirstTrack (MediaType::audio))
    {
        const auto id = composition.addTrack (MediaType::audio);
        composition.insertTimeRange (id, whole, asset, *audio, MediaTime::zero());
    }

    return composition;
}

MediaTime PlaybackSetup::videoOffsetFor (const MediaAsset& asset, const SessionProcessor& processor)
{
    // The tap is prepared for the media's own rate and the render engine's largest block, so the delay is
    // known before anything plays.
    const auto rate = assetSampleRate (asset);
    const auto latency = processor.getLatencyFor (rate, PlayerRenderEngine::maxTapFrames);
    return MediaTime::make (latency, (int32_t) std::lround (rate));
}

PlaybackSetup::PictureSize PlaybackSetup::uprightSizeOf (const MediaComposition::Track& video)
{
    const bool turned = video.rotationDegrees % 180 != 0;
    return { turned ? video.sourceTrack.naturalHeight : video.sourceTrack.naturalWidth,
             turned ? video.sourceTrack.naturalWidth : video.sourceTrack.naturalHeight };
}

int PlaybackSetup::assetChannels (const MediaAsset& asset)
{
    const auto* track = asset.getFirstTrack (MediaType::audio);
    return track != nullptr && track->channels > 0 ? track->channels : 1;
}

double PlaybackSetup::assetSampleRate (const MediaAsset& asset)
{
    const auto* track = asset.getFirstTrack (MediaType::audio);
    return track != nullptr && track->sampleRate > 0.0 ? track->sampleRate : 44100.0;
}
