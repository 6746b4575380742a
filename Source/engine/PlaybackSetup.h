#pragma once

#include "SessionProcessor.h"

#include "media/MediaAsset.h"
#include "media/MediaComposition.h"

/** What the playback set-up makes of an opened asset: the composition in which the picture runs late by the
    processor's delay, so that it meets the processed sound in step, and what it reads of the asset's tracks.
*/
class PlaybackSetup
{
public:
    /** The playback composition of an asset: its sound at 0 and its picture delayed by videoOffset. */
    static tavlin::media::MediaComposition makePlaybackComposition (const tavlin::media::MediaAsset& asset,
                                                                    tavlin::media::MediaTime videoOffset);

    /** The picture's delay for an asset: the latency the processor will have once the player's tap is
        prepared for the asset's sample rate, as an exact sample count.
    */
    static tavlin::media::MediaTime videoOffsetFor (const tavlin::media::MediaAsset& asset,
                                                    const SessionProcessor& processor);

    /** A picture's size in pixels. */
    struct PictureSize
    {
        int width = 0, height = 0;
    };

    /** The size a video track is shown at: upright, so a quarter turn swaps its sides. */
    static PictureSize uprightSizeOf (const tavlin::media::MediaComposition::Track& video);

    /** Channels and sample rate of the asset's first audio track; 1 and 44100 without one. */
    static int assetChannels (const tavlin::media::MediaAsset& asset);
    static double assetSampleRate (const tavlin::media::MediaAsset& asset);
};
