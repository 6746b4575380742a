#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tavlin::media
{

/** A time as a rational number of seconds, value / timescale. A timescale of 0 marks an invalid time. */
struct MediaTime
{
    int64_t value = 0;
    int32_t timescale = 0;

    static MediaTime make (int64_t value, int32_t timescale) { return { value, timescale }; }

    static MediaTime fromSeconds (double seconds, int32_t timescale)
    {
        return { (int64_t) std::llround (seconds * timescale), timescale };
    }

    static MediaTime zero() { return { 0, 1 }; }
    static MediaTime invalid() { return { 0, 0 }; }

    bool isValid() const { return timescale > 0; }

    double seconds() const
    {
        return isValid() ? (double) value / (double) timescale : std::numeric_limits<double>::quiet_NaN();
    }

    /** The time in samples at a sample rate, rounded to the nearest sample (exact for whole-sample times). */
    int64_t toSamples (double sampleRate) const
    {
        if (!isValid())
            return 0;

        if (sampleRate == std::floor (sampleRate) && std::abs (sampleRate) < 1.0e9)
        {
            // Exact integer arithmetic: value * rate / timescale, rounded half away from zero.
            auto numerator = (__int128) value * (int64_t) sampleRate;
            auto half = (__int128) timescale / 2;
            auto rounded = numerator >= 0 ? (numerator + half) / timescale : -((-numerator + half) / timescale);
            return (int64_t) rounded;
        }

        return (int64_t) std::llround (seconds() * sampleRate);
    }

    bool operator== (const MediaTime& other) const
    {
        return (__int128) value * other.timescale == (__int128) other.value * timescale && isValid() == other.isValid();
    }

    bool operator!= (const MediaTime& other) const { return !(*this == other); }
};

/** A stretch of time from a start, lasting a duration. */
struct MediaTimeRange
{
    MediaTime start = MediaTime::zero();
    MediaTime duration = MediaTime::zero();

    static MediaTimeRange make (MediaTime start, MediaTime duration) { return { start, duration }; }
};

} // namespace tavlin::media
