#pragma once

#include "MediaTime.h"

#include <juce_core/juce_core.h>

namespace tavlin::media
{

/** What kind of media a track carries. */
enum class MediaType
{
    audio,
    video
};

/** One audio or video track of a media file, as probed. */
struct MediaTrack
{
    MediaType mediaType = MediaType::audio;

    /** The stream's index inside its file. */
    int streamIndex = -1;

    /** The track's number in the file's track order, from 1. */
    int trackID = 0;

    juce::String codecName;
    MediaTime duration = MediaTime::zero();

    /** When the track's first sample or frame is presented on its asset's timeline (after edit lists and
        encoder priming), in seconds from the asset's start.
    */
    MediaTime startTime = MediaTime::zero();

    /** The reading of the file's own clock (the streams' timestamps, in seconds) at the asset's time 0: the
        earliest start of the asset's tracks. A timestamp t of this track lies at t - clockZero on the asset.
    */
    MediaTime clockZero = MediaTime::zero();

    // Audio
    int channels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;

    // Video
    int naturalWidth = 0;
    int naturalHeight = 0;

    /** Clockwise rotation in degrees (0, 90, 180, 270) that the picture is meant to be shown with. */
    int rotationDegrees = 0;
    double frameRate = 0.0;

    bool isAudio() const { return mediaType == MediaType::audio; }
    bool isVideo() const { return mediaType == MediaType::video; }
};

} // namespace tavlin::media
