#pragma once

#include "FFmpegHandles.h"

#include <juce_core/juce_core.h>

#include <memory>

namespace tavlin::media
{

/**
    An opened media container: FFmpeg's demuxer reading from a JUCE stream. Internal to the media layer.

    Files are checked before anything is read: only regular, non-empty files are opened, so a named pipe, a
    device or a folder can never block the caller. The demuxer may not open other files or URLs on its own
    (playlists, references), and streams whose headers claim absurd channel counts, rates or sizes are
    refused.
*/
class MediaInput
{
public:
    ~MediaInput();

    /** Opens a file; on failure returns null and sets error to a text for the user. */
    static std::unique_ptr<MediaInput> openFile (const juce::File& file, juce::String& error);

    /** Opens a stream, taking ownership of it in every case. */
    static std::unique_ptr<MediaInput> openStream (std::unique_ptr<juce::InputStream> stream, juce::String& error);

    /** Checks that a path names a regular, non-empty file that can be read, without reading from it. */
    static juce::Result checkRegularFile (const juce::File& file);

    AVFormatContext* getFormat() const { return format.get(); }
    AVStream* getStream (int index) const;

    /** Index of the first audio stream, or -1. Cover art and other still pictures never count. */
    int findFirstStream (AVMediaType type) const;

    /** The container's duration in seconds, or 0 when unknown. */
    double getDurationSeconds() const;

    /** True when the container's duration is only an estimate from the bit rate. */
    bool isDurationEstimated() const;

private:
    MediaInput() = default;
    juce::Result open (std::unique_ptr<juce::InputStream> stream);

    static int readPacket (void* opaque, uint8_t* buffer, int size);
    static int64_t seekStream (void* opaque, int64_t offset, int whence);

    std::unique_ptr<juce::InputStream> input;
    IOContextPtr io;
    FormatContextPtr format;

    JUCE_DECLARE_NON_COPYABLE (MediaInput)
};

} // namespace tavlin::media
