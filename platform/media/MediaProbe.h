#pragma once

#include "MediaTrack.h"

#include <juce_core/juce_core.h>

namespace tavlin::media
{

/** What a media file holds: its tracks in file order, its duration and whether it can be played. */
struct MediaProbe
{
    juce::Result result = juce::Result::fail ("Not probed.");
    juce::Array<MediaTrack> tracks;
    MediaTime duration = MediaTime::zero();
    bool playable = false;
    bool protectedContent = false;

    /** Reads a file's headers. Never throws; a file that cannot be read gives a failed result with a text. */
    static MediaProbe probe (const juce::File& file);
};

} // namespace tavlin::media
