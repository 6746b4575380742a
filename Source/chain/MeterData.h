#pragma once

#include <atomic>
#include <cstdint>

/** The output meter's record.

    The processor writes only level[c], the largest absolute output sample of channel c since the meter
    last drew it, on the audio thread; the meter reads it and resets it to 0 on the message thread. The
    meter alone uses peak, holdUntilMs and smoothed.
*/
struct MeterData
{
    static constexpr int maxChannels = 4;

    std::atomic<float> level[maxChannels] {};
    float peak[maxChannels] {};
    int64_t holdUntilMs[maxChannels] {};
    float smoothed[maxChannels] {};
    int32_t channelCount = 2;
};
