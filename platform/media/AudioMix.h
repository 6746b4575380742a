#pragma once

#include "AudioProcessingTap.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace tavlin::media
{

/** Carries taps to a player item or an export session: one set of input parameters per audio track. */
class AudioMix
{
public:
    struct InputParameters
    {
        /** The track (by its trackID in the asset or composition) these parameters apply to. */
        int trackID = 0;
        std::shared_ptr<AudioProcessingTap> audioTapProcessor;

        /** Frames of the track's rate by which the tap delays the sound it hands back, when prepared for a
            player's blocks. A player runs the tap from further ahead of a seek's target and drops what it hands
            back for those frames, so the sound after a seek is what playing through would have given.
        */
        int64_t audioTapLatency = 0;
    };

    void setInputParameters (std::vector<InputParameters> parameters) { inputParameters = std::move (parameters); }
    const std::vector<InputParameters>& getInputParameters() const { return inputParameters; }

    /** The tap for a track, or null. */
    std::shared_ptr<AudioProcessingTap> getTapForTrack (int trackID) const
    {
        for (const auto& p : inputParameters)
            if (p.trackID == trackID)
                return p.audioTapProcessor;

        return nullptr;
    }

    /** The latency of a track's tap, in frames of the track's rate; 0 without a tap. */
    int64_t getTapLatencyForTrack (int trackID) const
    {
        for (const auto& p : inputParameters)
            if (p.trackID == trackID && p.audioTapProcessor != nullptr)
                return std::max<int64_t> (0, p.audioTapLatency);

        return 0;
    }

private:
    std::vector<InputParameters> inputParameters;
};

} // namespace tavlin::media
