#pragma once

#include "media/MediaFileType.h"

#include <iterator>
#include <optional>

/** How the processed sound of a save reaches its file. */
enum class SaveRoute
{
    remux, ///< copied, with the opened media's picture when kept, into a container
    writerQueue, ///< converted to 24-bit PCM on a writer queue that is still running when the save returns
    audioFormatWriter ///< converted through the framework's audio-format writers, with a quality choice
};

/** One of the nine save formats. Its index in saveFormats is what the document, the chooser and the
    export pass around and what batch settings keep: 0 ".mov" ... 8 ".mp3".
*/
struct SaveFormat
{
    const char* extension; ///< written with its point; recognised in any letter case
    const char* chooserName; ///< the format chooser's entry
    SaveRoute route;
    std::optional<tavlin::media::MediaFileType> fileType; ///< what a remux or the writer queue writes
    bool keepsPicture; ///< a movie: the opened media's picture stays, in step with the sound
    bool losslessIntermediate; ///< the sound is rendered losslessly first (lossless, or encoded again)
    bool hasQualityChoice; ///< the chooser offers its ten quality steps

    constexpr bool isSoundOnly() const noexcept { return !keepsPicture; }
    constexpr bool isRemuxed() const noexcept { return route == SaveRoute::remux; }
    constexpr bool isWrittenOnWriterQueue() const noexcept { return route == SaveRoute::writerQueue; }
    constexpr bool isConverted() const noexcept { return route == SaveRoute::audioFormatWriter; }
};

inline constexpr SaveFormat saveFormats[] {
    // extension, chooser entry, route, file type, keeps picture, lossless intermediate, quality choice
    { ".mov", "QuickTime", SaveRoute::remux, tavlin::media::MediaFileType::quickTimeMovie, true, false, false },
    { ".mp4", "MPEG-4", SaveRoute::remux, tavlin::media::MediaFileType::mpeg4, true, false, false },
    { ".m4v", "M4V", SaveRoute::remux, tavlin::media::MediaFileType::appleM4V, true, false, false },
    { ".m4a", "M4A (Audio Only)", SaveRoute::remux, tavlin::media::MediaFileType::appleM4A, false, false, false },
    { ".caf", "CoreAudio (Audio Only)", SaveRoute::remux, tavlin::media::MediaFileType::coreAudioFormat, false, true,
      false },
    { ".wav", "WAVE (Audio Only)", SaveRoute::writerQueue, tavlin::media::MediaFileType::wave, false, true, false },
    { ".aif", "AIFF (Audio Only)", SaveRoute::writerQueue, tavlin::media::MediaFileType::aiff, false, true, false },
    { ".flac", "FLAC (Audio Only)", SaveRoute::audioFormatWriter, std::nullopt, false, true, true },
    { ".mp3", "MP3 (Audio Only)", SaveRoute::audioFormatWriter, std::nullopt, false, true, true },
};

inline constexpr int numSaveFormats = (int) std::size (saveFormats);

/** The format of an index, or null for one outside 0..numSaveFormats - 1. */
constexpr const SaveFormat* findSaveFormat (int index) noexcept
{
    return index >= 0 && index < numSaveFormats ? &saveFormats[index] : nullptr;
}
