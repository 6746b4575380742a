// The batch walk over folder trees made at run time, with a host standing in for the media document: what
// is opened, what is saved where, when each save may start, Escape, refused folders, folder links and
// clashing names.

#include "BatchProcessor.h"
#include "HangGuard.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace
{
/** A media document in miniature. Files open as media unless their text is "not media"; the format follows
    the extension as the document's table does (a recognised one is kept, anything else gives ".mov"), and a
    save writes the destination with that extension. A file is ready to be saved readyAfterSlices slices of
    message loop after it opened ("never" in its text: not at all; "fails": known at once never to be).
*/
class FakeHost : public BatchProcessor::Host
{
public:
    bool loadMedia (const juce::File& file) override
    {
        loaded.add (file.getFullPathName());
        current = juce::File();
        ready = false;

        if (file.loadFileAsString() == "not media")
            return false;

        current = file;
        slicesSinceLoad = 0;
        const auto ext = file.getFileExtension().toLowerCase();
        extension =
            juce::StringArray { ".mov", ".mp4", ".m4v", ".m4a", ".caf", ".wav", ".aif", ".flac", ".mp3" }.contains (ext)
                ? ext
                : ".mov";
        return true;
    }

    bool isReadyToExport() override
    {
        ready = current != juce::File() && !current.loadFileAsString().contains ("never")
                && slicesSinceLoad >= readyAfterSlices;
        return ready;
    }

    juce::String getPreparationFailure() override
    {
        return current != juce::File() && current.loadFileAsString().contains ("fails") ? "the disk is full" : "";
    }

    void applySettings() override { settingsApplied = true; }

    juce::File getSavedFile (const juce::File& destination) override
    {
        return destination.withFileExtension (extension);
    }

    bool saveMedia (const juce::File& destination) override
    {
        if (!ready || !settingsApplied)
            savedTooEarly.add (current.getFileName());

        settingsApplied = false;
        auto out = getSavedFile (destination);
        saves[out.getFullPathName()] = current.getFullPathName();
        return !current.getFileName().contains ("unwritable") && out.replaceWithText ("processed");
    }

    bool isCancelKeyDown() override
    {
        return cancelWhileLoading.isNotEmpty() && current.getFileName() == cancelWhileLoading;
    }

    void runMessageLoop (int ms) override
    {
        clock += ms;
        ++slicesSinceLoad;
    }

    double getMillisecondCounter() override { return clock; }

    int readyAfterSlices = 3;
    juce::String cancelWhileLoading;
    juce::StringArray loaded, savedTooEarly;
    std::map<juce::String, juce::String> saves; // saved file -> the input it came from

private:
    juce::File current;
    juce::String extension;
    bool ready = false, settingsApplied = false;
    int slicesSinceLoad = 0;
    double clock = 0.0;
};

class BatchProcessorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = juce::File::createTempFile ("batch");
        ASSERT_TRUE (root.createDirectory());
        in = root.getChildFile ("in");
        out = root.getChildFile ("out");
        ASSERT_TRUE (in.createDirectory());
    }

    void TearDown() override { root.deleteRecursively(); }

    /** Makes the files (paths relative to in; text "not media" for files that do not open). */
    void make (std::initializer_list<std::pair<const char*, const char*>> files)
    {
        for (auto& [path, text] : files)
        {
            auto f = in.getChildFile (path);
            ASSERT_TRUE (f.getParentDirectory().createDirectory());
            ASSERT_TRUE (f.replaceWithText (text));
        }
    }

    /** The files under out, relative, sorted. */
    juce::StringArray outputTree() const
    {
        juce::StringArray names;
        for (auto& f : out.findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
            names.add (f.getRelativePathFrom (out));
        names.sort (false);
        return names;
    }

    juce::String relative (const juce::String& path) const { return juce::File (path).getRelativePathFrom (in); }

    juce::File root, in, out;
    FakeHost host;
};

TEST_F (BatchProcessorTest, OutputTreeMirrorsTheInputTree)
{
    make ({ { "song.wav", "" },
            { "clip.mpg", "" },
            { ".notes", "" },
            { "readme.txt", "not media" },
            { "sub/voice.wav", "" },
            { "sub/deeper/take.MOV", "" },
            { ".hidden/inside.flac", "" } });

    BatchProcessor batch (host);
    EXPECT_TRUE (batch.processDirectory (in, out));

    EXPECT_EQ (outputTree().joinIntoString ("|"),
               ".hidden/inside.flac|clip.mov|song.wav|sub/deeper/take.mov|sub/voice.wav");

    juce::StringArray loaded;
    for (auto& path : host.loaded)
        loaded.add (relative (path));
    EXPECT_EQ (loaded.joinIntoString ("|"),
               "clip.mpg|readme.txt|song.wav|.hidden/inside.flac|sub/voice.wav|sub/deeper/take.MOV")
        << "files by name, then folders; hidden files never opened";

    EXPECT_TRUE (host.savedTooEarly.isEmpty()) << host.savedTooEarly.joinIntoString (", ");
    const auto& summary = batch.getSummary();
    EXPECT_EQ (summary.saved, 5);
    EXPECT_EQ (summary.skipped, 1);
    EXPECT_TRUE (summary.completed());
    EXPECT_EQ (summary.describe(), "Batch File Processing has completed.");
}

TEST_F (BatchProcessorTest, NamedPipesAndDevicesAreNeverOpened)
{
    make ({ { "a.wav", "" } });
    const auto pipe = in.getChildFile ("pipe.wav");
    ASSERT_EQ (::mkfifo (pipe.getFullPathName().toRawUTF8(), 0600), 0);
    ASSERT_TRUE (juce::File ("/dev/zero").createSymbolicLink (in.getChildFile ("zero.wav"), false));

    BatchProcessor batch (host);
    const tavlin::test::HangGuard guard (pipe);
    EXPECT_TRUE (batch.processDirectory (in, out));
    EXPECT_FALSE (guard.fired()) << "the walk waited on the named pipe";
    EXPECT_EQ (host.loaded, juce::StringArray (in.getChildFile ("a.wav").getFullPathName()));
    EXPECT_EQ (outputTree().joinIntoString ("|"), "a.wav");
}

TEST_F (BatchProcessorTest, EachSaveWaitsUntilItsFileIsReadyWithinATimeLimit)
{
    make ({ { "a.wav", "" }, { "b.wav", "never" }, { "c.wav", "" } });
    host.readyAfterSlices = 250; // 2.5 s of message loop: longer than any fixed wait

    BatchProcessor batch (host, 60000.0);
    EXPECT_TRUE (batch.processDirectory (in, out)) << "a file that is not ready does not end the run";

    EXPECT_TRUE (host.savedTooEarly.isEmpty()) << host.savedTooEarly.joinIntoString (", ");
    EXPECT_EQ (outputTree().joinIntoString ("|"), "a.wav|c.wav");

    const auto& summary = batch.getSummary();
    EXPECT_EQ (summary.saved, 2);
    EXPECT_EQ (summary.notSaved, 1);
    EXPECT_FALSE (summary.completed());
    EXPECT_TRUE (summary.describe().startsWith ("Batch File Processing did not complete: 1 of 3 files"))
        << summary.describe();
    EXPECT_TRUE (summary.describe().contains ("b.wav\" did not get ready")) << summary.describe();
}

TEST_F (BatchProcessorTest, AFileThatCanNeverBeReadyEndsItsWaitAtOnce)
{
    make ({ { "a.wav", "never ready: its preparation fails" }, { "b.wav", "" } });

    BatchProcessor batch (host); // the ten-minute limit
    EXPECT_TRUE (batch.processDirectory (in, out));
    EXPECT_EQ (outputTree().joinIntoString ("|"), "b.wav");
    EXPECT_LT (host.getMillisecondCounter(), 1000.0) << "the limit was not waited out";

    const auto& summary = batch.getSummary();
    EXPECT_EQ (summary.saved, 1);
    EXPECT_EQ (summary.notSaved, 1);
    EXPECT_TRUE (summary.describe().contains ("a.wav\" could not be prepared: the disk is full")) << summary.describe();
}

TEST_F (BatchProcessorTest, EscapeCancelsBeforeTheFileInHandIsSaved)
{
    struct Case
    {
        const char* cancelAt;
        const char* savedBefore;
    };

    const Case cases[] = {
        { "a.wav", "" },
        { "b.wav", "a.wav" },
        { "c.wav", "a.wav|b.wav" }, // in a sub-folder: the cancellation travels up
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.cancelAt);
        out.deleteRecursively();
        make ({ { "a.wav", "" }, { "b.wav", "" }, { "sub/c.wav", "" }, { "sub/d.wav", "" }, { "z/e.wav", "" } });
        host = {};
        host.cancelWhileLoading = c.cancelAt;

        BatchProcessor batch (host);
        EXPECT_FALSE (batch.processDirectory (in, out));
        EXPECT_TRUE (batch.getSummary().cancelled);
        EXPECT_EQ (batch.getSummary().describe(), "Batch File Processing was canceled.");
        EXPECT_EQ (outputTree().joinIntoString ("|"), c.savedBefore);
        EXPECT_EQ (relative (host.loaded[host.loaded.size() - 1]).fromLastOccurrenceOf ("/", false, false), c.cancelAt)
            << "nothing is opened after the cancellation";
    }
}

TEST_F (BatchProcessorTest, RefusesAnOutputFolderInsideTheInputTree)
{
    make ({ { "a.wav", "" }, { "sub/b.wav", "" } });
    auto linkToSub = root.getChildFile ("link-to-sub");
    ASSERT_TRUE (in.getChildFile ("sub").createSymbolicLink (linkToSub, true));

    struct Case
    {
        const char* name;
        juce::File input, output;
        const char* expected;
    };

    const Case cases[] = {
        { "the input folder itself", in, in, "cannot be the input folder" },
        { "a new folder inside it", in, in.getChildFile ("processed"), "cannot be the input folder" },
        { "a folder deeper inside", in, in.getChildFile ("sub/processed"), "cannot be the input folder" },
        { "a link into it", in, linkToSub.getChildFile ("processed"), "cannot be the input folder" },
        { "no input folder", root.getChildFile ("missing"), out, "does not exist" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        host = {};
        BatchProcessor batch (host);
        EXPECT_FALSE (batch.processDirectory (c.input, c.output));
        EXPECT_TRUE (batch.getSummary().refused);
        EXPECT_TRUE (batch.getSummary().describe().contains (c.expected)) << batch.getSummary().describe();
        EXPECT_TRUE (host.loaded.isEmpty());
        EXPECT_TRUE (host.saves.empty());
        EXPECT_FALSE (in.getChildFile ("processed").exists()) << "no folder is made";
    }

    EXPECT_EQ (BatchProcessor::checkFolders (in.getChildFile ("sub"), in), juce::String())
        << "an output folder may hold the input folder";
    EXPECT_EQ (BatchProcessor::checkFolders (in, root.getChildFile ("in2")), juce::String())
        << "a sibling whose name starts alike is outside";
}

TEST_F (BatchProcessorTest, FolderLinksNeverLeadRoundInALoopNorIntoTheOutput)
{
    make ({ { "a.wav", "" }, { "sub/b.wav", "" } });
    auto elsewhere = root.getChildFile ("elsewhere");
    ASSERT_TRUE (elsewhere.createDirectory());
    ASSERT_TRUE (elsewhere.getChildFile ("c.wav").replaceWithText (""));
    ASSERT_TRUE (out.createDirectory());
    ASSERT_TRUE (out.getChildFile ("old.wav").replaceWithText ("an earlier copy"));

    ASSERT_TRUE (in.createSymbolicLink (in.getChildFile ("sub/back-to-top"), true));
    ASSERT_TRUE (in.getChildFile ("sub").createSymbolicLink (in.getChildFile ("alias"), true));
    ASSERT_TRUE (elsewhere.createSymbolicLink (in.getChildFile ("external"), true));
    ASSERT_TRUE (in.createSymbolicLink (elsewhere.getChildFile ("loop"), true));
    ASSERT_TRUE (out.createSymbolicLink (in.getChildFile ("to-output"), true));

    BatchProcessor batch (host);
    EXPECT_TRUE (batch.processDirectory (in, out));
    EXPECT_EQ (outputTree().joinIntoString ("|"), "a.wav|external/c.wav|old.wav|sub/b.wav");
    EXPECT_EQ (host.loaded.size(), 3) << host.loaded.joinIntoString ("\n");
    EXPECT_EQ (out.getChildFile ("old.wav").loadFileAsString(), "an earlier copy");
}

TEST_F (BatchProcessorTest, InputsSavedUnderOneNameGetDistinctNames)
{
    make ({ { "clip.mpg", "" },
            { "clip.avi", "" },
            { "clip.mov", "" },
            { "clip (2).mkv", "" },
            { "song.WAV", "" },
            { "song.wav", "" },
            { "sub/clip.mpg", "" } });

    for (int run = 0; run < 2; ++run)
    {
        SCOPED_TRACE (run);
        host = {};
        BatchProcessor batch (host);
        EXPECT_TRUE (batch.processDirectory (in, out));
        EXPECT_EQ (batch.getSummary().saved, 7);

        std::map<juce::String, juce::String> saves;
        for (auto& [saved, input] : host.saves)
            saves[juce::File (saved).getRelativePathFrom (out)] = relative (input);

        const std::map<juce::String, juce::String> expected = {
            { "clip (2).mov", "clip (2).mkv" }, // in name order, so "clip (2)" comes first
            { "clip.mov", "clip.avi" },         { "clip (3).mov", "clip.mov" }, // "clip (2).mov" is taken
            { "clip (4).mov", "clip.mpg" },     { "song (2).wav", "song.wav" },
            { "song.wav", "song.WAV" },         { "sub/clip.mov", "sub/clip.mpg" },
        };
        EXPECT_EQ (saves, expected) << "a second run into the same folder uses the same names";
    }
}

TEST_F (BatchProcessorTest, FailuresToWriteAreNeverReportedAsCompleted)
{
    make ({ { "a.wav", "" }, { "b unwritable.wav", "" }, { "c.wav", "" } });
    {
        BatchProcessor batch (host);
        EXPECT_TRUE (batch.processDirectory (in, out)) << "a failed save does not stop the run";
        EXPECT_EQ (outputTree().joinIntoString ("|"), "a.wav|c.wav");
        EXPECT_NE (batch.getSummary().describe(), "Batch File Processing has completed.");
        EXPECT_TRUE (batch.getSummary().describe().contains ("1 of 3 files could not be saved"))
            << batch.getSummary().describe();
    }

    // An output folder that cannot be made ends the run.
    out.deleteRecursively();
    make ({ { "sub/d.wav", "" }, { "zz/e.wav", "" } });
    ASSERT_TRUE (out.createDirectory());
    ASSERT_TRUE (out.getChildFile ("sub").replaceWithText ("a file in the way"));
    host = {};
    BatchProcessor batch (host);
    EXPECT_FALSE (batch.processDirectory (in, out));
    EXPECT_FALSE (batch.getSummary().completed());
    EXPECT_TRUE (batch.getSummary().describe().contains ("could not be created")) << batch.getSummary().describe();
    EXPECT_FALSE (host.loaded.contains (in.getChildFile ("zz/e.wav").getFullPathName())) << "the run ended there";
}
} // namespace
