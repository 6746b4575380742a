#pragma once

// Measurements of media files on their decoded output, made with FFmpeg's own decoders and none of the
// media layer's code: when each picture is shown, when the first bright picture comes, and the sound with
// the time of its first sample. FFmpeg stays in MediaMeasure.cpp.

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavlin::test
{

/** The kinds of stream measured. */
enum class StreamKind
{
    video,
    audio
};

/** Every packet of a file's first stream of a kind: its bytes, with its timestamp relative to the first one
    (in µs; AV_NOPTS_VALUE for a packet without one).
*/
std::vector<std::pair<juce::String, int64_t>> packetsOf (const juce::File& file, StreamKind kind = StreamKind::video);

/** Where each stream of a file starts on the file's own clock, in seconds (NaN for a stream that does not
    say); false with a text when the file cannot be opened.
*/
bool streamStartTimes (const juce::File& file, std::vector<double>& starts, juce::String& error);

/** What a player shows and plays of a file, on the file's own clock. */
struct DecodedTimeline
{
    std::vector<double> frameTimes; // seconds, in presentation order
    double flashTime = -1.0; // the first picture whose mean brightness is over half
    double audioStart = 0.0; // seconds, the time of the first sound sample
    double sampleRate = 0.0;
    int channels = 0;
    std::vector<float> sound; // the first channel

    /** The time of a sample of the sound. */
    double timeOfSample (double index) const { return audioStart + index / sampleRate; }
};

/** Decodes a file's first video and first audio stream. */
DecodedTimeline decodeTimeline (const juce::File& file);

/** The index of the first sample whose magnitude reaches a level, or -1. */
inline int64_t firstSampleAbove (const std::vector<float>& sound, float level)
{
    for (size_t i = 0; i < sound.size(); ++i)
        if (std::abs (sound[i]) >= level)
            return (int64_t) i;

    return -1;
}

/**
    Where a stretch of one sound, [from, from + length), lies in another, searched around a guess within
    +-radius samples: the position of best normalised correlation.
*/
inline int64_t findStretch (const std::vector<float>& in, const std::vector<float>& stretchOf, int64_t from, int length,
                            int64_t guess, int radius)
{
    double best = -2.0;
    int64_t bestAt = -1;
    double energy = 0.0;

    for (int i = 0; i < length; ++i)
        energy += (double) stretchOf[(size_t) (from + i)] * stretchOf[(size_t) (from + i)];

    for (int64_t at = guess - radius; at <= guess + radius; ++at)
    {
        if (at < 0 || at + length > (int64_t) in.size())
            continue;

        double dot = 0.0, other = 0.0;

        for (int i = 0; i < length; ++i)
        {
            dot += (double) in[(size_t) (at + i)] * stretchOf[(size_t) (from + i)];
            other += (double) in[(size_t) (at + i)] * in[(size_t) (at + i)];
        }

        const double c = dot / std::sqrt (std::max (1.0e-30, energy * other));

        if (c > best)
        {
            best = c;
            bestAt = at;
        }
    }

    return bestAt;
}

} // namespace tavlin::test
