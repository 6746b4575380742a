#pragma once

#include "PlayerRenderEngine.h"

namespace tavlin::media
{

/** Stands in for a sound card: takes the engine's output in real time and throws it away. */
class NullAudioClock : private juce::Thread
{
public:
    NullAudioClock (PlayerRenderEngine& engineToDrive, double sampleRate);
    ~NullAudioClock() override;

private:
    void run() override;

    PlayerRenderEngine& engine;
    double rate;

    JUCE_DECLARE_NON_COPYABLE (NullAudioClock)
};

} // namespace tavlin::media
