#pragma once

#include "AudioProcessingTap.h"

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

private:
    std::vector<InputParameters> inputParameters;
};

} // namespace tavlin::media
