#pragma once

#include <cstdint>

/** The stretch to learn the noise profile from, in samples at the processor's sample rate. */
struct LearnRegion
{
    int64_t startSample = 0;
    int64_t lengthSamples = 0;
};
