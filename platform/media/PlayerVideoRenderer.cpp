#include "PlayerVideoRenderer.h"

namespace tavlin::media
{

namespace
{
constexpr double epsilon = 1.0e-6;

/** Frames decoded ahead: a few, fewer for large pictures (about 100 MB at most, never fewer than 2). */
size_t framesAheadFor (int width, int height)
{
    const auto bytes = (double) juce::jmax (1, width) * (double) juce::jmax (1, height) * 4.0;
    return (size_t) juce::jlimit (2.0, 8.0, std::floor (100.0e6 / bytes));
}
} // namespace

PlayerVideoRenderer::PlayerVideoRenderer (std::unique_ptr<VideoFrameDecoder> d, double shiftSeconds,
                                          double sourceStartSeconds, double sourceEndSeconds,
                                          std::function<double()> clockSeconds)
    : juce::Thread ("Media picture"), decoder (std::move (d)), shift (shiftSeconds), sourceStart (sourceStartSeconds),
      sourceEnd (sourceEndSeconds), clock (std::move (clockSeconds))
{
    maxAhead = framesAheadFor (decoder->getWidth(), decoder->getHeight());
    decoder->setPictureMaker ([this] (int width, int height) { return makePicture (width, height); });
    startThread();
}

PlayerVideoRenderer::~PlayerVideoRenderer()
{
    signalThreadShouldExit();
    notify();
    stopThread (-1);
}

void PlayerVideoRenderer::seek (double timelineSeconds)
{
    {
        const juce::ScopedLock sl (lock);
        requestedTime = timelineSeconds;
        ++requested;

        // Frames queued for the old time would show at the new one; the one on screen stays meanwhile.
        queue.clear();
    }

    notify();
}

bool PlayerVideoRenderer::isSeeking() const
{
    const juce::ScopedLock sl (lock);
    return served != requested.load();
}

VideoPicture PlayerVideoRenderer::getFrame (double timelineSeconds)
{
    bool taken = false;
    VideoPicture picture;

    {
        const juce::ScopedLock sl (lock);

        while (!queue.empty() && queue.front().seconds <= timelineSeconds + epsilon)
        {
            shown = std::move (queue.front().picture);
            queue.pop_front();
            taken = true;
        }

        picture = shown;
    }

    // Room in the queue: the thread decodes the next frame.
    if (taken)
        notify();

    return picture;
}

VideoPicture PlayerVideoRenderer::makePicture (int width, int height)
{
    // The queue, the one shown, the one a view holds, the one being written, and one to spare.
    const size_t poolSize = maxAhead + 4;

    for (auto& picture : pool)
        if (picture.getReferenceCount() == 1 && picture.getWidth() == width && picture.getHeight() == height)
            return picture;

    if (pool.size() >= poolSize)
    {
        const auto unused = std::find_if (
            pool.begin(), pool.end(), [] (const VideoPicture& picture) { return picture.getReferenceCount() == 1; });

        if (unused == pool.end())
            return {}; // all in use: the decoder makes a new one

        pool.erase (unused);
    }

    pool.emplace_back (width, height);
    return pool.back();
}

void PlayerVideoRenderer::serveSeek (uint32_t generation, double target)
{
    const auto stop = [this, generation] { return isStale (generation); };
    const double sourceTarget = std::min (std::max (target - shift, sourceStart), sourceEnd);
    bool readable = decoder->seek (sourceTarget, stop);

    if (stop())
        return;

    // The frame showing at the time, if one starts by then; the frames after it follow as the clock runs.
    VideoPicture picture;
    double at = 0.0;

    if (readable && decoder->peekNextSeconds (at) && at + shift <= target + epsilon && at < sourceEnd)
    {
        VideoFrameDecoder::Frame frame;
        readable = decoder->next (frame);
        picture = std::move (frame.picture);
    }

    const juce::ScopedLock sl (lock);

    if (requested.load() == generation)
    {
        queue.clear();
        shown = std::move (picture);
        ended = !readable;
        served = generation;
    }
}

bool PlayerVideoRenderer::decodeAhead (uint32_t generation)
{
    {
        const juce::ScopedLock sl (lock);

        if (ended || queue.size() >= maxAhead)
            return false;
    }

    const auto stop = [this, generation] { return isStale (generation); };

    // When decoding falls behind the clock, frames it has passed are dropped before they are converted.
    if (!decoder->skipTo (clock() - shift, stop))
        return true;

    VideoFrameDecoder::Frame frame;
    const bool more = decoder->next (frame) && frame.seconds < sourceEnd;
    frame.seconds += shift;

    const juce::ScopedLock sl (lock);

    if (requested.load() != generation)
        return true;

    if (more)
        queue.push_back (std::move (frame));
    else
        ended = true;

    return more;
}

void PlayerVideoRenderer::run()
{
    uint32_t generation = 0;

    while (!threadShouldExit())
    {
        double target = 0.0;
        uint32_t latest = 0;

        {
            const juce::ScopedLock sl (lock);
            latest = requested.load();
            target = requestedTime;
        }

        if (latest != generation)
        {
            generation = latest;
            serveSeek (generation, target);
            continue;
        }

        // With the queue full or the source ended, only a seek, a frame taken or the shutdown brings work, and
        // each notifies; one that comes before the wait is kept by the event.
        if (!decodeAhead (generation))
            wait (-1);
    }
}

} // namespace tavlin::media
