#pragma once

#include <cstdint>

namespace tavlin::media
{

/** The buffers handed to a tap: one non-interleaved float buffer per channel, without allocation. */
struct TapBufferList
{
    static constexpr int maxBuffers = 8;

    struct Buffer
    {
        int numberChannels = 1;
        uint32_t dataByteSize = 0;
        float* data = nullptr;
    };

    int numberBuffers = 0;
    Buffer buffers[maxBuffers];

    /** Points the list at planar channels of numFrames samples each. */
    void set (float* const* channels, int numChannels, int64_t numFrames)
    {
        numberBuffers = numChannels < maxBuffers ? numChannels : maxBuffers;

        for (int i = 0; i < numberBuffers; ++i)
            buffers[i] = { 1, (uint32_t) (numFrames * (int64_t) sizeof (float)), channels[i] };
    }
};

} // namespace tavlin::media
