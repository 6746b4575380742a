#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::media
{

/**
    Mends the edit list of a track in a finished QuickTime or MPEG-4 file whose movie box comes last.

    The muxer hides an encoder's priming with the edit's media time only when the track starts at 0; a track
    that starts later gets an empty edit and shows its priming. hidePriming() rewrites the track's edits as
    an empty edit up to the first sample after the priming and a media edit that starts there, so the track
    starts where its real sound starts and keeps its length.
*/
struct MovieEditList
{
    /**
        trackIndex counts the file's tracks from 0 in their order; primingSamples is in the track's media
        timescale. True when the edits now hide the priming (also when they already did); false with a text
        when the file cannot be mended.
    */
    static bool hidePriming (const juce::File& file, int trackIndex, int64_t primingSamples, juce::String& error);

    /**
        How long a track is shown: the sum of its edits that show media, in seconds as a fraction (value over
        timescale); false when the file is no movie or the track has no edit list. A track behind an empty
        edit is stated by FFmpeg's demuxer as long as its media plus the empty edit, which this corrects.
    */
    static bool shownDuration (const juce::File& file, int trackIndex, int64_t& value, int64_t& timescale,
                               bool& startsWithEmptyEdit);
};

} // namespace tavlin::media
