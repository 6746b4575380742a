#pragma once

#include "AnalysisPass.h"
#include "DocumentHost.h"
#include "MediaSession.h"
#include "SaveFormat.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_gui_extra/juce_gui_extra.h>

class MediaWindow;
class TavAudioProcessor;

/** The one open media file, seen through the framework's file-based document.

    It opens media into the media session, remembers which file was opened and in which of the nine formats
    a processed copy is saved, saves that copy through the session (never over the opened file: compared as
    files, not names), asks before closing when the settings changed, and runs the two offline passes over
    the extracted, unprocessed sound (AnalysisPass): the analysis that looks for a noise-only stretch on
    opening, and the pass that teaches the noise-reduction bay its profile from the processor's learn region.

    Code can open and save without any dialog: loadFrom (file, false), then saveAs (destination, false,
    false, showMessageOnFailure) writes the destination with the extension of formatIndex (set from the
    opened file's extension) in qualityIndex. The only questions then are "Replace file?" for an existing
    copy and "No Overwrite" for the opened file itself.

    Opening tells the user why a file was refused in one message, when showLoadErrors is set: the player's
    own ("No Audio", ...), else "Failed to open file..." with the reason (a path that is not a regular file
    is refused before anything opens it). So the framework is asked to show none of its own (openMedia, or
    loadFrom with showMessageOnFailure false).

    A save returns only once the copy is complete at its destination (the WAV and AIFF writers are waited
    for, with the progress display up and the message loop running), so the document counts as saved, and
    a batch counts the file, only when it truly is.

    File names are handled as bytes, so names that are not valid UTF-8 keep their extension and format.

    Message thread only.
*/
class TavlinDocument : public juce::FileBasedDocument
{
public:
    /** Opens and saves media in session; the offline passes drive processor. */
    TavlinDocument (MediaSession& session, TavAudioProcessor& processor, DocumentHost& host);
    ~TavlinDocument() override;

    /** The window whose title is cleared when the media is closed. */
    void setMainWindow (MediaWindow* window);

    juce::String getDocumentTitle() override;
    juce::Result loadDocument (const juce::File& file) override;

    /** Opens a file as the media, as every way in does (open command, later launch, drop, recorder): sets
        showLoadErrors and loads through the framework, which is asked to show nothing of its own; a refusal
        is told in one message when showErrors is set.
    */
    juce::Result openMedia (const juce::File& file, bool showErrors);
    juce::Result saveDocument (const juce::File& file) override;
    juce::File getLastDocumentOpened() override;
    void setLastDocumentOpened (const juce::File& file) override;

    /** The default file with the extension of formatIndex, or its first free sibling "name (2).ext"... */
    juce::File getSuggestedSaveAsFile (const juce::File& defaultFile) override;

    //==============================================================================
    static constexpr int numFormats = SaveFormat::count;

    /** The written extension of a save format, point included; empty for an index that names none. */
    static juce::String getExtensionForFormat (int index);

    /** The format of an extension (point included, letter case ignored); 0 for any other. */
    static int getFormatForExtension (const juce::String& extension);

    /** True when both name one file: the same device and inode when both exist (links, second paths and
        case-insensitive folders included), else the same path once links in it are resolved.
    */
    static bool isSameFile (const juce::File& a, const juce::File& b);

    //==============================================================================
    /** "Save..." (false) and "Save As..." (true): the format chooser and a file chooser for the first save
        after opening and for every "Save As...", else a save to the copy saved last.
    */
    SaveResult saveMedia (bool saveAs);

    /** The close gate: asks before closing changed media; on ok the media is unloaded. */
    juce::Result closeMedia();

    /** The analysis of newly extracted sound: clears the learn region and the analyzer's earlier results
        and, with the "Analyze" preference on, looks for a noise-only stretch and learns from it when the
        analyzer is confident enough (above 0.6).
    */
    void analyzeMedia (const juce::File& file);

    /** Teaches the noise-reduction bay the noise of the learn region: the region's sound, both channels,
        runs through the chain, and the bay learns from exactly the frames of the region as they reach it
        (at least one 1024-sample frame; a region without a length learns from two host blocks). The
        processor is reset before and after. Playback must be paused.
    */
    void learnFromRegion();

    /** Reads numSamples from startSample of the analysis file into channels 0 (left) and 1 (right, or left
        again for mono) of buffer from position 0; samples before the start or past the end read as
        silence. False, with the buffer unchanged, when there is no readable analysis file.
    */
    bool readAnalysisSamples (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer);

    /** Seconds. */
    double getPlayerPosition();

    /** The session could not make the opened media ready (see SessionListener::preparationFailed): media
        that cannot play is closed; either way the user hears why when showLoadErrors is set.
    */
    void mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable);

    juce::File openedFile; ///< the opened media; media counts as open while its path is not empty
    juce::File analysisFile; ///< the extracted, unprocessed sound of the opened media
    int formatIndex = 0; ///< the save format, 0..8
    int qualityIndex = 9; ///< the save quality, 0..9
    bool showLoadErrors = true;

    static inline const juce::String noOverwriteTitle { "No Overwrite" };
    static inline const juce::String noOverwriteText {
        "Tavlin cannot overwrite the media document it is working with.  Please choose a document name that is "
        "not the same as the original media document."
    };
    static inline const juce::String noOverwriteFailure { "Tavlin does not overwrite the original media document." };
    static inline const juce::String replaceTitle { "Replace file?" };
    static inline const juce::String replaceText { "Are you sure you want to overwrite \"DCNM\"?" };
    static inline const juce::String userCancelledFailure { "User cancelled save." };
    static inline const juce::String saveFailure { "Unable to save file." };
    static inline const juce::String loadFailure { "Unable to load document." };
    static inline const juce::String applyTitle { "Apply Tavlin before closing?" };
    static inline const juce::String applyText {
        "Do you want to save a copy of \"DCNM\" with the current Tavlin settings?"
    };
    static inline const juce::String closeCancelledFailure { "User Cancelled." };
    static inline const juce::String loadFailureTitle { "Failed to open file..." };
    static inline const juce::String loadFailureText { "There was an error while trying to load the file: FLNM" };
    static inline const juce::String saveFailureTitle { "Error writing to file..." };
    static inline const juce::String saveFailureText {
        "An error occurred while trying to save \"DCNM\" to the file: FLNM"
    };
    static inline const juce::String preparationFailureTitle { "Waveform not available" };

protected:
    /** The "Select File Format for Save" dialog; non-zero when confirmed (then formatIndex and
        qualityIndex hold the choice).
    */
    virtual int chooseSaveFormat();

    virtual void showNoOverwrite();

    /** "Replace file?" for out; true for "OK". */
    virtual bool confirmReplace (const juce::File& out);

    /** "Apply Tavlin before closing?": 1 "Yes", 2 "No", 0 "Cancel". */
    virtual int askApplyBeforeClosing();

    virtual bool isAnalyzeEnabled();
    virtual void enterPlayerMode();

    /** A warning that does not wait for its answer, as the framework's own failure messages. */
    virtual void showFailure (const juce::String& title, const juce::String& message);

private:
    void unloadMedia();
    juce::Result refuseToLoad (const juce::File& file, const juce::String& reason);

    MediaSession& session;
    DocumentHost& host;
    AnalysisPass analysis;
    MediaWindow* mainWindow = nullptr;

    // The document file as of the last load or completed save; the framework sets its own before saving.
    juce::File fileOfRecord;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavlinDocument)
};
