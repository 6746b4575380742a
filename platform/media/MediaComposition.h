#pragma once

#include "MediaAsset.h"

#include <vector>

namespace tavlin::media
{

/**
    Tracks taken from media files and placed on a common timeline: each track plays one stretch of a source
    track from a given time on. The player and the exporter honour the placement.
*/
class MediaComposition
{
public:
    struct Track
    {
        MediaType mediaType = MediaType::audio;
        int trackID = 0;

        /** Empty until a time range is inserted. */
        juce::File sourceFile;
        MediaTrack sourceTrack;
        MediaTimeRange sourceRange;
        MediaTime insertTime = MediaTime::zero();
        int rotationDegrees = 0;

        /** The stretch runs from the source's start, or on to its end: nothing before, or after, is cut. */
        bool fromSourceStart = false;
        bool toSourceEnd = false;

        bool hasSource() const { return sourceTrack.streamIndex >= 0 && sourceFile != juce::File(); }

        /**
            The stretch on the source file's own clock (the streams' timestamps, in seconds): a timestamp t in
            [getClockStart(), getClockEnd()) plays at t + getClockShift() on the composition. The bounds are
            infinite where the stretch reaches the source's start or end.
        */
        double getClockStart() const;
        double getClockEnd() const;
        double getClockShift() const;
    };

    /** A composition holding the first audio and first video track of an asset, each whole, at 0. */
    static MediaComposition fromAsset (const MediaAsset& asset);

    /** Adds an empty track and returns its trackID. */
    int addTrack (MediaType type);

    /** Places [range.start, range.start + range.duration) of a source track at time at; false when unusable. */
    bool insertTimeRange (int trackID, MediaTimeRange range, const MediaAsset& asset, const MediaTrack& sourceTrack,
                          MediaTime at);

    void setPreferredRotation (int trackID, int degrees);

    const std::vector<Track>& getTracks() const { return tracks; }
    const Track* getFirstTrack (MediaType type) const;
    bool hasTracksWithMediaType (MediaType type) const { return getFirstTrack (type) != nullptr; }

    /** The end of the last track on the timeline. */
    MediaTime getDuration() const;

    bool isPlayable() const;
    bool hasProtectedContent() const { return protectedContent; }

private:
    Track* findTrack (int trackID);

    std::vector<Track> tracks;
    bool protectedContent = false;
    bool playable = false;
};

} // namespace tavlin::media
