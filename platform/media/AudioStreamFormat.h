#pragma once

#include <cstdint>

namespace tavlin::media
{

/** The layout of the samples a tap is prepared for. */
struct AudioStreamFormat
{
    static constexpr uint32_t linearPCM = 0x6c70636d; // 'lpcm'

    static constexpr uint32_t flagIsFloat = 1u << 0;
    static constexpr uint32_t flagIsBigEndian = 1u << 1;
    static constexpr uint32_t flagIsSignedInteger = 1u << 2;
    static constexpr uint32_t flagIsPacked = 1u << 3;
    static constexpr uint32_t flagIsNonInterleaved = 1u << 5;

    double sampleRate = 0.0;
    uint32_t formatID = linearPCM;
    uint32_t formatFlags = 0;
    int channelsPerFrame = 0;
    int bitsPerChannel = 0;

    /** 32-bit float, one buffer per channel: what the player and the exporter hand to a tap. */
    static AudioStreamFormat planarFloat (double rate, int channels)
    {
        return { rate, linearPCM, flagIsFloat | flagIsPacked | flagIsNonInterleaved, channels, 32 };
    }
};

} // namespace tavlin::media
