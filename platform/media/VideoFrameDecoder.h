#pragma once

#include "VideoPicture.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

namespace tavlin::media
{

/**
    Decodes one video stream, in presentation order, into pictures shown upright: a picture meant to be shown
    rotated (by 90, 180 or 270 degrees clockwise) is turned, so its size is the rotated one.

    Frames are decoded ahead without being converted; only the frames handed out by next() become pictures,
    so a seek or a skip converts nothing it passes over.
*/
class VideoFrameDecoder
{
public:
    struct Frame
    {
        VideoPicture picture;
        double seconds = 0.0; // presentation time on the source's own clock
    };

    ~VideoFrameDecoder();

    /** Opens a stream (-1: the first video stream) shown with a clockwise rotation of 0, 90, 180 or 270. */
    static std::unique_ptr<VideoFrameDecoder> open (const juce::File& file, int streamIndex, juce::String& error,
                                                    int rotationDegrees = 0);

    /** Converts and hands out the next frame; false at the end of the stream. */
    bool next (Frame& frame);

    /** Moves so that the next frame is the one showing at a time (the last one starting at or before it).
        False when the stream cannot be read there, or when shouldStop (asked between frames) said so.
    */
    bool seek (double seconds, const std::function<bool()>& shouldStop = {});

    /** Drops, without converting them, the frames that a later frame starting at or before a time replaces;
        false when shouldStop (asked between frames) ended it early.
    */
    bool skipTo (double seconds, const std::function<bool()>& shouldStop = {});

    /** Start time of the next frame, decoding it when needed; false at the end of the stream. */
    bool peekNextSeconds (double& seconds);

    /** Where the pictures of converted frames come from (by default, new ones): they are written whole. */
    void setPictureMaker (std::function<VideoPicture (int width, int height)> maker);

    /** Width and height of the frames handed out (rotated). */
    int getWidth() const;
    int getHeight() const;

private:
    struct Impl;

    VideoFrameDecoder();

    std::unique_ptr<Impl> impl;

    JUCE_DECLARE_NON_COPYABLE (VideoFrameDecoder)
};

} // namespace tavlin::media
