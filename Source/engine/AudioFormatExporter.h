#pragma once

#include "SessionHost.h"
#include "TavlinAddresses.h"

#include "desktop/FileNameBytes.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <functional>

/** Writes a processed sound file as FLAC or MP3 through the framework's audio-format writers.

    The copy starts at a given sample of the source (the processor's latency, so that it lines up with the
    opened media) and runs to the source's end, 16 bits, at the source's rate and channel count. MP3 goes
    through the external LAME encoder; when it is missing, the user is offered its download page or, when the
    build names none, told to install it. Everything is written beside the destination under a hidden name and
    moved into place only once complete, so a failure leaves an existing file as it was.

    Runs on the message thread; the progress display shows "Exporting..." while it writes.
*/
class AudioFormatExporter
{
public:
    struct Request
    {
        juce::File source;
        juce::File destination; ///< ".flac" or ".mp3"
        int quality = 9; ///< 0 (low/fast) to 9 (high/slow)
        juce::int64 startSample = 0; ///< the first source sample written
        juce::StringArray encoderLocations { "/usr/local/bin/lame", "/usr/bin/lame" };

        /** The page that the "Missing LAME Encoder" question offers to open. Empty (unless the build names
            one): no question, the host's warning tells the user to install the encoder instead.
        */
        juce::String encoderDownloadPage { TavlinAddresses::encoderDownloadPage };

        /** Asks the "Missing LAME Encoder" question; true for "OK". Null: the question is not asked. */
        std::function<bool (const juce::String& title, const juce::String& message)> askQuestion;

        /** Where the progress goes; null: the host's progress display. */
        ProgressReporter* progress = nullptr;
    };

    static inline const juce::String missingEncoderTitle { "Missing LAME Encoder" };
    static inline const juce::String missingEncoderText {
        "Tavlin was unable to locate the LAME encoder.  Would you like to download the LAME installer?"
    };
    static inline const juce::String installEncoderText {
        "Tavlin was unable to locate the LAME encoder.  Please install it with your system's package manager "
        "(on Debian the package is called \"lame\"), then save again."
    };

    /** True once the destination holds the whole copy; false with a text in error otherwise. */
    static bool exportWithAudioFormat (SessionHost& host, const Request& request, juce::String& error);

    /** The first location that holds an executable file, or an empty File. */
    static juce::File findEncoder (const juce::StringArray& locations);

    /** The encoder's quality option for a quality step: its options run from best (0) to smallest (9). */
    static int mp3QualityOption (int quality) noexcept { return 9 - juce::jlimit (0, 9, quality); }

    static bool isMp3 (const juce::File& file)
    {
        return tavlin::desktop::FileNameBytes::extensionOf (file).equalsIgnoreCase (".mp3");
    }
};
