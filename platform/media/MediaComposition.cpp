#include "MediaComposition.h"

#include <limits>

namespace tavlin::media
{

MediaComposition MediaComposition::fromAsset (const MediaAsset& asset)
{
    MediaComposition composition;

    for (auto type : { MediaType::video, MediaType::audio })
    {
        if (const auto* track = asset.getFirstTrack (type))
        {
            const int id = composition.addTrack (type);
            composition.insertTimeRange (id, { MediaTime::zero(), asset.getDuration() }, asset, *track,
                                         MediaTime::zero());
            composition.setPreferredRotation (id, track->rotationDegrees);
        }
    }

    return composition;
}

int MediaComposition::addTrack (MediaType type)
{
    Track track;
    track.mediaType = type;
    track.trackID = (int) tracks.size() + 1;
    tracks.push_back (track);
    return track.trackID;
}

MediaComposition::Track* MediaComposition::findTrack (int trackID)
{
    for (auto& t : tracks)
        if (t.trackID == trackID)
            return &t;

    return nullptr;
}

bool MediaComposition::insertTimeRange (int trackID, MediaTimeRange range, const MediaAsset& asset,
                                        const MediaTrack& sourceTrack, MediaTime at)
{
    auto* track = findTrack (trackID);

    if (track == nullptr || track->mediaType != sourceTrack.mediaType || !asset.getResult().wasOk()
        || !range.start.isValid() || !range.duration.isValid() || !at.isValid() || range.start.value < 0
        || at.value < 0)
        return false;

    track->sourceFile = asset.getFile();
    track->sourceTrack = sourceTrack;
    track->sourceRange = range;
    track->insertTime = at;
    track->rotationDegrees = sourceTrack.rotationDegrees;

    // Durations from containers are often estimates; a stretch that covers the asset takes all of it.
    const auto assetEnd = asset.getDuration().seconds();
    track->fromSourceStart = range.start.value == 0;
    track->toSourceEnd = range.start.seconds() + range.duration.seconds() >= assetEnd - 1.0e-6;
    protectedContent = protectedContent || asset.hasProtectedContent();
    playable = playable || asset.isPlayable();
    return true;
}

double MediaComposition::Track::getClockStart() const
{
    return fromSourceStart ? -std::numeric_limits<double>::infinity()
                           : sourceRange.start.seconds() + sourceTrack.clockZero.seconds();
}

double MediaComposition::Track::getClockEnd() const
{
    return toSourceEnd ? std::numeric_limits<double>::infinity()
                       : sourceRange.start.seconds() + sourceRange.duration.seconds() + sourceTrack.clockZero.seconds();
}

double MediaComposition::Track::getClockShift() const
{
    return insertTime.seconds() - sourceRange.start.seconds() - sourceTrack.clockZero.seconds();
}

void MediaComposition::setPreferredRotation (int trackID, int degrees)
{
    if (auto* track = findTrack (trackID))
        track->rotationDegrees = degrees;
}

const MediaComposition::Track* MediaComposition::getFirstTrack (MediaType type) const
{
    for (const auto& t : tracks)
        if (t.mediaType == type && t.hasSource())
            return &t;

    return nullptr;
}

MediaTime MediaComposition::getDuration() const
{
    double end = 0.0;

    for (const auto& t : tracks)
        if (t.hasSource())
        {
            // The track's content ends at its start plus its duration on the asset's timeline.
            const auto sourceEnd = t.sourceTrack.startTime.seconds() + t.sourceTrack.duration.seconds();
            const auto available = sourceEnd - t.sourceRange.start.seconds();
            const auto length = t.toSourceEnd ? available : std::min (t.sourceRange.duration.seconds(), available);
            end = std::max (end, t.insertTime.seconds() + std::max (0.0, length));
        }

    return MediaTime::fromSeconds (end, 48000 * 25);
}

bool MediaComposition::isPlayable() const
{
    return playable && (hasTracksWithMediaType (MediaType::audio) || hasTracksWithMediaType (MediaType::video));
}

} // namespace tavlin::media
