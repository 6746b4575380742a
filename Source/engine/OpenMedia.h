#pragma once

#include "SessionTap.h"

#include "media/MediaAsset.h"
#include "media/MediaPlayer.h"

#include <memory>

/** The media a session has open, as the player, the extraction, the export and the sharing see it. The
    player changes it; the others read it again after every wait, since the media may go meanwhile.
*/
struct OpenMedia
{
    /** Made anew by each opening; null while no media is open. */
    std::unique_ptr<tavlin::media::MediaPlayer> player;

    /** The opened asset, after any decoding. */
    std::unique_ptr<tavlin::media::MediaAsset> origAsset;

    /** The tap bridge on the playback item's first audio track. */
    std::unique_ptr<SessionTap> tap;

    /** When playback last stopped, or when the current media was set up. */
    juce::Time lastPlayStopTime;

    /** Counts openings and closings: a change means that the media in hand went. */
    uint32_t generation = 0;

    /** Why the media opened last could not be made ready; empty while it is prepared or once it is ready. */
    juce::String preparationError;

    /** The media file last opened by path; the share file is named after it. */
    juce::File currentFile;
};
