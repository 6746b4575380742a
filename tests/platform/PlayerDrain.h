#pragma once

#include "media/MediaPlayer.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace tavlin::test
{

/** Takes the player's output until the clock reaches a frame, as a sound card would, keeping only the frames
    the clock passed (the first channel and the second).
*/
inline juce::AudioBuffer<float> drain (media::MediaPlayer& player, int64_t until)
{
    auto& engine = player.getEngine();
    juce::AudioBuffer<float> collected (2, (int) std::max<int64_t> (0, until - engine.getPosition()));
    juce::AudioBuffer<float> block (2, 700);
    int filled = 0;

    for (int attempts = 0; engine.getPosition() < until && attempts < 100000; ++attempts)
    {
        const auto before = engine.getPosition();
        engine.readOutput (block.getArrayOfWritePointers(), 2, block.getNumSamples());
        const int got = (int) std::min<int64_t> (engine.getPosition() - before, collected.getNumSamples() - filled);

        for (int ch = 0; ch < 2; ++ch)
            collected.copyFrom (ch, filled, block, ch, 0, got);

        filled += got;

        if (got == 0)
            juce::Thread::sleep (1);
    }

    collected.setSize (2, filled, true);
    return collected;
}

} // namespace tavlin::test
