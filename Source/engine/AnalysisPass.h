#pragma once

#include "SessionHost.h"

#include <juce_audio_formats/juce_audio_formats.h>

class ProcessingChain;

/** The media document's two offline passes over the extracted, unprocessed sound of the opened media: the
    analysis that looks for a noise-only stretch on opening, and the pass that teaches the noise-reduction bay
    its profile from the chain's learn region. Both run on the message thread while playback is paused.
*/
class AnalysisPass
{
public:
    /** The analyzer's sensitivity for the search. */
    static constexpr float sensitivity = 0.29f;

    /** A stretch is learnt from only when the analyzer is more confident than this. */
    static constexpr float confidence = 0.6f;

    /** The file is read with host's audio formats; the search shows its progress there. */
    AnalysisPass (ProcessingChain& chain, SessionHost& host);

    /** Clears the learn region and what the analyzer found in an earlier file. */
    void clearResults();

    /** Looks for a noise-only stretch in file, with "Analyzing..." on the progress display; when the
        analyzer is confident enough, the learn region becomes that stretch and the result is true.
    */
    bool findNoise (const juce::File& file);

    /** Teaches the noise-reduction bay the noise of the learn region in file: the region's sound, both
        channels, runs through the chain, and the bay learns from exactly the frames of the region as they
        reach it (at least one 1024-sample frame; a region without a length learns from two host blocks). The
        chain is reset before and after. A missing file learns from silence.
    */
    void learnFromRegion (const juce::File& file);

    /** Reads numSamples from startSample of file into channels 0 (left) and 1 (right, or left again for mono)
        of buffer from position 0; samples before the start or past the end read as silence. False, with the
        buffer unchanged, when the file cannot be read.
    */
    bool readSamples (const juce::File& file, juce::int64 startSample, int numSamples,
                      juce::AudioBuffer<float>& buffer);

private:
    std::unique_ptr<juce::AudioFormatReader> createReader (const juce::File& file);
    static void readBlock (juce::AudioFormatReader* reader, juce::int64 startSample, int numSamples,
                           juce::AudioBuffer<float>& buffer);

    ProcessingChain& chain;
    SessionHost& host;

    JUCE_DECLARE_NON_COPYABLE (AnalysisPass)
};
