#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace tavlin::media
{

/**
    What an output has been handed but not yet played: it plays each frame a fixed latency (in frames) after
    it was handed over. Fed once per output block with the block's size and how many of its frames, at its
    start, were sound (the rest was silence). Neither allocates nor blocks.
*/
class OutputLatencyLine
{
public:
    void setLatency (int frames)
    {
        latency = frames > 0 ? frames : 0;
        trim();
    }

    int getLatency() const { return latency; }

    void reset()
    {
        head = count = 0;
        queued = pendingSound = 0;
    }

    void push (int blockFrames, int soundFrames)
    {
        if (blockFrames <= 0)
            return;

        if (count == (int) blocks.size())
        {
            // Full: the two oldest blocks become one (their sound counted at its start).
            auto& oldest = blocks[(size_t) head];
            head = (head + 1) % (int) blocks.size();
            --count;
            auto& next = blocks[(size_t) head];
            next.frames += oldest.frames;
            next.sound += oldest.sound;
        }

        blocks[(size_t) ((head + count) % (int) blocks.size())] = { blockFrames, soundFrames };
        ++count;
        queued += blockFrames;
        pendingSound += soundFrames;
        trim();
    }

    /** Sound frames handed over that the output has not played yet. */
    int64_t getPendingSound() const { return pendingSound; }

private:
    void trim()
    {
        while (queued > latency && count > 0)
        {
            auto& oldest = blocks[(size_t) head];
            const auto played = (int) std::min<int64_t> (queued - latency, oldest.frames);
            const auto playedSound = std::min (played, oldest.sound);
            oldest.frames -= played;
            oldest.sound -= playedSound;
            queued -= played;
            pendingSound -= playedSound;

            if (oldest.frames == 0)
            {
                head = (head + 1) % (int) blocks.size();
                --count;
            }
        }
    }

    struct Block
    {
        int frames = 0, sound = 0;
    };

    std::array<Block, 256> blocks {};
    int head = 0, count = 0, latency = 0;
    int64_t queued = 0, pendingSound = 0;
};

} // namespace tavlin::media
