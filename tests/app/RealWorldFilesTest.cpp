// The running application in this process, on a virtual display (the suite runs under xvfb-run), with files
// as users have them: paths that are no regular file at every way in, sound that no decoder takes, a copy
// whose writing fails, names of any length and of bytes that are not UTF-8, the private temporary folder
// removed while the program runs, and the temporary files a crash left behind.

#include "../platform/MediaFixtures.h"
#include "ApplicationInProcess.h"
#include "FailingOutputStream.h"
#include "HangGuard.h"
#include "MediaContainerComponent.h"
#include "MediaControlsComponent.h"
#include "MediaSession.h"
#include "MediaWindow.h"
#include "MessageLoop.h"
#include "SharePicker.h"
#include "StandaloneTestMain.h"
#include "TavlinDocument.h"
#include "TavlinSettingsDocument.h"
#include "TemporaryFiles.h"
#include "TransportComponent.h"

#include "desktop/FileNameBytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <utime.h>

using tavlin::desktop::FileNameBytes;

namespace
{
/** Closes every modal box as soon as it shows, keeping its title. */
class BoxCloser : private juce::Timer
{
public:
    BoxCloser() { startTimer (10); }
    ~BoxCloser() override { stopTimer(); }

    juce::StringArray titles;

private:
    void timerCallback() override
    {
        if (auto* modal = juce::Component::getCurrentlyModalComponent())
        {
            titles.add (modal->getName());
            modal->exitModalState (0);
        }
    }
};

/** Keeps what the program writes to the log. */
class LogCapture : public juce::Logger
{
public:
    LogCapture() { juce::Logger::setCurrentLogger (this); }
    ~LogCapture() override { juce::Logger::setCurrentLogger (nullptr); }

    juce::StringArray lines;

private:
    void logMessage (const juce::String& message) override { lines.add (message); }
};

/** Hears how each save of a session ended. */
class SaveResults : private SessionListener
{
public:
    explicit SaveResults (MediaSession& sessionToHear) : session (sessionToHear) { session.addListener (this); }
    ~SaveResults() override { session.removeListener (this); }

    /** Why the last save failed; empty after one that succeeded. */
    juce::String lastError;

private:
    void exportFinished (const juce::File&, const juce::Result& result) override
    {
        lastError = result.getErrorMessage();
    }

    MediaSession& session;
};

void pump (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

/** Runs the message loop until done() holds, for up to limitMs; what done() says then. */
bool pumpUntil (const std::function<bool()>& done, int limitMs = 5000)
{
    for (int waited = 0; !done() && waited < limitMs; waited += 10)
        pump (10);

    return done();
}

bool isWave (const juce::File& file)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    return reader != nullptr && reader->lengthInSamples > 0;
}

class RealWorldFilesTest : public tavlin::test::ApplicationInProcess
{
protected:
    static bool writeTone (const juce::File& file, juce::AudioFormat&& format)
    {
        return tavlin::test::writeWithJuce (format, file, 44100.0, 2, 22050, 16,
                                            [] (int64_t n, int ch)
                                            { return tavlin::test::sineSample (n, ch, 44100.0); });
    }

    TavlinDocument& document() { return *app->getDocument(); }
};
} // namespace

TEST_F (RealWorldFilesTest, EveryWayInRefusesWhatIsNoRegularFileAtOnceInOneMessage)
{
    ASSERT_NO_FATAL_FAILURE (start());
    const auto in = root.getChildFile ("in");

    struct Kind
    {
        const char* name;
        std::function<bool (const juce::File&)> make;
        const char* what;
    };

    const Kind kinds[] = {
        { "pipe.wav", [] (auto& f) { return ::mkfifo (f.getFullPathName().toRawUTF8(), 0600) == 0; }, "a named pipe" },
        { "device.wav", [] (auto& f) { return juce::File ("/dev/zero").createSymbolicLink (f, false); }, "a device" },
        { "folder.wav", [] (auto& f) { return f.createDirectory().wasOk(); }, "a folder" },
    };

    // Each way gives what it said, or "opened".
    LogCapture log;

    struct Way
    {
        const char* name;
        std::function<juce::String (const juce::File&)> open;
        bool tells; // shows its one message
        int limitMs = 10000; // beyond which it counts as waiting on the file
    };

    const auto loggedOrOpened = [&]
    { return document().openedFile == juce::File() ? log.lines.joinIntoString ("\n") : juce::String ("opened"); };

    const Way ways[] = {
        { "open command and recorder hand-off",
          [&] (auto& f) { return app->openMediaFile (f, true).getErrorMessage(); }, true },
        { "second launch",
          [&] (auto& f)
          {
              app->anotherInstanceStarted ("tavlin " + f.getFullPathName().quoted());
              return loggedOrOpened();
          },
          true },
        { "drop",
          [&] (auto& f)
          {
              auto& view = app->getMediaWindow()->getControls().transport->getMediaView();
              view.filesDropped (juce::StringArray (f.getFullPathName()), 10, 10);
              return loggedOrOpened();
          },
          true },
        { "preset",
          [&] (auto& f)
          {
              TavlinSettingsDocument settings (*app->getProcessor());
              return settings.loadPreset (f, true).getErrorMessage();
          },
          true },
        { "batch",
          [&] (auto& f) -> juce::String
          {
              // In the input tree beside a good file: a folder (with a pipe and a device inside) is walked
              // as a folder, the others are met through a link. Only the good file is opened and saved.
              const auto folder = root.getChildFile ("batch-in"), out = root.getChildFile ("batch-out");
              folder.deleteRecursively();
              out.deleteRecursively();
              folder.createDirectory();

              if (!writeTone (folder.getChildFile ("good.wav"), juce::WavAudioFormat()))
                  return "no good file";

              const auto entry = folder.getChildFile (f.getFileName());
              const auto innerPipe = entry.getChildFile ("inner pipe.wav");

              if (f.isDirectory())
              {
                  entry.createDirectory();
                  ::mkfifo (innerPipe.getFullPathName().toRawUTF8(), 0600);
                  juce::File ("/dev/zero").createSymbolicLink (entry.getChildFile ("inner device.wav"), false);
              }
              else
              {
                  f.createSymbolicLink (entry, false);
              }

              {
                  const tavlin::test::HangGuard inner (innerPipe, 60000);
                  app->batchProcessDirectory (folder, out, state());

                  if (inner.fired())
                      return "it waited on the pipe inside the folder";
              }

              const auto summary = app->getLastBatchSummary();
              app->closeMediaDocument();
              juce::StringArray written;

              for (auto& w : out.findChildFiles (juce::File::findFiles, true, "*"))
                  written.add (w.getRelativePathFrom (out));

              const bool truthful = summary.completed() && summary.saved == 1 && summary.skipped == 0
                                    && summary.notSaved == 0 && written == juce::StringArray ("good.wav")
                                    && out.getChildFile ("good.wav").getSize() > 1000;
              return truthful
                         ? juce::String()
                         : summary.describe() + " (saved " + juce::String (summary.saved) + ", skipped "
                               + juce::String (summary.skipped) + "; written: " + written.joinIntoString (", ") + ")";
          },
          false, 60000 },
    };

    for (const auto& kind : kinds)
    {
        const auto file = in.getChildFile (kind.name);
        ASSERT_TRUE (kind.make (file));

        for (const auto& way : ways)
        {
            SCOPED_TRACE (juce::String (kind.name) + " by " + way.name);
            log.lines.clear();
            BoxCloser boxes;
            juce::String said;

            {
                const tavlin::test::HangGuard guard (file, way.limitMs);
                said = way.open (file);
                EXPECT_FALSE (guard.fired()) << "it waited on the file";
            }

            // A refusal that comes through the message loop (a drop's) shows its box only once the loop has run
            // it, later on a loaded machine; then a while more, in which no second box may follow.
            if (way.tells)
                pumpUntil ([&] { return !boxes.titles.isEmpty(); });

            pump (150);
            EXPECT_EQ (document().openedFile, juce::File());

            if (!way.tells)
            {
                EXPECT_EQ (said, juce::String());
                EXPECT_TRUE (boxes.titles.isEmpty()) << boxes.titles.joinIntoString (", ");
                continue;
            }

            EXPECT_EQ (boxes.titles, juce::StringArray ("Failed to open file...")) << "one message";

            const auto reason = "\"" + juce::String (kind.name) + "\" is not a regular file: it is " + kind.what + ".";
            EXPECT_TRUE (said.contains (reason)) << said;
        }
    }
}

TEST_F (RealWorldFilesTest, ABatchOverUndecodableAndGoodSoundEndsWithoutWaiting)
{
    ASSERT_NO_FATAL_FAILURE (start());
    const auto in = root.getChildFile ("in"), out = root.getChildFile ("out");
    ASSERT_TRUE (tavlin::test::writeUndecodableWav (in.getChildFile ("a-unknown-tag.wav")));
    ASSERT_TRUE (writeTone (in.getChildFile ("b-good.wav"), juce::WavAudioFormat()));

    BoxCloser boxes;
    const auto started = juce::Time::getMillisecondCounterHiRes();
    EXPECT_TRUE (app->batchProcessDirectory (in, out, state()));
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    const auto& summary = app->getLastBatchSummary();
    EXPECT_EQ (summary.skipped, 1) << "refused at its opening";
    EXPECT_EQ (summary.saved, 1);
    EXPECT_TRUE (summary.completed()) << summary.describe();
    EXPECT_LT (seconds, 120.0) << "the ten-minute wait for readiness was not run out";
    EXPECT_TRUE (isWave (out.getChildFile ("b-good.wav")));
    EXPECT_FALSE (out.getChildFile ("a-unknown-tag.wav").exists());
    EXPECT_TRUE (boxes.titles.isEmpty()) << "a batch opens without messages";
}

TEST_F (RealWorldFilesTest, ABatchStopsWaitingForAFileWhoseSoundCannotBePrepared)
{
    ASSERT_NO_FATAL_FAILURE (start());
    const auto in = root.getChildFile ("in"), out = root.getChildFile ("out");
    ASSERT_TRUE (writeTone (in.getChildFile ("take.wav"), juce::WavAudioFormat()));

    // No private folder can be made: the system's temporary directory is a file now.
    const auto tmp = root.getChildFile ("tmp");
    ASSERT_TRUE (tmp.deleteRecursively());
    ASSERT_TRUE (tmp.replaceWithText ("not a folder"));

    BoxCloser boxes;
    const auto started = juce::Time::getMillisecondCounterHiRes();
    app->batchProcessDirectory (in, out, state());
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    const auto& summary = app->getLastBatchSummary();
    EXPECT_EQ (summary.notSaved, 1);
    EXPECT_TRUE (summary.describe().contains ("take.wav\" could not be prepared: ")) << summary.describe();
    EXPECT_LT (seconds, 120.0) << "the ten-minute wait for readiness was not run out";
    EXPECT_TRUE (boxes.titles.isEmpty()) << "a batch opens without messages";
}

TEST_F (RealWorldFilesTest, ABatchCountsAWavOrAiffCopyOnlyOnceItIsWritten)
{
    ASSERT_NO_FATAL_FAILURE (start());
    auto* player = &app->getSession()->getPlayer().getExporter();

    struct Case
    {
        const char* name;
        std::function<bool (const juce::File&)> write;
    };

    const Case cases[] = {
        { "take.wav", [] (const juce::File& f) { return writeTone (f, juce::WavAudioFormat()); } },
        { "take.aif", [] (const juce::File& f) { return writeTone (f, juce::AiffAudioFormat()); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto in = root.getChildFile ("in"), out = root.getChildFile ("out");
        in.deleteRecursively();
        out.deleteRecursively();
        ASSERT_TRUE (in.createDirectory());
        ASSERT_TRUE (c.write (in.getChildFile (c.name)));

        // The disk fills up a few kilobytes into the copy.
        player->openAudioWriterStream = [] (const juce::File& file)
        { return std::make_unique<tavlin::test::FailingOutputStream> (file, 4096); };

        BoxCloser boxes;
        EXPECT_TRUE (app->batchProcessDirectory (in, out, state()));
        const auto& summary = app->getLastBatchSummary();
        EXPECT_EQ (summary.saved, 0);
        EXPECT_EQ (summary.notSaved, 1);
        EXPECT_FALSE (summary.completed());
        EXPECT_TRUE (summary.describe().contains (juce::String (c.name) + "\" could not be saved"))
            << summary.describe();
        EXPECT_TRUE (out.findChildFiles (juce::File::findFiles, true, "*").isEmpty());
        pump (100);
        EXPECT_EQ (boxes.titles, juce::StringArray (TavlinDocument::saveFailureTitle)) << "the failure told once";

        // With room on the disk the same batch saves the copy, whole, and counts it.
        player->openAudioWriterStream = nullptr;
        EXPECT_TRUE (app->batchProcessDirectory (in, out, state()));
        EXPECT_EQ (app->getLastBatchSummary().saved, 1) << app->getLastBatchSummary().describe();
        EXPECT_TRUE (app->getLastBatchSummary().completed());
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (out.getChildFile (c.name)));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->lengthInSamples, 22050);
        ASSERT_TRUE (app->closeMediaDocument().wasOk());
    }
}

TEST_F (RealWorldFilesTest, ThePrivateFolderRemovedBetweenTwoSavesIsMadeAgain)
{
    ASSERT_NO_FATAL_FAILURE (start());
    const auto clip = root.getChildFile ("in/clip.mov");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                          "sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac "
                                          "-shortest "
                                          + clip.getFullPathName().quoted()));
    ASSERT_TRUE (app->openMediaFile (clip, false).wasOk());
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil (
        [&] { return app->getSession()->getPlayer().getExtractedFile().existsAsFile() && app->isIdle(); }));

    const auto folder = TemporaryFiles::getFolder();
    const auto out = root.getChildFile ("out");
    const SaveResults saves (*app->getSession());

    for (auto* name : { "first.wav", "second.wav", "third.mov" })
    {
        SCOPED_TRACE (name);
        document().formatIndex =
            TavlinDocument::getFormatForExtension (juce::File::createFileWithoutCheckingPath (name).getFileExtension());
        ASSERT_EQ (document().saveAs (out.getChildFile (name), false, false, false), juce::FileBasedDocument::savedOk)
            << saves.lastError;
        EXPECT_TRUE (out.getChildFile (name).existsAsFile());

        // A temp cleaner takes the whole folder away while the program runs.
        ASSERT_TRUE (folder.deleteRecursively());
    }

    EXPECT_EQ (TemporaryFiles::getFolder(), folder) << "made again, under its own name";
    struct stat info;
    ASSERT_EQ (::stat (folder.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u);
}

TEST_F (RealWorldFilesTest, NamesOfAnyLengthAndBytesKeepTheirExtensionAndFormat)
{
    ASSERT_NO_FATAL_FAILURE (start());
    const auto in = root.getChildFile ("in"), out = root.getChildFile ("out");

    // 255-byte names (the most a name may have), one of them not UTF-8.
    const auto oddWav = FileNameBytes::textOf ("bad_utf8_\xff\xfe" + std::string (240, 'w') + ".wav");
    const auto longFlac = juce::String::repeatedString ("\xc3\xa9", 125) + ".flac";
    ASSERT_EQ (FileNameBytes::bytesOf (oddWav).size(), 255u);
    ASSERT_EQ (FileNameBytes::bytesOf (longFlac).size(), 255u);
    ASSERT_TRUE (writeTone (FileNameBytes::childOf (in, oddWav), juce::WavAudioFormat()));
    ASSERT_TRUE (writeTone (FileNameBytes::childOf (in, longFlac), juce::FlacAudioFormat()));

    BoxCloser boxes;
    EXPECT_TRUE (app->batchProcessDirectory (in, out, state()));
    EXPECT_TRUE (app->getLastBatchSummary().completed()) << app->getLastBatchSummary().describe();
    EXPECT_EQ (app->getLastBatchSummary().saved, 2);
    EXPECT_EQ (FileNameBytes::listFolder (out, false, true).size(), 2) << "no partial file left beside them";

    const auto wavFile = FileNameBytes::childOf (out, oddWav);
    EXPECT_TRUE (isWave (wavFile)) << FileNameBytes::forDisplay (oddWav) << " is a WAVE file";

    juce::FlacAudioFormat flac;
    const auto flacFile = FileNameBytes::childOf (out, longFlac);
    std::unique_ptr<juce::AudioFormatReader> reader (
        flac.createReaderFor (flacFile.createInputStream().release(), true));
    EXPECT_NE (reader, nullptr) << "the long FLAC name holds FLAC";
    EXPECT_TRUE (boxes.titles.isEmpty()) << boxes.titles.joinIntoString (", ");

    // Opened by hand, the odd name proposes its own format, and a save by hand keeps it.
    ASSERT_TRUE (app->openMediaFile (FileNameBytes::childOf (in, oddWav), false).wasOk());
    EXPECT_EQ (document().formatIndex, 5);
    EXPECT_EQ (document().getSuggestedSaveAsFile (FileNameBytes::childOf (out, oddWav)),
               FileNameBytes::childOf (out, FileNameBytes::stemOf (wavFile) + " (2).wav"));
}

TEST_F (RealWorldFilesTest, WhatACrashLeftIsRemovedAtStartAndShareCopiesAtQuit)
{
    // A run that ended without cleaning up: its extracted and decoded sound, its processed sound, a partial
    // save, beside files that are not its temporaries.
    const auto folder = TemporaryFiles::getFolder();
    ASSERT_TRUE (folder.isDirectory());
    juce::StringArray stale { "temp_1a.TempCleanAudio.wav", "temp_2b.TempCleanAudioP.wav", "temp_3c.TempCleanAudio.m4a",
                              ".clip-1.partial-00000000000000ff.mov" };
    juce::StringArray kept { "tavlin.lock", "notes.txt" };

    for (auto& name : stale)
        ASSERT_TRUE (folder.getChildFile (name).replaceWithText ("left by a crash"));

    for (auto& name : kept)
        ASSERT_TRUE (folder.getChildFile (name).replaceWithText ("x"));

    ASSERT_NO_FATAL_FAILURE (start());

    for (auto& name : stale)
        EXPECT_FALSE (folder.getChildFile (name).exists()) << name;

    for (auto& name : kept)
        EXPECT_TRUE (folder.getChildFile (name).exists()) << name;

    // A share copy lives until quit.
    const auto clip = root.getChildFile ("in/voice.wav");
    ASSERT_TRUE (writeTone (clip, juce::WavAudioFormat()));
    ASSERT_TRUE (app->openMediaFile (clip, false).wasOk());
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil (
        [&] { return app->isIdle() && app->getSession()->getPlayer().getExtractedFile().existsAsFile(); }));

    auto& player = app->getSession()->getPlayer();
    player.getSharing().presentSharePicker = [] (const SharePicker::Chosen&) {};
    player.showServicePicker();
    const auto shared = player.getSharing().getShareFile();
    EXPECT_TRUE (shared.existsAsFile());
    EXPECT_EQ (shared.getParentDirectory(), folder);

    app->deleteTempAudioFiles(); // as the quit does
    EXPECT_FALSE (shared.exists());
    EXPECT_TRUE (folder.getChildFile ("notes.txt").exists());
}
