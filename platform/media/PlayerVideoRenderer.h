#pragma once

#include "VideoFrameDecoder.h"

#include <deque>
#include <functional>
#include <vector>

namespace tavlin::media
{

/**
    A player's picture, decoded on a thread of its own a few frames ahead of the clock.

    Seeks never make the caller wait: the picture shown before a seek stays until the frame at the new time
    is ready, and a newer seek abandons an older one. Only frames that will be shown are converted to
    pictures: a seek decodes its way from the key frame without converting, and frames the clock has already
    passed are dropped without being converted.

    Frames carry the times of the source file's own clock: one starting at s shows from s + shift on the
    composition's timeline, and only frames starting in [sourceStart, sourceEnd) are shown (either bound
    may be infinite).
*/
class PlayerVideoRenderer : private juce::Thread
{
public:
    /** clockSeconds gives the timeline time being heard; it is called on the renderer's thread. */
    PlayerVideoRenderer (std::unique_ptr<VideoFrameDecoder> decoder, double shiftSeconds, double sourceStartSeconds,
                         double sourceEndSeconds, std::function<double()> clockSeconds);
    ~PlayerVideoRenderer() override;

    /** Asks for the picture at a timeline time; returns at once. */
    void seek (double timelineSeconds);

    /** The picture showing at a timeline time, as far as it is decoded; null before the first frame. */
    VideoPicture getFrame (double timelineSeconds);

    /** True until the picture of the latest seek is ready. */
    bool isSeeking() const;

private:
    void run() override;
    void serveSeek (uint32_t generation, double target);
    bool decodeAhead (uint32_t generation);
    bool isStale (uint32_t generation) const { return requested.load() != generation || threadShouldExit(); }
    VideoPicture makePicture (int width, int height);

    std::unique_ptr<VideoFrameDecoder> decoder; // used by the thread only
    const double shift, sourceStart, sourceEnd;
    const std::function<double()> clock;
    size_t maxAhead = 2;

    // Frames are written into pictures nobody else holds any more: large ones are neither allocated nor
    // freed per frame, and letting go of one (on any thread) only drops a reference.
    std::vector<VideoPicture> pool; // used by the thread only

    juce::CriticalSection lock;
    std::atomic<uint32_t> requested { 0 };
    double requestedTime = 0.0; // with lock
    uint32_t served = 0; // with lock
    std::deque<VideoFrameDecoder::Frame> queue; // with lock; frames after the one shown, on the timeline
    VideoPicture shown; // with lock
    bool ended = false; // with lock

    JUCE_DECLARE_NON_COPYABLE (PlayerVideoRenderer)
};

} // namespace tavlin::media
