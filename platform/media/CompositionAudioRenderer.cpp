#include "CompositionAudioRenderer.h"

#include <cmath>

namespace tavlin::media
{

std::unique_ptr<CompositionAudioRenderer> CompositionAudioRenderer::create (const MediaComposition::Track& track,
                                                                            juce::String& error)
{
    if (!track.hasSource() || track.mediaType != MediaType::audio)
    {
        error = "There is no sound to render.";
        return nullptr;
    }

    std::unique_ptr<CompositionAudioRenderer> renderer (new CompositionAudioRenderer());
    renderer->decoder = AudioTrackDecoder::open (track.sourceFile, track.sourceTrack.streamIndex, error);

    if (renderer->decoder == nullptr)
        return nullptr;

    // Sample 0 of the source lies where its stream starts on the asset's timeline; the stretch is counted
    // on that timeline too, so sound that starts late keeps its place.
    const auto rate = renderer->decoder->getSampleRate();
    const auto length = renderer->decoder->getLengthInSamples();
    // Rounded once, from the exact difference, so the sound lies within half a sample of its place.
    const auto sourceZero = (int64_t) std::llround (
        (renderer->decoder->getStartTime().seconds() - track.sourceTrack.clockZero.seconds()) * rate);
    const auto rangeStart = track.sourceRange.start.toSamples (rate) - sourceZero; // in source samples
    const auto rangeLength = track.toSourceEnd ? length - std::min<int64_t> (0, rangeStart)
                                               : std::max<int64_t> (0, track.sourceRange.duration.toSamples (rate));
    const auto lead = std::max<int64_t> (0, -rangeStart); // silence before the source's first sample

    renderer->sourceStart = juce::jlimit<int64_t> (0, length, rangeStart);
    renderer->soundStart = std::max<int64_t> (0, track.insertTime.toSamples (rate)) + lead;
    renderer->soundLength =
        std::max<int64_t> (0, std::min<int64_t> (length - renderer->sourceStart, rangeLength - lead));

    if (!renderer->seek (0))
    {
        error = renderer->decoder->getLastError();
        return nullptr;
    }

    return renderer;
}

bool CompositionAudioRenderer::seek (int64_t timelineFrame)
{
    position = juce::jlimit<int64_t> (0, getRenderLength(), timelineFrame);
    const auto inSound = juce::jlimit<int64_t> (0, soundLength, position - soundStart);
    return decoder->seek (sourceStart + inSound);
}

bool CompositionAudioRenderer::catchUp (const std::function<bool()>& keepGoing)
{
    if (position < soundStart || position >= soundStart + soundLength)
        return true;

    const auto at = sourceStart + (position - soundStart);

    if (decoder->getPosition() != at)
        decoder->seek (at);

    return decoder->catchUp (keepGoing);
}

int64_t CompositionAudioRenderer::pullAudio (TapBufferList& list, int64_t numberFrames, MediaTimeRange& range)
{
    pulled = true;
    const auto rate = (int32_t) getSampleRate();
    range = { MediaTime::make (position, rate), MediaTime::make (numberFrames, rate) };
    int64_t done = 0, real = 0;

    while (done < numberFrames)
    {
        const auto at = position + done;
        int64_t count;
        bool sound = false;

        if (at < soundStart)
            count = std::min (numberFrames - done, soundStart - at);
        else if (at < soundStart + soundLength)
        {
            count = std::min (numberFrames - done, soundStart + soundLength - at);
            sound = true;
        }
        else
            count = numberFrames - done;

        if (sound)
        {
            float* targets[TapBufferList::maxBuffers] = {};

            for (int i = 0; i < list.numberBuffers; ++i)
                targets[i] = list.buffers[i].data + done;

            if (decoder->getPosition() != sourceStart + (at - soundStart))
                decoder->seek (sourceStart + (at - soundStart));

            const auto got = decoder->read (targets, list.numberBuffers, (int) count);
            real += got;

            if (got < count) // a damaged or short source reads as silence from here
            {
                for (int i = 0; i < list.numberBuffers; ++i)
                    std::fill_n (targets[i] + got, count - got, 0.0f);
            }
        }
        else
        {
            for (int i = 0; i < list.numberBuffers; ++i)
                std::fill_n (list.buffers[i].data + done, count, 0.0f);
        }

        done += count;
    }

    position += numberFrames;
    return real;
}

int64_t CompositionAudioRenderer::render (float* const* channels, int numFrames, AudioProcessingTap* tap,
                                          uint32_t flags)
{
    const auto frames = std::min<int64_t> (numFrames, getRenderLength() - position);

    if (frames <= 0)
        return 0;

    TapBufferList list;
    list.set (channels, getNumChannels(), frames);

    if (tap == nullptr || !tap->isPrepared())
    {
        MediaTimeRange range;
        pullAudio (list, frames, range);
        return frames;
    }

    const auto start = position;
    pulled = false;
    tap->process (frames, list, *this, flags);

    // A tap that did not pull its source still moves the timeline on.
    if (!pulled || position != start + frames)
        seek (start + frames);

    return frames;
}

} // namespace tavlin::media
