// Saving through the real dialogs of the running application, on a virtual display (the suite runs under
// xvfb-run): the save-format chooser answered by Return and Escape, and a save of each of the nine formats
// with the chooser and the file chooser driven the way a user would.

#include "../platform/MediaFixtures.h"
#include "FileTypeChooser.h"
#include "LocalHttpServer.h"
#include "ProcessingAVPlayer.h"
#include "StandaloneTestMain.h"
#include "TavPreferences.h"
#include "TavlinApplication.h"
#include "TavlinDocument.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>

namespace
{
const bool standalone = []
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new TavlinApplication(); };
    return true;
}();

template <typename Type>
Type* findChild (juce::Component& parent, const std::function<bool (Type&)>& matches = nullptr)
{
    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<Type*> (child))
            if (matches == nullptr || matches (*typed))
                return typed;

        if (auto* found = findChild<Type> (*child, matches))
            return found;
    }

    return nullptr;
}

/** Handles each modal window as it appears, one step per window, in order; fails on any window left over. */
class ModalScript : private juce::Timer
{
public:
    using Step = std::function<void (juce::Component& modal)>;

    explicit ModalScript (std::deque<Step> stepsToRun) : steps (std::move (stepsToRun)) { startTimer (20); }
    ~ModalScript() override { stopTimer(); }

    bool finished() const { return steps.empty(); }
    juce::StringArray seen;

private:
    void timerCallback() override
    {
        auto* modal = juce::Component::getCurrentlyModalComponent();

        if (modal == nullptr)
            return;

        // A window that a step should have ended but did not: fail, and end it so the test goes on.
        if (modal == last)
        {
            if (juce::Time::getMillisecondCounter() - since > 10000)
            {
                ADD_FAILURE() << "a window was left standing: " << modal->getName();
                modal->exitModalState (0);
            }

            return;
        }

        last = modal;
        since = juce::Time::getMillisecondCounter();
        seen.add (modal->getName());

        if (steps.empty())
        {
            ADD_FAILURE() << "a window nobody expected: " << modal->getName();
            modal->exitModalState (0);
            return;
        }

        auto step = std::move (steps.front());
        steps.pop_front();
        step (*modal);
    }

    std::deque<Step> steps;
    juce::Component* last = nullptr;
    juce::uint32 since = 0;
};

void pressKey (juce::Component& window, int keyCode)
{
    auto* peer = window.getPeer();
    ASSERT_NE (peer, nullptr);
    peer->handleKeyPress (juce::KeyPress (keyCode));
}

/** The chooser step: picks a format (and quality), checks what shows, then presses Return. */
ModalScript::Step chooseFormat (int format, int quality)
{
    return [=] (juce::Component& modal)
    {
        EXPECT_EQ (modal.getName(), "Select File Format for Save");
        auto* dialog = dynamic_cast<juce::DialogWindow*> (&modal);
        ASSERT_NE (dialog, nullptr);
        auto* chooser = dynamic_cast<FileTypeChooser*> (dialog->getContentComponent());
        ASSERT_NE (chooser, nullptr);

        chooser->getFormatBox().setSelectedItemIndex (format, juce::sendNotificationSync);
        chooser->getQualityBox().setSelectedItemIndex (quality, juce::sendNotificationSync);
        EXPECT_EQ (chooser->getQualityBox().isVisible(), format == 7 || format == 8);
        EXPECT_EQ (chooser->getQualityLabel().isVisible(), format == 7 || format == 8);
        pressKey (modal, juce::KeyPress::returnKey);
    };
}

/** The file chooser step: types a name in a folder and presses "Save". */
ModalScript::Step saveAs (const juce::File& folder, const juce::String& name)
{
    return [=] (juce::Component& modal)
    {
        auto* browser = findChild<juce::FileBrowserComponent> (modal);
        ASSERT_NE (browser, nullptr) << "the file chooser: " << modal.getName();
        EXPECT_EQ (modal.getName(), "Save media file as...");
        browser->setRoot (folder);
        auto* nameBox = findChild<juce::TextEditor> (*browser, [browser] (juce::TextEditor& e)
                                                     { return e.getParentComponent() == browser; });
        ASSERT_NE (nameBox, nullptr);
        nameBox->setText (name, true);
        auto* save =
            findChild<juce::TextButton> (modal, [] (juce::TextButton& b) { return b.getButtonText() == "Save"; });
        ASSERT_NE (save, nullptr);
        save->triggerClick();
    };
}

class SaveDialogsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (standalone);
        ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
            << "these tests open windows: run them under xvfb-run";

        // The file chooser must be the framework's own window, which the test can drive.
        for (auto* tool : { "zenity", "kdialog" })
            ASSERT_FALSE (juce::File ("/usr/bin").getChildFile (tool).existsAsFile())
                << tool << " would show the system's file chooser instead of the framework's";

        // One system temporary folder for the whole process: the program finds its private folder once.
        static const juce::File temporary = []
        {
            auto folder = juce::File::createTempFile ("tmpdir");
            folder.createDirectory();
            setenv ("TMPDIR", folder.getFullPathName().toRawUTF8(), 1);
            return folder;
        }();
        ASSERT_TRUE (temporary.isDirectory());
        setenv ("XDG_CONFIG_HOME", scratch.file ("config").getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_RUNTIME_DIR", scratch.file ("runtime").getFullPathName().toRawUTF8(), 1);
        scratch.file ("config").createDirectory();
        scratch.file ("runtime").createDirectory();
        TavPreferences (scratch.file ("config")).setFirstLaunch (false);

        ASSERT_TRUE (webProxy.isListening());
        webProxy.setReply ({ 503, "offline" });
        webProxy.routeWebRequestsHere();

        app = std::make_unique<TavlinApplication>();
        app->initialise ({});
        ASSERT_NE (app->getDocument(), nullptr);
    }

    void TearDown() override
    {
        ProcessingAVPlayer::waitForAudioWriters (60000);

        if (app != nullptr)
            app->shutdown();

        app.reset();
    }

    static bool pumpUntil (const std::function<bool()>& done, int limitMs = 30000)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) limitMs;

        while (!done() && juce::Time::getMillisecondCounter() < end)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

        return done();
    }

    void openMovie()
    {
        ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                              "sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac "
                                              "-shortest "
                                              + movie.getFullPathName().quoted()));
        ASSERT_TRUE (app->openMediaFile (movie, false).wasOk());
        ASSERT_TRUE (pumpUntil ([this] { return app->getDocument()->analysisFile.existsAsFile() && app->isIdle(); }));
    }

    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::ScratchFolder scratch;
    tavlin::test::LocalHttpServer webProxy;
    std::unique_ptr<TavlinApplication> app;
    juce::File movie = scratch.file ("clip.mov");
};

TEST_F (SaveDialogsTest, TheChooserTakesReturnAndEscape)
{
    auto& document = *app->getDocument();
    document.formatIndex = 8;
    document.qualityIndex = 9;

    {
        // Escape: the choice made meanwhile is dropped.
        ModalScript script ({ [] (juce::Component& modal)
                              {
                                  auto* dialog = dynamic_cast<juce::DialogWindow*> (&modal);
                                  ASSERT_NE (dialog, nullptr);
                                  auto* chooser = dynamic_cast<FileTypeChooser*> (dialog->getContentComponent());
                                  ASSERT_NE (chooser, nullptr);

                                  const char* entries[] = { "QuickTime",
                                                            "MPEG-4",
                                                            "M4V",
                                                            "M4A (Audio Only)",
                                                            "CoreAudio (Audio Only)",
                                                            "WAVE (Audio Only)",
                                                            "AIFF (Audio Only)",
                                                            "FLAC (Audio Only)",
                                                            "MP3 (Audio Only)" };
                                  auto& box = chooser->getFormatBox();
                                  ASSERT_EQ (box.getNumItems(), (int) std::size (entries));

                                  for (int i = 0; i < box.getNumItems(); ++i)
                                      EXPECT_EQ (box.getItemText (i), entries[i]) << "item index = format index";

                                  EXPECT_EQ (chooser->getFormatBox().getText(), "MP3 (Audio Only)");
                                  EXPECT_TRUE (chooser->getQualityBox().isVisible()) << "MP3 shows its quality";
                                  EXPECT_EQ (chooser->getQualityBox().getText(), "10 (high/slow)");
                                  chooser->getFormatBox().setSelectedItemIndex (1, juce::sendNotificationSync);
                                  EXPECT_FALSE (chooser->getQualityBox().isVisible());
                                  pressKey (modal, juce::KeyPress::escapeKey);
                              } });
        EXPECT_EQ (app->chooseSaveFileFormat(), 0);
        EXPECT_TRUE (script.finished());
        EXPECT_EQ (document.formatIndex, 8);
        EXPECT_EQ (document.qualityIndex, 9);
    }

    {
        // Return: both choices go into the document, the quality chosen under MP3 included.
        ModalScript script ({ [] (juce::Component& modal)
                              {
                                  auto* chooser = dynamic_cast<FileTypeChooser*> (
                                      dynamic_cast<juce::DialogWindow&> (modal).getContentComponent());
                                  ASSERT_NE (chooser, nullptr);
                                  chooser->getQualityBox().setSelectedItemIndex (2, juce::sendNotificationSync);
                                  chooser->getFormatBox().setSelectedItemIndex (4, juce::sendNotificationSync);
                                  pressKey (modal, juce::KeyPress::returnKey);
                              } });
        EXPECT_EQ (app->chooseSaveFileFormat(), 1);
        EXPECT_TRUE (script.finished());
        EXPECT_EQ (document.formatIndex, 4);
        EXPECT_EQ (document.qualityIndex, 2);
    }
}

TEST_F (SaveDialogsTest, SavesEachFormatThroughTheDialogs)
{
    ASSERT_NO_FATAL_FAILURE (openMovie());
    auto& document = *app->getDocument();
    const auto folder = scratch.file ("saved");
    ASSERT_TRUE (folder.createDirectory());

    for (int format = 0; format < TavlinDocument::numFormats; ++format)
    {
        const auto extension = TavlinDocument::getExtensionForFormat (format);
        SCOPED_TRACE (extension);
        const auto name = "copy " + juce::String (format);

        ModalScript script ({ chooseFormat (format, 4), saveAs (folder, name) });
        EXPECT_EQ (document.saveMedia (true), juce::FileBasedDocument::savedOk);
        EXPECT_TRUE (script.finished()) << script.seen.joinIntoString (", ");
        ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));

        const auto written = folder.getChildFile (name + extension);
        EXPECT_TRUE (written.existsAsFile());
        EXPECT_EQ (document.getFile(), folder.getChildFile (name)) << "the chosen name is the document file";
        EXPECT_EQ (document.formatIndex, format);
        EXPECT_EQ (document.qualityIndex, 4);
        EXPECT_TRUE (app->isIdle());

        // What was written is whole sound of the movie's length.
        std::unique_ptr<juce::AudioFormatReader> reader (app->getFormatManager()->createReaderFor (written));
        ASSERT_NE (reader, nullptr);
        EXPECT_NEAR ((double) reader->lengthInSamples / reader->sampleRate, 1.0, 0.03);
    }

    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), TavlinDocument::numFormats)
        << "nothing else is left beside the copies";
}

} // namespace
