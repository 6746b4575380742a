#include "TavlinApplication.h"

#include "ApplicationBatchHost.h"
#include "ApplicationPanelHost.h"
#include "AudioFormatExporter.h"
#include "AudioWriterQueue.h"
#include "CommandLineTokens.h"
#include "DocumentHost.h"
#include "FileTypeChooser.h"
#include "InstanceForwarder.h"
#include "MediaControlsComponent.h"
#include "MediaSession.h"
#include "MediaWindow.h"
#include "ProgressDisplay.h"
#include "RatePrompt.h"
#include "TavAudioProcessor.h"
#include "TavEditorWindow.h"
#include "TavPreferences.h"
#include "TavSessionProcessor.h"
#include "TavUIEditor.h"
#include "TavlinDocument.h"
#include "TavlinSettingsDocument.h"
#include "TemporaryFiles.h"
#include "TransportComponent.h"
#include "UpdateChecker.h"
#include "UserGuideWindow.h"
#include "WindowPlacement.h"
#include "desktop/MessageLoopQuit.h"
#include "media/FFmpegAudioFormat.h"

#include <iostream>

namespace
{
constexpr int startupTickMs = 50;
constexpr int quitSettleMs = 500;
constexpr int handOverTimeoutMs = 5000;
constexpr int openRetryMs = 200; // how often a waiting open request looks again
constexpr int pendingRetryMs = 200; // how often a remembered quit or close looks whether it may go ahead

juce::Rectangle<int> mainUserArea()
{
    auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    return display != nullptr ? display->userArea : juce::Rectangle<int> (0, 0, 1280, 800);
}

TransportComponent* playerTransport (MediaWindow* window)
{
    if (window == nullptr || !window->getControls().playerMode)
        return nullptr;

    return window->getControls().transport.get();
}
} // namespace

struct TavlinApplication::Hosts : public SessionHost, public SessionListener, public DocumentHost
{
    explicit Hosts (TavlinApplication& application) : app (application) {}

    // What the media session asks of the application.
    juce::AudioFormatManager* getFormatManager() override { return app.getFormatManager(); }
    juce::AudioDeviceManager* getDeviceManager() override { return &app.getDeviceManager(); }
    juce::File getTemporaryFolder() override { return TemporaryFiles::getFolder(); }
    bool isLooping() override { return app.isLooping(); }
    bool isIdle() const override { return app.isIdle(); }
    void showProgress (const juce::String& text) override { app.showProgress (text); }
    void setProgress (double value) override { app.setProgress (value); }
    void hideProgress() override { app.hideProgress(); }

    void showWarning (const juce::String& title, const juce::String& message) override
    {
        juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
    }

    bool askOkCancel (const juce::String& title, const juce::String& message) override
    {
        return juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, title, message, "OK",
                                                   "Cancel", nullptr, nullptr);
    }

    bool isDocumentChanged() override { return app.document != nullptr && app.document->hasChangedSinceSaved(); }

    void setDocumentChanged (bool changed) override
    {
        if (app.document != nullptr)
            app.document->setChangedFlag (changed);
    }

    // What the session tells: the document analyses the extracted sound and hears what went wrong.
    void waveformReady (const juce::File& file) override { app.analyzeAudioFile (file); }

    void preparationFailed (const juce::File& media, const juce::String& reason, bool playable) override
    {
        if (app.document != nullptr)
            app.document->mediaPreparationFailed (media, reason, playable);
    }

    // What the document asks of the application.
    int chooseSaveFormat() override { return app.chooseSaveFileFormat(); }
    void enterPlayerMode() override { app.setPlayerMode (true); }
    bool isAnalyzeEnabled() override { return app.isAnalyzeEnabled(); }

    TavlinApplication& app;
};

TavlinApplication::TavlinApplication() = default;

TavlinApplication::~TavlinApplication() = default;

TavlinApplication* TavlinApplication::getApp()
{
    return dynamic_cast<TavlinApplication*> (juce::JUCEApplication::getInstance());
}

const juce::String TavlinApplication::getApplicationName()
{
    return "Tavlin";
}

const juce::String TavlinApplication::getApplicationVersion()
{
    return JUCE_APPLICATION_VERSION_STRING;
}

bool TavlinApplication::moreThanOneInstanceAllowed()
{
    return true;
}

//==============================================================================
void TavlinApplication::initialise (const juce::String& commandLine)
{
    diagnostics = std::make_unique<DiagnosticLog::Installed>();

    // One instance per user: a later launch only hands its command line on.
    instance = std::make_unique<InstanceForwarder> (
        InstanceForwarder::getDefaultFolder(), [this] (const juce::String& line) { anotherInstanceStarted (line); });

    if (!instance->claim())
    {
        handOverToRunningInstance (commandLine);
        return;
    }

    // No other run of the program is using its temporary files now: whatever a crash left goes.
    TemporaryFiles::deleteStaleTemporaries (TemporaryFiles::getFolder());
    juce::LookAndFeel::getDefaultLookAndFeel().setUsingNativeAlertWindows (true);

    hosts = std::make_unique<Hosts> (*this);
    panelHost = std::make_unique<ApplicationPanelHost> (*this);

    processor = std::make_unique<TavAudioProcessor>();
    processor->addChangeListener (this);
    sessionProcessor = std::make_unique<TavSessionProcessor> (processor->getChain());
    session = std::make_unique<MediaSession> (*hosts, *sessionProcessor);
    session->addListener (hosts.get());

    // The basic formats, then FFmpeg's reader for everything else this system decodes (m4a, aac, caf, mp3...).
    formatManager = std::make_unique<juce::AudioFormatManager>();
    tavlin::media::FFmpegAudioFormat::registerFormats (*formatManager);

    editorWindow = std::make_unique<TavEditorWindow> (*processor, commandManager, *this, *panelHost);
    auto* editor = getEditor();
    jassert (editor != nullptr);

    {
        auto savedSetup = editor->getPreferences().getAudioConfiguration();
        deviceManager.initialise (2, 2, savedSetup.get(), true, {}, nullptr); // a failure falls back silently
    }

    mediaWindow = std::make_unique<MediaWindow> (deviceManager, &editor->getPreferences(), *session, *processor,
                                                 commandManager, *this);
    mediaWindow->toFront (true);
    mediaWindow->setResizable (true, false);
    mediaWindow->setResizeLimits (640, 280, 100000, 100000);
    placeMediaWindow();

    document = std::make_unique<TavlinDocument> (*session, *processor, *hosts);
    document->setMainWindow (mediaWindow.get());

    userGuideWindow.reset();

    commandManager.registerAllCommandsForTarget (mediaWindow.get());
    commandManager.registerAllCommandsForTarget (this);
    mediaWindow->setApplicationCommandManagerToWatch (&commandManager);

    // The media window's menu bar is the application's main menu; its "Help" menu ends with the
    // application's own two items.
    mediaWindow->setMenuBar (mediaWindow.get());
    editorWindow->setMenuBar (nullptr);

    looping = true;
    playerMode = true;
    startTimer (startupTickMs);

    editor->getPreferences().setFirstLaunch (false);

    if (editor->isFirstLaunch())
    {
        if (juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, "Welcome to Tavlin!",
                                                "It looks like this is the first time you are using Tavlin.  "
                                                "Would you like to view the QuickStart Guide?",
                                                {}, {}, nullptr, nullptr))
            showUserGuide (true);
    }

    // The rating prompt keeps its own books; it starts at the next turn of the message loop.
    RatePrompt::load();

    // Files the desktop starts the program with arrive like a request to open them.
    if (commandLine.isNotEmpty())
        juce::MessageManager::callAsync (
            [commandLine]
            {
                if (auto* app = getApp())
                    app->anotherInstanceStarted (commandLine);
            });
}

void TavlinApplication::handOverToRunningInstance (const juce::String& commandLine)
{
    instance.reset();

    if (!InstanceForwarder::send (InstanceForwarder::getDefaultFolder(), commandLine, handOverTimeoutMs))
    {
        std::cerr << "Tavlin is already running but does not answer.\n";
        setApplicationReturnValue (1);
    }

    quit();
}

void TavlinApplication::shutdown()
{
    stopTimer();

    if (auto* editor = getEditor())
        editor->getPreferences().setAudioConfiguration (deviceManager); // before the store goes with the editor

    // Stop playback and the audio device first: the player's rendering and the device callbacks write
    // into what the windows own.
    if (mediaWindow != nullptr)
        mediaWindow->getControls().transport->loadMedia ({}, false);

    deviceManager.closeAudioDevice();

    editorWindow.reset();
    mediaWindow.reset();
    userGuideWindow.reset();

    // The session holds the processor: it goes first.
    if (session != nullptr)
        session->removeListener (hosts.get());

    session.reset();
    sessionProcessor.reset();

    if (processor != nullptr)
        processor->removeChangeListener (this);

    processor.reset();
    instance.reset();
    diagnostics.reset();
}

void TavlinApplication::anotherInstanceStarted (const juce::String& commandLine)
{
    auto path = CommandLineTokens::firstAbsolutePath (commandLine);

    if (path.isEmpty() || document == nullptr)
        return;

    // A quit or close remembered earlier goes first.
    if (isOperationRunning() || pendingRequest != PendingRequest::none
        || juce::Component::getCurrentlyModalComponent() != nullptr)
    {
        juce::Timer::callAfterDelay (openRetryMs,
                                     [commandLine]
                                     {
                                         if (auto* app = getApp())
                                             app->anotherInstanceStarted (commandLine);
                                     });
        return;
    }

    const OperationScope opening (*this);

    if (closeMediaDocument().failed())
        return;

    openMediaFile (juce::File (path), true);
}

void TavlinApplication::systemRequestedQuit()
{
    // Pulling the media from under a running save, opening or batch would lose the user's work: the quit
    // waits for it (a batch stops after the file it is at).
    if (isOperationRunning())
    {
        remember (PendingRequest::quit);
        return;
    }

    if (closeMediaDocument().failed())
        return;

    juce::MessageManager::getInstance()->runDispatchLoopUntil (quitSettleMs);
    deleteTempAudioFiles();
    tavlin::desktop::quitMessageLoop(); // the settle above is a nested loop, after which quit() alone can hang
}

void TavlinApplication::changeListenerCallback (juce::ChangeBroadcaster*)
{
    if (document != nullptr)
        document->changed();
}

void TavlinApplication::timerCallback()
{
    stopTimer();
    setPlayerMode (true);
}

//==============================================================================
juce::Result TavlinApplication::closeMediaDocument()
{
    if (document == nullptr)
        return juce::Result::ok();

    // Closing in the middle of an import, analysis or export would pull the media from under it.
    if (!isIdle())
        return juce::Result::fail ("Busy.");

    const OperationScope closing (*this); // "Yes" in the close question saves first
    auto result = document->closeMedia();

    if (result.wasOk())
    {
        placeMediaWindow();
        setPlayerMode (true);
    }

    return result;
}

void TavlinApplication::requestCloseMedia()
{
    if (isOperationRunning())
        remember (PendingRequest::closeMedia);
    else
        closeMediaDocument();
}

void TavlinApplication::requestQuit()
{
    systemRequestedQuit();
}

bool TavlinApplication::isOperationRunning() const
{
    return operationDepth > 0 || !isIdle();
}

void TavlinApplication::remember (PendingRequest request)
{
    if (request > pendingRequest)
        pendingRequest = request;

    if (pendingCheckScheduled)
        return;

    pendingCheckScheduled = true;
    juce::Timer::callAfterDelay (pendingRetryMs,
                                 []
                                 {
                                     if (auto* app = getApp())
                                         app->carryOutPendingRequest();
                                 });
}

void TavlinApplication::carryOutPendingRequest()
{
    pendingCheckScheduled = false;

    if (pendingRequest == PendingRequest::none)
        return;

    // Still running, or the operation's last question or message still up: look again shortly.
    if (isOperationRunning() || juce::Component::getCurrentlyModalComponent() != nullptr)
    {
        remember (pendingRequest);
        return;
    }

    const auto request = std::exchange (pendingRequest, PendingRequest::none);

    if (request == PendingRequest::quit)
        systemRequestedQuit();
    else
        closeMediaDocument();
}

void TavlinApplication::setPlayerMode (bool player)
{
    playerMode = player;

    if (mediaWindow == nullptr)
        return;

    auto file = document != nullptr ? document->getFile() : juce::File();
    auto exists = file.existsAsFile();
    mediaWindow->setMode (player, exists, exists ? file.getFileName() : juce::String());
}

bool TavlinApplication::isIdle() const
{
    auto* editor = getEditor();
    return editor == nullptr || !editor->isBusy();
}

bool TavlinApplication::isAnalyzeEnabled() const
{
    auto* editor = getEditor();
    return editor != nullptr && editor->getPreferences().getAnalyze();
}

juce::Result TavlinApplication::openMediaFile (const juce::File& file, bool showErrors)
{
    if (document == nullptr)
        return juce::Result::fail ("Unable to load document.");

    const OperationScope opening (*this);
    return document->openMedia (file, showErrors);
}

void TavlinApplication::openMediaInteractive()
{
    if (document == nullptr)
        return;

    const OperationScope opening (*this);
    document->showLoadErrors = true;
    document->loadFromUserSpecifiedFile (false);
}

void TavlinApplication::analyzeAudioFile (const juce::File& file)
{
    if (document != nullptr)
        document->analyzeMedia (file);
}

bool TavlinApplication::readAnalysisAudio (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer)
{
    return document != nullptr && document->readAnalysisSamples (startSample, numSamples, buffer);
}

void TavlinApplication::analyzeSelection()
{
    const OperationScope learning (*this);

    if (document != nullptr)
        document->learnFromRegion();
}

void TavlinApplication::showEditorPage (int page)
{
    if (auto* editor = getEditor())
        editor->showPage (page);
}

void TavlinApplication::showUserGuide (bool quickStart)
{
    if (userGuideWindow == nullptr)
    {
        userGuideWindow = std::make_unique<UserGuideWindow> (commandManager, *this);
        userGuideWindow->setResizable (true, false);
    }

    userGuideWindow->showGuide();

    if (quickStart)
        userGuideWindow->showQuickStart();
}

void TavlinApplication::placeMediaWindow()
{
    if (editorWindow == nullptr || mediaWindow == nullptr)
        return;

    auto bounds = WindowPlacement::placeMediaWindow (mainUserArea(), editorWindow->getBounds());
    mediaWindow->setVisible (false);
    mediaWindow->setBounds (bounds);
    mediaWindow->setVisible (true);
}

void TavlinApplication::deleteTempAudioFiles()
{
    // A WAV or AIFF conversion still writing reads one of these files.
    AudioWriterQueue::waitForAll();
    TemporaryFiles::deleteStaleAudioFiles (TemporaryFiles::getFolder());
    TemporaryFiles::deleteShareCopies();
}

void TavlinApplication::showProgress (const juce::String& text)
{
    ProgressDisplay (getEditor(), editorWindow.get(), mediaWindow.get(),
                     processor != nullptr ? &processor->getProgress() : nullptr)
        .show (text);
}

void TavlinApplication::setProgress (double value)
{
    ProgressDisplay (getEditor(), editorWindow.get(), mediaWindow.get(),
                     processor != nullptr ? &processor->getProgress() : nullptr)
        .set (value);
}

void TavlinApplication::hideProgress()
{
    ProgressDisplay (getEditor(), editorWindow.get(), mediaWindow.get(),
                     processor != nullptr ? &processor->getProgress() : nullptr)
        .hide();
}

//==============================================================================
void TavlinApplication::resetSettings()
{
    if (processor != nullptr)
        processor->resetToDefaults();

    if (mediaWindow != nullptr)
        mediaWindow->repaint();
}

void TavlinApplication::loadPreset()
{
    if (processor == nullptr)
        return;

    // A preset that does not load says why.
    TavlinSettingsDocument settings (*processor);
    settings.loadPresetInteractive();
}

void TavlinApplication::savePreset()
{
    if (processor == nullptr)
        return;

    // Asks before replacing a file; a failed save says why.
    TavlinSettingsDocument settings (*processor);
    settings.saveAsInteractive (true);
}

void TavlinApplication::saveMedia (bool asNew)
{
    const OperationScope saving (*this);

    if (document != nullptr && document->openedFile.getFullPathName().isNotEmpty())
        document->saveMedia (asNew);
}

void TavlinApplication::runBatchProcessor()
{
    if (processor == nullptr || document == nullptr)
        return;

    const OperationScope batch (*this);
    batchCancelled = false;

    juce::MemoryBlock settings (65536, true);
    processor->getStateInformation (settings);

    if (closeMediaDocument().failed())
        return;

    juce::FileChooser inputChooser ("Select a directory of input files for processing:", {}, "*", true);

    if (!inputChooser.browseForDirectory())
        return;

    juce::FileChooser outputChooser ("Select a directory to save processed files:", {}, "*", true);

    if (!outputChooser.browseForDirectory())
        return;

    batchProcessDirectory (inputChooser.getResult(), outputChooser.getResult(), settings);

    if (!batchCancelled)
        closeMediaDocument();

    // A quit stopped the run: the quit follows, and nobody is left to read how the run went.
    if (pendingRequest == PendingRequest::quit)
        return;

    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "Batch Processor",
                                            lastBatchSummary.describe());
}

bool TavlinApplication::batchProcessDirectory (const juce::File& input, const juce::File& output,
                                               const juce::MemoryBlock& settings)
{
    if (document == nullptr || session == nullptr || processor == nullptr)
        return false;

    const OperationScope batchRun (*this);
    ApplicationBatchHost host (*document, *session, *processor, settings,
                               [this] { return pendingRequest == PendingRequest::quit; });
    BatchProcessor batch (host);
    const auto ok = batch.processDirectory (input, output);
    lastBatchSummary = batch.getSummary();
    batchCancelled = lastBatchSummary.cancelled;
    return ok;
}

void TavlinApplication::togglePlayPause()
{
    if (auto* transport = playerTransport (mediaWindow.get()))
        transport->togglePlayPause();
}

void TavlinApplication::rewindToStart()
{
    if (auto* transport = playerTransport (mediaWindow.get()))
        transport->rewindToStart();
}

void TavlinApplication::stepForward()
{
    if (auto* transport = playerTransport (mediaWindow.get()))
        transport->stepForward();
}

void TavlinApplication::stepBackward()
{
    if (auto* transport = playerTransport (mediaWindow.get()))
        transport->stepBackward();
}

bool TavlinApplication::isPlaying()
{
    auto* transport = playerTransport (mediaWindow.get());
    return transport != nullptr && transport->isPlaying();
}

double TavlinApplication::getPlayerPosition()
{
    return document != nullptr ? document->getPlayerPosition() : 0.0;
}

void TavlinApplication::setLooping (bool on)
{
    looping = on;

    if (auto* transport = playerTransport (mediaWindow.get()))
        transport->setLooping (on);
}

void TavlinApplication::checkForUpdates()
{
    checkForUpdatesNow();
}

bool TavlinApplication::exportWithAudioFormat (const juce::File& source, const juce::File& destination, int quality)
{
    if (hosts == nullptr)
        return false;

    AudioFormatExporter::Request request;
    request.source = source;
    request.destination = destination;
    request.quality = quality;
    request.askQuestion = [this] (const juce::String& title, const juce::String& message)
    { return hosts->askOkCancel (title, message); };

    juce::String error;
    return AudioFormatExporter::exportWithAudioFormat (*hosts, request, error);
}

int TavlinApplication::chooseSaveFileFormat()
{
    if (document == nullptr)
        return 0;

    auto chooser = std::make_unique<FileTypeChooser> (document->formatIndex, document->qualityIndex);

    juce::DialogWindow::LaunchOptions options;
    options.dialogTitle = "Select File Format for Save";
    options.dialogBackgroundColour = juce::Colour (0xff000000);
    options.content.setNonOwned (chooser.get());
    options.componentToCentreAround = nullptr;
    options.escapeKeyTriggersCloseButton = true;
    options.useNativeTitleBar = true;
    options.resizable = false;
    options.useBottomRightCornerResizer = false;

    auto result = options.runModal();

    if (result != 0)
    {
        document->formatIndex = chooser->getSelectedFormatIndex();
        document->qualityIndex = chooser->getSelectedQualityIndex();
    }

    return result;
}

CommandTable::State TavlinApplication::getCommandState() const
{
    CommandTable::State state;
    state.idle = isIdle();
    state.mediaOpen = document != nullptr && document->openedFile.getFullPathName().isNotEmpty();
    state.playerMode = playerMode;
    state.looping = looping;
    return state;
}

TavUIEditor* TavlinApplication::getEditor() const
{
    return editorWindow != nullptr ? dynamic_cast<TavUIEditor*> (editorWindow->getContentComponent()) : nullptr;
}
