#pragma once

#include "PlayerRenderEngine.h"

namespace tavlin::media
{

/** Stands in for a sound card: takes the engine's output in real time and throws it away. While the engine
    is stopped it takes nothing (there is nothing to hear, and no latency to play out) and sleeps.
*/
class NullAudioClock : private juce::Thread
{
public:
    NullAudioClock (PlayerRenderEngine& engineToDrive, double sampleRate);
    ~NullAudioClock() override;

    /** The engine has started: the clock starts afresh at once instead of at its next look. */
    void engineStarted() { notify(); }

private:
    void run() override;

    PlayerRenderEngine& engine;
    double rate;

    JUCE_DECLARE_NON_COPYABLE (NullAudioClock)
};

} // namespace tavlin::media
