// The application in this process, on a virtual display (the suite runs under xvfb-run): start-up, a
// later launch's command line, the busy state, the commands through the windows, quitting and shutdown.

#include "TavlinApplication.h"
#include "../platform/MediaFixtures.h"
#include "ApplicationTestSupport.h"
#include "CommandTable.h"
#include "InstanceForwarder.h"
#include "LocalHttpServer.h"
#include "MediaControlsComponent.h"
#include "MediaWindow.h"
#include "SocketWatch.h"
#include "StandaloneTestMain.h"
#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavEditorWindow.h"
#include "TavPreferences.h"
#include "TavUIEditor.h"
#include "TavlinDocument.h"
#include "TemporaryFiles.h"
#include "UserGuideWindow.h"
#include "WindowPlacement.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace
{
using namespace tavlin::test;

class TavlinApplicationTest : public ApplicationTest
{
};
} // namespace

TEST_F (TavlinApplicationTest, StartsUpInOrder)
{
    auto privateFolder = TemporaryFiles::getFolder();
    ASSERT_EQ (privateFolder.getParentDirectory(), processTemp());
    auto stale = privateFolder.getChildFile ("temp_1f.TempCleanAudio.m4a");
    auto foreign = processTemp().getChildFile ("another-program.m4a");
    stale.replaceWithText ("x");
    foreign.replaceWithText ("x");

    start();

    EXPECT_EQ (app->getApplicationName(), "Tavlin");
    EXPECT_EQ (app->getApplicationVersion(), "5.0.0");
    EXPECT_EQ (TavlinApplication::getApp(), app.get());
    EXPECT_FALSE (stale.exists()) << "stale temporary sound is removed at start";
    EXPECT_TRUE (foreign.exists()) << "other programs' files are left alone";

    // The processor, heard by the application: its change messages mark the document changed.
    ASSERT_NE (app->getProcessor(), nullptr);
    EXPECT_FALSE (document().hasChangedSinceSaved());
    markChanged();
    EXPECT_TRUE (document().hasChangedSinceSaved());
    document().setChangedFlag (false);

    ASSERT_NE (app->getFormatManager(), nullptr);
    EXPECT_GE (app->getFormatManager()->getNumKnownFormats(), 4);
    EXPECT_EQ (app->getFormatManager()->getKnownFormat (0)->getFormatName(), "WAV file");

    // The processing window, centred with its top 64 px down, showing the panel.
    auto* editorWindow = app->getEditorWindow();
    ASSERT_NE (editorWindow, nullptr);
    EXPECT_TRUE (editorWindow->isVisible());
    EXPECT_TRUE (editorWindow->isUsingNativeTitleBar());
    EXPECT_EQ (editorWindow->getBounds(), WindowPlacement::placeEditorWindow (userArea(), 780, 400));
    ASSERT_NE (app->getEditor(), nullptr);
    EXPECT_EQ (app->getEditor()->getMainPanel().getParentComponent(), app->getEditor());
    EXPECT_EQ (editorWindow->getMenuBarComponent(), nullptr) << "no menu bar of its own";

    // The media window under it, with the menu bar.
    auto* mediaWindow = app->getMediaWindow();
    ASSERT_NE (mediaWindow, nullptr);
    EXPECT_TRUE (mediaWindow->isVisible());
    EXPECT_EQ (mediaWindow->getBounds(), WindowPlacement::placeMediaWindow (userArea(), editorWindow->getBounds()));
    EXPECT_TRUE (mediaWindow->isResizable());
    auto* limits = mediaWindow->getConstrainer();
    ASSERT_NE (limits, nullptr);
    EXPECT_EQ (limits->getMinimumWidth(), 640);
    EXPECT_EQ (limits->getMinimumHeight(), 280);
    EXPECT_EQ (limits->getMaximumWidth(), 100000);
    EXPECT_EQ (limits->getMaximumHeight(), 100000);
    EXPECT_NE (mediaWindow->getMenuBarComponent(), nullptr);
    EXPECT_EQ (app->getUserGuideWindow(), nullptr) << "the guide is made on first use";

    // Building the processing window ran the background update check and the rating prompt counted the
    // launch; a build that names no feed and no store (the default) sends nothing anywhere for either.
    EXPECT_TRUE (pumpUntil (
        [this]
        { return config.getChildFile ("Tavlin Defaults.xml").loadFileAsString().contains ("RatePromptUseCount"); }));
    pump (500);
    EXPECT_EQ (webProxy.getRequestCount(), 0) << webProxy.getRequestLines().joinIntoString ("\n");
    EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineConnections()), "");
    EXPECT_EQ (tavlin::test::SocketWatch::join (tavlin::test::SocketWatch::offMachineLookups()), "");

    // Every command is registered with its key, besides the framework's quit.
    auto& commands = app->getCommandManager();
    juce::Array<juce::CommandID> ids;
    CommandTable::getAllCommands (ids);
    EXPECT_EQ (commands.getNumCommands(), ids.size() + 1);

    for (auto id : ids)
        EXPECT_NE (commands.getCommandForID (id), nullptr) << std::hex << id;

    EXPECT_EQ (commands.getKeyMappings()->findCommandForKeyPress (
                   juce::KeyPress ('l', juce::ModifierKeys::commandModifier, 0)),
               CommandIDs::loop);

    EXPECT_TRUE (app->isLooping());
    EXPECT_TRUE (app->isPlayerMode());
    EXPECT_TRUE (app->isIdle());
    EXPECT_FALSE (app->getEditor()->getPreferences().getFirstLaunch());

    // 50 ms after start-up the media window shows the player and says so.
    EXPECT_TRUE (pumpUntil ([&] { return mediaTitle() == "Media Player"; }));
    EXPECT_TRUE (mediaWindow->getControls().playerMode);

    // The document is bound to the media window.
    EXPECT_TRUE (app->openMediaFile (clipA, false).wasOk());
    EXPECT_EQ (document().openedFile, clipA);
    EXPECT_EQ (mediaTitle(), "my clip.mov");
}

TEST_F (TavlinApplicationTest, FirstLaunchOffersTheQuickStartOnce)
{
    struct Case
    {
        int answer; // 1 OK, 0 Cancel
        bool guideShown;
    };

    for (auto c : { Case { 0, false }, Case { 1, true } })
    {
        SCOPED_TRACE (c.answer);
        makeSettings (true);
        bool flagWrittenBeforeTheQuestion = false;
        juce::String message;

        DialogAnswerer answerer (
            c.answer,
            [&] (juce::Component& modal)
            {
                flagWrittenBeforeTheQuestion = !app->getEditor()->getPreferences().getFirstLaunch();

                message = modal.getDescription(); // an alert describes itself as its title, ". " and its text
            });

        start();

        EXPECT_TRUE (answerer.answered);
        EXPECT_EQ (answerer.title, "Welcome to Tavlin!");
        EXPECT_EQ (message, "Welcome to Tavlin!. It looks like this is the first time you are using Tavlin.  Would you "
                            "like to view the QuickStart Guide?");
        EXPECT_TRUE (flagWrittenBeforeTheQuestion);
        EXPECT_EQ (app->getUserGuideWindow() != nullptr && app->getUserGuideWindow()->isVisible(), c.guideShown);
        stop();

        // Whatever the answer, the next start asks nothing.
        DialogAnswerer none (0);
        start();
        pump (100);
        EXPECT_FALSE (none.answered);
        stop();
    }
}

TEST_F (TavlinApplicationTest, LaterLaunchOpensTheFirstAbsolutePath)
{
    start();
    auto send = [&] (const juce::String& line) { EXPECT_TRUE (InstanceForwarder::send (runtime, line, 3000)); };

    send ("--verbose relative.mov \"" + clipA.getFullPathName() + "\" " + clipB.getFullPathName());
    EXPECT_TRUE (pumpUntil ([&] { return document().openedFile == clipA; }));
    EXPECT_EQ (mediaTitle(), "my clip.mov");

    // A launch naming no absolute path leaves the open media alone: no close gate, no question.
    {
        DialogAnswerer noQuestion (0);
        markChanged();
        send ("");
        send ("relative.mov -x");
        pump (300);
        EXPECT_FALSE (noQuestion.answered);
        EXPECT_EQ (document().openedFile, clipA);
    }

    // Changed media: the close gate asks; Cancel keeps the media and the forwarded file is not opened.
    {
        DialogAnswerer cancel (0);
        send (clipB.getFullPathName());
        EXPECT_TRUE (pumpUntil ([&] { return cancel.answered; }));
        EXPECT_EQ (cancel.title, "Apply Tavlin before closing?");
        pump (100);
        EXPECT_EQ (document().openedFile, clipA);
    }

    // "No" closes without saving and opens it.
    {
        DialogAnswerer no (2);
        send (clipB.getFullPathName());
        EXPECT_TRUE (pumpUntil ([&] { return document().openedFile == clipB; }));
        EXPECT_TRUE (no.answered);
        EXPECT_EQ (mediaTitle(), "second.wav");
    }

    // Files the program is started with are opened the same way, after start-up.
    stop();
    start ("\"" + clipA.getFullPathName() + "\"");
    EXPECT_TRUE (pumpUntil ([&] { return document().openedFile == clipA; }));
}

TEST_F (TavlinApplicationTest, BusyStateHoldsCommandsClicksAndRequests)
{
    start();
    ASSERT_TRUE (app->openMediaFile (clipA, false).wasOk());
    auto* mediaWindow = app->getMediaWindow();

    app->showProgress ("Saving...");
    EXPECT_FALSE (app->isIdle());
    EXPECT_FALSE (takesClicks (*app->getEditorWindow()));
    EXPECT_FALSE (takesClicks (*mediaWindow));

    juce::Array<juce::CommandID> ids;
    CommandTable::getAllCommands (ids);

    for (auto id : ids)
    {
        juce::ApplicationCommandInfo info (id);
        mediaWindow->getCommandInfo (id, info);
        EXPECT_NE (info.flags & juce::ApplicationCommandInfo::isDisabled, 0) << std::hex << id;
    }

    // Nothing may pull the media from under the running operation; the media window's close button is
    // remembered for when it has ended (a quit likewise: QuitDuringSaveTest).
    EXPECT_TRUE (app->closeMediaDocument().failed());
    EXPECT_TRUE (app->isOperationRunning());
    mediaWindow->closeButtonPressed();
    EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::closeMedia);
    pump (300);
    EXPECT_EQ (document().openedFile, clipA);

    // "About Tavlin" does nothing while busy; a forwarded file waits.
    mediaWindow->menuItemSelected (CommandIDs::showAbout, 2);
    EXPECT_EQ (app->getEditor()->getMainPanel().getParentComponent(), app->getEditor());
    EXPECT_TRUE (InstanceForwarder::send (runtime, clipB.getFullPathName(), 3000));
    pump (500);
    EXPECT_EQ (document().openedFile, clipA);

    app->setProgress (0.97);
    EXPECT_FALSE (app->isIdle());
    EXPECT_EQ (app->getProcessor()->getProgress(), 0.97);

    DialogAnswerer no (2); // should the close gate ask on the way, close without saving
    app->hideProgress();
    EXPECT_TRUE (app->isIdle());
    EXPECT_TRUE (takesClicks (*mediaWindow));
    EXPECT_TRUE (pumpUntil ([&] { return document().openedFile == clipB; })) << "the waiting file opens now";
    EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::none);

    mediaWindow->menuItemSelected (CommandIDs::showAbout, 2);
    EXPECT_EQ (app->getEditor()->getMainPanel().getParentComponent(), nullptr) << "the credits page shows";
}

TEST_F (TavlinApplicationTest, CommandsThroughTheWindows)
{
    start();
    pump (100);
    auto* mediaWindow = app->getMediaWindow();
    auto run = [&] (juce::CommandID id)
    { return app->getEditorWindow()->perform (juce::ApplicationCommandTarget::InvocationInfo (id)); };

    EXPECT_TRUE (run (CommandIDs::loop));
    EXPECT_FALSE (app->isLooping());
    EXPECT_TRUE (run (CommandIDs::loop));
    EXPECT_TRUE (app->isLooping());

    EXPECT_TRUE (run (CommandIDs::showMediaRecorder));
    EXPECT_FALSE (app->isPlayerMode());
    EXPECT_FALSE (mediaWindow->getControls().playerMode);
    EXPECT_EQ (mediaTitle(), "Recorder");
    EXPECT_TRUE (run (CommandIDs::playPause)) << "active in recorder mode too, and does nothing";
    EXPECT_TRUE (run (CommandIDs::showMediaPlayer));
    EXPECT_EQ (mediaTitle(), "Media Player");

    EXPECT_FALSE (run (0x2008));
    EXPECT_FALSE (run (0x2100));

    ASSERT_TRUE (app->openMediaFile (clipA, false).wasOk());
    EXPECT_EQ (mediaTitle(), "my clip.mov");
    EXPECT_TRUE (run (CommandIDs::closeMedia));
    EXPECT_EQ (document().openedFile, juce::File());
    EXPECT_EQ (mediaTitle(), "Media Player");

    // Reset puts the processor back to its factory settings.
    auto* processor = app->getProcessor();
    auto factory = processor->getParameter (0);
    processor->setParameter (0, factory > 0.5f ? 0.1f : 0.9f);
    EXPECT_TRUE (run (CommandIDs::resetSettings));
    EXPECT_EQ (processor->getParameter (0), factory);

    // The user guide: made on first use, 900 x 740 and centred; closing only hides it.
    EXPECT_TRUE (run (CommandIDs::showUserGuide));
    auto* guide = app->getUserGuideWindow();
    ASSERT_NE (guide, nullptr);
    EXPECT_TRUE (guide->isVisible());
    EXPECT_EQ (guide->getName(), "Tavlin User Guide");
    EXPECT_EQ (guide->getBounds(), userArea().withSizeKeepingCentre (900, 740));
    guide->closeButtonPressed();
    EXPECT_FALSE (guide->isVisible());
    EXPECT_TRUE (run (CommandIDs::showUserGuide));
    EXPECT_EQ (app->getUserGuideWindow(), guide);
    EXPECT_TRUE (guide->isVisible());

    // The save-format dialog: Escape changes nothing, OK takes the chosen format and quality.
    {
        DialogAnswerer escape (0,
                               [] (juce::Component& modal)
                               {
                                   EXPECT_EQ (modal.getName(), "Select File Format for Save");

                                   if (auto* dialog = dynamic_cast<juce::DialogWindow*> (&modal))
                                       for (auto* child : dialog->getContentComponent()->getChildren())
                                           if (auto* combo = dynamic_cast<juce::ComboBox*> (child))
                                               combo->setSelectedItemIndex (5);
                               });
        EXPECT_EQ (app->chooseSaveFileFormat(), 0);
        EXPECT_TRUE (escape.answered);
        EXPECT_EQ (document().formatIndex, 0);
        EXPECT_EQ (document().qualityIndex, 9);
    }
    {
        DialogAnswerer ok (DialogAnswerer::leaveToCheck,
                           [] (juce::Component& modal)
                           {
                               juce::Component* content = nullptr;

                               if (auto* dialog = dynamic_cast<juce::DialogWindow*> (&modal))
                                   content = dialog->getContentComponent();

                               ASSERT_NE (content, nullptr);

                               for (auto* child : content->getChildren())
                                   if (auto* combo = dynamic_cast<juce::ComboBox*> (child))
                                       combo->setSelectedItemIndex (combo->getNumItems() == 9 ? 7 : 3);

                               for (auto* child : content->getChildren())
                                   if (auto* button = dynamic_cast<juce::TextButton*> (child))
                                       button->triggerClick();
                           });
        EXPECT_EQ (app->chooseSaveFileFormat(), 1);
        EXPECT_EQ (document().formatIndex, 7);
        EXPECT_EQ (document().qualityIndex, 3);
    }

    // The media window's close button closes the media and leaves the window open.
    ASSERT_TRUE (app->openMediaFile (clipA, false).wasOk());
    mediaWindow->closeButtonPressed();
    EXPECT_EQ (document().openedFile, juce::File());
    EXPECT_TRUE (mediaWindow->isVisible());
}

// Quitting ends this process's message loop, so this comes last.
TEST_F (TavlinApplicationTest, QuitGoesThroughTheCloseGateThenShutsDownInOrder)
{
    start();
    auto stale = TemporaryFiles::getFolder().getChildFile ("temp_2e.TempCleanAudio.m4a");

    struct Way
    {
        const char* what;
        std::function<void()> ask;
    };

    const Way ways[] = {
        { "quit request", [&] { app->systemRequestedQuit(); } },
        { "processing window's close button", [&] { app->getEditorWindow()->closeButtonPressed(); } },
    };

    // Cancel in the close gate's question: the application keeps running, the files stay.
    for (auto& way : ways)
    {
        SCOPED_TRACE (way.what);
        ASSERT_TRUE (app->openMediaFile (clipA, false).wasOk());
        markChanged();
        stale.replaceWithText ("x");

        DialogAnswerer cancel (0);
        way.ask();
        EXPECT_TRUE (cancel.answered);
        EXPECT_EQ (cancel.title, "Apply Tavlin before closing?");
        EXPECT_FALSE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());
        EXPECT_TRUE (stale.exists());
        EXPECT_EQ (document().openedFile, clipA);
    }

    // "No": closed without saving, the stale files go, the loop is told to end.
    DialogAnswerer no (2);
    app->getEditorWindow()->closeButtonPressed();
    EXPECT_TRUE (no.answered);
    EXPECT_EQ (document().openedFile, juce::File());
    EXPECT_FALSE (stale.exists());
    EXPECT_TRUE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());

    app->shutdown();
    EXPECT_EQ (app->getEditorWindow(), nullptr);
    EXPECT_EQ (app->getMediaWindow(), nullptr);
    EXPECT_EQ (app->getUserGuideWindow(), nullptr);
    EXPECT_EQ (app->getProcessor(), nullptr);
    EXPECT_EQ (app->getEditor(), nullptr);
    EXPECT_TRUE (TavPreferences (config).getFile().existsAsFile()) << "the editor's store was written as it went";

    InstanceForwarder next (runtime, nullptr);
    EXPECT_TRUE (next.claim()) << "the instance lock went with the application";
    app.reset();
}
