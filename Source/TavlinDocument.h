#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_gui_extra/juce_gui_extra.h>

class MediaWindow;

/** The one open media file, seen through the framework's file-based document.

    For now it opens a file into the transport bar, remembers it and closes it through the close gate's
    question; saving a processed copy, the format table, the analysis pass and the learn-from-file pass come
    with the media document itself.
*/
class TavlinDocument : public juce::FileBasedDocument
{
public:
    TavlinDocument();
    ~TavlinDocument() override;

    void setMainWindow (MediaWindow* window);

    juce::String getDocumentTitle() override;
    juce::Result loadDocument (const juce::File& file) override;
    juce::Result saveDocument (const juce::File& file) override;
    juce::File getLastDocumentOpened() override;
    void setLastDocumentOpened (const juce::File& file) override;

    /** "Save..." (false) and "Save As..." (true). */
    SaveResult saveMedia (bool saveAs);

    /** The close gate: asks before closing changed media; on ok the media is unloaded. */
    juce::Result closeMedia();

    void analyzeMedia (const juce::File& file);
    void learnFromRegion();
    bool readAnalysisSamples (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer);
    double getPlayerPosition();

    juce::File openedFile; ///< the opened media; media counts as open while its path is not empty
    juce::File analysisFile; ///< the extracted, unprocessed sound of the opened media
    int formatIndex = 0; ///< the save format, 0..8
    int qualityIndex = 9; ///< the save quality, 0..9
    bool showLoadErrors = true;

private:
    MediaWindow* mainWindow = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavlinDocument)
};
