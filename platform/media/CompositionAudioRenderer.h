#pragma once

#include "AudioProcessingTap.h"
#include "AudioTrackDecoder.h"
#include "MediaComposition.h"

namespace tavlin::media
{

/**
    The sound of a composition's audio track on the composition's timeline: silence before the track's
    insertion time, the chosen stretch of the source, then silence (an optional tail of it is still rendered,
    so that a tap's delayed output can come out). Renders through a tap when given one.
*/
class CompositionAudioRenderer : public AudioProcessingTap::Source
{
public:
    static std::unique_ptr<CompositionAudioRenderer> create (const MediaComposition::Track& track, juce::String& error);

    int getNumChannels() const { return decoder->getNumChannels(); }
    double getSampleRate() const { return decoder->getSampleRate(); }

    /** The timeline frame where the source's sound begins (silence lies before it). */
    int64_t getSoundStart() const { return soundStart; }

    /** Frames from the timeline's start to the end of the sound, without the tail. */
    int64_t getLength() const { return soundStart + soundLength; }

    /** Silent frames rendered after the sound's end. */
    void setTailFrames (int64_t frames) { tailFrames = std::max<int64_t> (0, frames); }
    int64_t getRenderLength() const { return getLength() + tailFrames; }

    int64_t getPosition() const { return position; }
    bool seek (int64_t timelineFrame);

    /** Decodes up to the position so that render() starts at once (see AudioTrackDecoder::catchUp). */
    bool catchUp (const std::function<bool()>& keepGoing);

    /**
        Renders up to numFrames frames (no more than the tap was prepared for) into planar channels, through the
        tap when one is given, with the given process flags. Returns the frames rendered, 0 at the end.
    */
    int64_t render (float* const* channels, int numFrames, AudioProcessingTap* tap, uint32_t flags = 0);

    int64_t pullAudio (TapBufferList& bufferList, int64_t numberFrames, MediaTimeRange& range) override;

    const juce::String& getLastError() const { return decoder->getLastError(); }

private:
    CompositionAudioRenderer() = default;

    std::unique_ptr<AudioTrackDecoder> decoder;
    int64_t soundStart = 0; // timeline frame where the source's stretch begins
    int64_t sourceStart = 0; // source sample at soundStart
    int64_t soundLength = 0;
    int64_t tailFrames = 0;
    int64_t position = 0;
    bool pulled = false;
};

} // namespace tavlin::media
