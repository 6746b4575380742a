#pragma once

#include "BatchProcessor.h"
#include "CommandTable.h"
#include "DiagnosticLog.h"
#include "WindowHost.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class ApplicationPanelHost;
class InstanceForwarder;
class MediaSession;
class MediaWindow;
class TavAudioProcessor;
class TavSessionProcessor;
class TavEditorWindow;
class TavUIEditor;
class TavlinDocument;
class UserGuideWindow;

/** The application: builds every long-lived object at start-up in a fixed order, answers quit requests
    through the media document's close gate, tears everything down in a fixed order, and holds the player
    mode, the loop flag, the progress display and the menu commands' handlers.

    One instance runs per user: a later launch hands its command line to the running one and ends. All of
    it runs on the message thread.

    It owns the media session, which the document, the media window and a batch run are given. The windows
    reach the application as their WindowHost; the processing window's pages, the session and the document
    through the adapters it makes for them.
*/
class TavlinApplication : public juce::JUCEApplication,
                          public juce::Timer,
                          public juce::ChangeListener,
                          public WindowHost
{
public:
    TavlinApplication();
    ~TavlinApplication() override;

    /** The running application, or null (for example in a test that builds no application). */
    static TavlinApplication* getApp();

    //==============================================================================
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;

    /** Returns true: this application keeps to one instance per user itself (InstanceForwarder). The
        framework's own check would end a later launch without passing on its command line, and its lock
        is shared by every user of the machine.
    */
    bool moreThanOneInstanceAllowed() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

    /** A later launch's command line, or the files the desktop asks to open: opens the first absolute path
        through the close gate. A line naming no such path changes nothing; one arriving while a long
        operation or a dialog runs waits for it to end.
    */
    void anotherInstanceStarted (const juce::String& commandLine) override;

    /** Quit: through the close gate, then 500 ms of message loop, the stale-file removal and quit(). Asked
        while a long operation runs, the quit is remembered and carried out once the operation has ended.
    */
    void systemRequestedQuit() override;

    /** A change message of the processor marks the media document changed. */
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    /** The start-up tick: stops itself and shows the player. */
    void timerCallback() override;

    //==============================================================================
    /** The close gate: the document's close question; on ok the media window is placed again and shows
        the player. Refused while a long operation runs.
    */
    juce::Result closeMediaDocument() override;

    /** The media window's close button: the close gate now, or, while a long operation runs, once it has
        ended.
    */
    void requestCloseMedia() override;

    /** The processing window's close button: the same as the desktop's quit request. */
    void requestQuit() override;

    /** What a quit or a media close that arrived during a long operation left to do once it has ended. */
    enum class PendingRequest
    {
        none,
        closeMedia,
        quit ///< outranks a media close: the quit closes the media too
    };

    PendingRequest getPendingRequest() const noexcept { return pendingRequest; }

    /** True while a long operation runs: the progress display shows, or a command that runs one (opening,
        saving, a batch, a learn pass) has not returned yet.
    */
    bool isOperationRunning() const;

    void setPlayerMode (bool player) override;
    bool isPlayerMode() const noexcept { return playerMode; }
    bool isLooping() const noexcept override { return looping; }

    /** False while the progress display is shown. */
    bool isIdle() const override;

    bool isAnalyzeEnabled() const;
    juce::Result openMediaFile (const juce::File& file, bool showErrors) override;
    void openMediaInteractive() override;
    void analyzeAudioFile (const juce::File& file);
    bool readAnalysisAudio (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer);
    void analyzeSelection() override;
    void showEditorPage (int page) override;
    void showUserGuide (bool quickStart) override;

    /** The media window 780 wide, 32 px under the processing window (see WindowPlacement). */
    void placeMediaWindow();

    /** Deletes the stale "*.m4a" files of the program's private temporary folder and the copies made for
        sharing.
    */
    void deleteTempAudioFiles();

    /** The progress display (see ProgressDisplay). */
    void showProgress (const juce::String& text);
    void setProgress (double value);
    void hideProgress();

    //==============================================================================
    // Command handlers
    void resetSettings() override;
    void loadPreset() override;
    void savePreset() override;
    void saveMedia (bool asNew) override;
    /** "Batch Processor...": asks for an input and an output folder and saves a processed copy of every
        media file of the input tree at the same place in the output tree, with the settings of the moment
        the command was given; ends with a message saying how it went.
    */
    void runBatchProcessor() override;

    /** One batch run over input into output with the given state blob; false when the run was refused,
        cancelled with Escape or a folder could not be used. The run's summary is kept for its message.
    */
    bool batchProcessDirectory (const juce::File& input, const juce::File& output, const juce::MemoryBlock& settings);
    const BatchProcessor::Summary& getLastBatchSummary() const noexcept { return lastBatchSummary; }
    void togglePlayPause() override;
    void rewindToStart() override;
    void stepForward() override;
    void stepBackward() override;
    bool isPlaying() override;

    /** The media document's player position in seconds; 0 without a document. */
    double getPlayerPosition() override;

    void setLooping (bool on) override;
    void checkForUpdates() override;

    /** Writes source as FLAC or MP3 (by destination's extension) through the audio-format writers, 16 bits,
        quality 0..9; MP3 needs the LAME encoder and asks to download it when it is missing.
    */
    bool exportWithAudioFormat (const juce::File& source, const juce::File& destination, int quality);

    /** The "Select File Format for Save" dialog; non-zero when the user confirmed, and then the document
        takes the chosen format and quality.
    */
    int chooseSaveFileFormat();

    /** What the command table's active and ticked rules look at. */
    CommandTable::State getCommandState() const override;

    //==============================================================================
    TavAudioProcessor* getProcessor() noexcept { return processor.get(); }
    MediaSession* getSession() noexcept { return session.get(); }
    TavEditorWindow* getEditorWindow() noexcept { return editorWindow.get(); }
    MediaWindow* getMediaWindow() noexcept { return mediaWindow.get(); }
    UserGuideWindow* getUserGuideWindow() noexcept { return userGuideWindow.get(); }
    TavlinDocument* getDocument() noexcept { return document.get(); }
    juce::ApplicationCommandManager& getCommandManager() noexcept { return commandManager; }
    juce::AudioDeviceManager& getDeviceManager() noexcept { return deviceManager; }
    juce::AudioFormatManager* getFormatManager() noexcept { return formatManager.get(); }

    /** The processor's editor, shown in the processing window; null before start-up and after shutdown. */
    TavUIEditor* getEditor() const;

private:
    /** Counts a running operation for its lifetime. */
    class OperationScope
    {
    public:
        explicit OperationScope (TavlinApplication& a) : app (a) { ++app.operationDepth; }
        ~OperationScope() { --app.operationDepth; }

    private:
        TavlinApplication& app;
    };

    /** The application's answers to the media session and the document, and its ear on the session. */
    struct Hosts;

    void handOverToRunningInstance (const juce::String& commandLine);
    void remember (PendingRequest request);
    void carryOutPendingRequest();

    // The hosts go after everything that could reach them.
    std::unique_ptr<Hosts> hosts;
    std::unique_ptr<ApplicationPanelHost> panelHost;
    std::unique_ptr<TavAudioProcessor> processor;
    std::unique_ptr<TavSessionProcessor> sessionProcessor;
    std::unique_ptr<MediaSession> session;
    std::unique_ptr<TavEditorWindow> editorWindow;
    std::unique_ptr<MediaWindow> mediaWindow;
    std::unique_ptr<UserGuideWindow> userGuideWindow;
    std::unique_ptr<TavlinDocument> document;
    juce::ApplicationCommandManager commandManager;
    juce::AudioDeviceManager deviceManager;
    std::unique_ptr<juce::AudioFormatManager> formatManager;
    bool looping = true;
    bool playerMode = true;
    bool batchCancelled = false; ///< set when the user cancels a batch run with Escape
    int operationDepth = 0; ///< commands running a long operation, nested
    PendingRequest pendingRequest = PendingRequest::none;
    bool pendingCheckScheduled = false;
    BatchProcessor::Summary lastBatchSummary;
    std::unique_ptr<InstanceForwarder> instance;
    std::unique_ptr<DiagnosticLog::Installed> diagnostics; ///< the framework's logger while the program runs

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavlinApplication)
};
