#pragma once

#include "media/MediaFileType.h"

#include <iterator>
#include <optional>

/** One of the nine save formats. Its index in the table is what the document, the chooser and the export
    pass around and what a batch keeps: 0 ".mov" ... 8 ".mp3". Code asks the table what a format is.
*/
struct SaveFormat
{
    using FileType = tavlin::media::MediaFileType;

    /** How the processed sound reaches the file. */
    enum Route
    {
        remux, ///< copied, with the opened media's picture when kept, into a container
        writerQueue, ///< converted to 24-bit PCM on a writer queue, still running when the save returns
        audioFormatWriter ///< converted through the framework's audio-format writers, with a quality choice
    };

    const char* extension; ///< written with its point; recognised in any letter case
    const char* chooserName; ///< the format chooser's entry
    Route route;
    std::optional<FileType> fileType; ///< what a remux or the writer queue writes
    bool keepsPicture; ///< a movie: the opened media's picture stays, in step with the sound
    bool losslessIntermediate; ///< the sound is rendered losslessly first (lossless, or encoded again)
    bool hasQualityChoice; ///< the chooser offers its ten quality steps

    constexpr bool isRemuxed() const noexcept { return route == remux; }
    constexpr bool isWrittenOnWriterQueue() const noexcept { return route == writerQueue; }
    constexpr bool isConverted() const noexcept { return route == audioFormatWriter; }

    /** The formats by index. */
    static const SaveFormat table[];
    static const int count;

    /** The format of an index, or null for one outside 0..count - 1. */
    static const SaveFormat* find (int index) noexcept;
};

inline constexpr SaveFormat SaveFormat::table[] {
    // extension, chooser entry, route, file type, keeps picture, lossless intermediate, quality choice
    { ".mov", "QuickTime", remux, FileType::quickTimeMovie, true, false, false },
    { ".mp4", "MPEG-4", remux, FileType::mpeg4, true, false, false },
    { ".m4v", "M4V", remux, FileType::appleM4V, true, false, false },
    { ".m4a", "M4A (Audio Only)", remux, FileType::appleM4A, false, false, false },
    { ".caf", "CoreAudio (Audio Only)", remux, FileType::coreAudioFormat, false, true, false },
    { ".wav", "WAVE (Audio Only)", writerQueue, FileType::wave, false, true, false },
    { ".aif", "AIFF (Audio Only)", writerQueue, FileType::aiff, false, true, false },
    { ".flac", "FLAC (Audio Only)", audioFormatWriter, std::nullopt, false, true, true },
    { ".mp3", "MP3 (Audio Only)", audioFormatWriter, std::nullopt, false, true, true },
};

inline constexpr int SaveFormat::count = (int) std::size (table);

inline const SaveFormat* SaveFormat::find (int index) noexcept
{
    return index >= 0 && index < count ? &table[index] : nullptr;
}
