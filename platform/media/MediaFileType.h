#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::media
{

/** The kinds of file an export can write. The muxer follows from the kind, never from a file name. */
enum class MediaFileType
{
    quickTimeMovie,
    mpeg4,
    appleM4V,
    appleM4A,
    coreAudioFormat,
    wave,
    aiff
};

/** FFmpeg's muxer for a file type, with what the type may hold. */
struct MediaFileTypeInfo
{
    const char* muxer;
    const char* brand; // major brand for the MPEG-4 family, or null
    bool holdsVideo;

    static MediaFileTypeInfo of (MediaFileType type)
    {
        switch (type)
        {
            case MediaFileType::quickTimeMovie:
                return { "mov", nullptr, true };
            case MediaFileType::mpeg4:
                return { "mp4", nullptr, true };
            case MediaFileType::appleM4V:
                return { "mp4", "M4V ", true };
            case MediaFileType::appleM4A:
                return { "ipod", nullptr, false };
            case MediaFileType::coreAudioFormat:
                return { "caf", nullptr, false };
            case MediaFileType::wave:
                return { "wav", nullptr, false };
            case MediaFileType::aiff:
                return { "aiff", nullptr, false };
        }

        return { "mov", nullptr, true };
    }
};

} // namespace tavlin::media
