#pragma once

#include "AudioMix.h"
#include "MediaComposition.h"

#include <functional>

namespace tavlin::media
{

/** What a player plays: a composition and, optionally, an audio mix carrying a tap. */
class MediaPlayerItem
{
public:
    enum class Status
    {
        unknown = 0,
        readyToPlay = 1,
        failed = 2
    };

    explicit MediaPlayerItem (MediaComposition compositionToPlay) : composition (std::move (compositionToPlay)) {}

    const MediaComposition& getAsset() const { return composition; }
    MediaTime getDuration() const { return composition.getDuration(); }

    /** Sets the mix; on an item that is playing, its tap takes over from the current position. */
    void setAudioMix (std::shared_ptr<const AudioMix> mix);
    const std::shared_ptr<const AudioMix>& getAudioMix() const { return audioMix; }

    Status getStatus() const { return status; }
    const juce::String& getError() const { return error; }

    /** The stretch that can be played: all of it once ready. */
    MediaTimeRange getLoadedTimeRange() const
    {
        return status == Status::readyToPlay ? MediaTimeRange { MediaTime::zero(), getDuration() } : MediaTimeRange {};
    }

private:
    friend class MediaPlayer;

    MediaComposition composition;
    std::shared_ptr<const AudioMix> audioMix;
    Status status = Status::unknown;
    std::function<void()> audioMixChanged; // set by the player holding the item
    juce::String error;
};

} // namespace tavlin::media
