#pragma once

#include "SessionHost.h"

#include "media/MediaAsset.h"

/** Opens sound that the media layer finds no decodable sound in through the framework's audio-format
    readers, by decoding it into a WAV file; and names the engine's temporary files. Message thread only.
*/
class MediaImporter
{
public:
    /** The ending of a file decoded through the readers. */
    static inline const juce::String importEnding { "TempCleanAudioP.wav" };

    /** Decodes the asset's file into a new "TempCleanAudioP.wav" temporary file and re-opens the asset on
        it; false, with the asset unchanged, when it cannot be decoded.
    */
    static bool importAsset (SessionHost& host, tavlin::media::MediaAsset& asset);

    /** Decodes source through the host's audio-format readers into a WAV file at target, in blocks of 8192
        samples, with "Importing..." on the progress display. False, with no file left at target, when no
        reader or writer can be made or the sound cannot be read completely.
    */
    static bool importWithAudioFormatReader (SessionHost& host, const juce::File& source, const juce::File& target);

    /** A new name in the host's temporary folder: "temp_", hexadecimal digits, "." and the ending. The file
        itself is not created; an empty File when there is no folder.
    */
    static juce::File makeTemporaryFile (SessionHost& host, const juce::String& ending);
};
