// The media document without the application or a display: the format table, the suggested save name,
// the overwrite guard, saves that fail, the close gate, and the two offline passes over generated sound.
// Its questions are answered by the test instead of alert boxes.

#include "TavlinDocument.h"
#include "FakePlayerHost.h"
#include "MediaContainerComponent.h"
#include "ProcessingAVPlayer.h"
#include "ProcessorTestSupport.h"
#include "TransportComponent.h"

#include "FailingOutputStream.h"
#include "HangGuard.h"
#include "StallingOutputStream.h"

#include "ZNoiseAnalyzer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using player_test::FakePlayerHost;
using player_test::FakeSession;
using player_test::pumpUntil;
using tavlin::test::ScratchFolder;

namespace
{
constexpr double rate = 44100.0;

juce::MemoryBlock contentOf (const juce::File& file)
{
    juce::MemoryBlock block;
    file.loadFileAsData (block);
    return block;
}

/** The document on a media session of the test's own, answering its questions as told. */
class TestDocument : public TavlinDocument
{
public:
    TestDocument (MediaSession& session, FakePlayerHost& host) : TavlinDocument (session, host.processor, host) {}

    juce::StringArray asked;
    int chooserResult = 1, chooserFormat = -1;
    bool replaceAnswer = true;
    int applyAnswer = 2;
    bool analyze = true;

protected:
    int chooseSaveFormat() override
    {
        asked.add ("Select File Format for Save");

        if (chooserResult != 0 && chooserFormat >= 0)
            formatIndex = chooserFormat;

        return chooserResult;
    }

    void showNoOverwrite() override { asked.add (noOverwriteTitle + ": " + noOverwriteText); }

    bool confirmReplace (const juce::File& out) override
    {
        asked.add (replaceTitle + ": " + replaceText.replace ("DCNM", out.getFileName()));
        return replaceAnswer;
    }

    int askApplyBeforeClosing() override
    {
        asked.add (applyTitle + ": " + applyText.replace ("DCNM", getDocumentTitle()));
        return applyAnswer;
    }

    bool isAnalyzeEnabled() override { return analyze; }
    void enterPlayerMode() override {}
    void showFailure (const juce::String& title, const juce::String& message) override
    {
        asked.add (title + ": " + message);
    }
};

class TavlinDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override { juce::MessageManager::getInstance(); }

    void TearDown() override
    {
        if (transport != nullptr)
            transport->loadMedia ({}, false);

        ProcessingAVPlayer::waitForAudioWriters (60000);
    }

    /** Opens a generated WAV file in the document and waits until the player has set it up. */
    void open (const juce::File& file)
    {
        ASSERT_TRUE (tavlin::test::writeWav (file, rate, 2, (int64_t) rate, 16,
                                             [] (int64_t n, int ch)
                                             { return tavlin::test::sineSample (n, ch, rate); }));
        if (transport == nullptr)
            transport = std::make_unique<TransportComponent> (session, host.processor, host);

        const auto before = host.analyzed.size();
        ASSERT_TRUE (document.loadFrom (file, false).wasOk());
        ASSERT_TRUE (pumpUntil ([&] { return host.analyzed.size() > before && host.isIdle(); }));
        ASSERT_EQ (document.openedFile, file);
        ASSERT_EQ (document.getFile(), file);

        // The application hands the extracted sound to the document; this host only records it.
        document.analysisFile = host.analyzed.getLast();
        ASSERT_FALSE (document.hasChangedSinceSaved());
    }

    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
    FakeSession session { host };
    std::unique_ptr<TransportComponent> transport;
    TestDocument document { session, host };
};

TEST (TavlinDocumentFormats, ExtensionsByIndexAndIndicesByExtension)
{
    const char* written[] = { ".mov", ".mp4", ".m4v", ".m4a", ".caf", ".wav", ".aif", ".flac", ".mp3" };

    for (int i = 0; i < TavlinDocument::numFormats; ++i)
    {
        EXPECT_EQ (TavlinDocument::getExtensionForFormat (i), written[i]);
        EXPECT_EQ (TavlinDocument::getFormatForExtension (written[i]), i);
        EXPECT_EQ (TavlinDocument::getFormatForExtension (juce::String (written[i]).toUpperCase()), i);
    }

    struct Case
    {
        const char* extension;
        int format;
    };

    for (auto c : { Case { ".Flac", 7 }, Case { ".Mp3", 8 }, Case { ".aiff", 0 }, Case { ".mpg", 0 }, Case { "", 0 },
                    Case { "wav", 0 }, Case { ".wav ", 0 } })
        EXPECT_EQ (TavlinDocument::getFormatForExtension (c.extension), c.format) << c.extension;

    for (int index : { -1, 9, 100 })
        EXPECT_EQ (TavlinDocument::getExtensionForFormat (index), juce::String()) << index;
}

// The table's columns agree with each other and with what the platform's file types can hold.
TEST (TavlinDocumentFormats, EachFormatCarriesWhatItsRouteNeeds)
{
    for (const auto& format : SaveFormat::table)
    {
        SCOPED_TRACE (format.extension);

        EXPECT_EQ (format.fileType.has_value(), !format.isConverted()) << "a remux or a writer queue names its type";
        EXPECT_EQ (format.hasQualityChoice, format.isConverted()) << "only the framework's writers take a quality";

        if (format.fileType.has_value())
        {
            EXPECT_EQ (tavlin::media::MediaFileTypeInfo::of (*format.fileType).holdsVideo, format.keepsPicture);
        }

        EXPECT_TRUE (!format.keepsPicture || format.isRemuxed()) << "a picture is kept only by a remux";
        EXPECT_TRUE (format.isRemuxed() || format.losslessIntermediate) << "a conversion starts from lossless sound";
    }

    EXPECT_EQ (SaveFormat::find (-1), nullptr);
    EXPECT_EQ (SaveFormat::find (SaveFormat::count), nullptr);
}

TEST (TavlinDocumentFiles, SameFileThroughLinksAndSecondPathsOnly)
{
    ScratchFolder scratch;
    const auto original = scratch.file ("clip.mov");
    ASSERT_TRUE (original.replaceWithText ("picture and sound"));
    const auto other = scratch.file ("other.mov");
    ASSERT_TRUE (other.replaceWithText ("picture and sound"));

    const auto symlink = scratch.file ("link.mov");
    ASSERT_EQ (::symlink (original.getFullPathName().toRawUTF8(), symlink.getFullPathName().toRawUTF8()), 0);
    const auto hardLink = scratch.file ("hard.mov");
    ASSERT_EQ (::link (original.getFullPathName().toRawUTF8(), hardLink.getFullPathName().toRawUTF8()), 0);
    const auto folderLink = scratch.file ("again");
    ASSERT_EQ (::symlink (scratch.get().getFullPathName().toRawUTF8(), folderLink.getFullPathName().toRawUTF8()), 0);

    struct Case
    {
        juce::File candidate;
        bool same;
    };

    const Case cases[] = {
        { original, true },
        { symlink, true },
        { hardLink, true },
        { folderLink.getChildFile ("clip.mov"), true },
        { juce::File (scratch.get().getFullPathName() + "/./clip.mov"), true },
        { other, false },
        { scratch.file ("clip.wav"), false },
        { folderLink.getChildFile ("missing.mov"), false },
        { juce::File(), false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (TavlinDocument::isSameFile (c.candidate, original), c.same) << c.candidate.getFullPathName();

    EXPECT_TRUE (TavlinDocument::isSameFile (scratch.file ("missing.mov"), folderLink.getChildFile ("missing.mov")))
        << "a file yet to be made is one name, whichever way the folder is reached";
}

TEST_F (TavlinDocumentTest, SuggestsTheFormatsExtensionAndAFreeName)
{
    const auto clip = scratch.file ("clip.mov");
    ASSERT_TRUE (clip.replaceWithText ("x"));

    document.formatIndex = 0;
    EXPECT_EQ (document.getSuggestedSaveAsFile (clip), scratch.file ("clip (2).mov"));
    document.formatIndex = 5;
    EXPECT_EQ (document.getSuggestedSaveAsFile (clip), scratch.file ("clip.wav"));
    ASSERT_TRUE (scratch.file ("clip.wav").replaceWithText ("x"));
    EXPECT_EQ (document.getSuggestedSaveAsFile (clip), scratch.file ("clip (2).wav"));
    document.formatIndex = 8;
    EXPECT_EQ (document.getSuggestedSaveAsFile (scratch.file ("take")), scratch.file ("take.mp3"));
}

TEST_F (TavlinDocumentTest, NeverSavesOverTheOpenedMedia)
{
    const auto opened = scratch.file ("voice.wav");
    ASSERT_NO_FATAL_FAILURE (open (opened));
    EXPECT_EQ (document.formatIndex, 5) << "the format follows the opened file's extension";
    const auto before = contentOf (opened);

    const auto symlink = scratch.file ("link.wav");
    ASSERT_EQ (::symlink (opened.getFullPathName().toRawUTF8(), symlink.getFullPathName().toRawUTF8()), 0);
    const auto hardLink = scratch.file ("hard.wav");
    ASSERT_EQ (::link (opened.getFullPathName().toRawUTF8(), hardLink.getFullPathName().toRawUTF8()), 0);

    // Each names the opened file: itself, without the extension that the format gives back, a link to it,
    // a second name of it.
    for (const auto& target : { opened, scratch.file ("voice"), symlink, hardLink })
    {
        SCOPED_TRACE (target.getFileName());
        document.asked.clear();
        EXPECT_EQ (document.saveAs (target, false, false, false), juce::FileBasedDocument::failedToWriteToFile);
        ASSERT_EQ (document.asked.size(), 1);
        EXPECT_EQ (document.asked[0], TavlinDocument::noOverwriteTitle + ": " + TavlinDocument::noOverwriteText);
        EXPECT_EQ (document.getFile(), opened) << "the framework keeps the document file";
        EXPECT_EQ (contentOf (opened), before);
    }

    EXPECT_EQ (document.saveDocument (hardLink).getErrorMessage(),
               "Tavlin does not overwrite the original media document.");
    EXPECT_TRUE (symlink.isSymbolicLink());
    EXPECT_EQ (contentOf (hardLink), before);
}

TEST_F (TavlinDocumentTest, AFailedSaveLeavesTheExistingCopyAsItWas)
{
    ASSERT_NO_FATAL_FAILURE (open (scratch.file ("voice.wav")));
    const auto copy = scratch.file ("copy.m4a");
    ASSERT_TRUE (copy.replaceWithText ("the copy saved yesterday"));
    document.formatIndex = 3;

    // A disk that fills up: nothing past a few kilobytes can be written.
    struct FileSizeLimit
    {
        FileSizeLimit()
        {
            ::getrlimit (RLIMIT_FSIZE, &previous);
            handler = std::signal (SIGXFSZ, SIG_IGN);
            rlimit small = previous;
            small.rlim_cur = 4096;
            ::setrlimit (RLIMIT_FSIZE, &small);
        }
        ~FileSizeLimit()
        {
            ::setrlimit (RLIMIT_FSIZE, &previous);
            std::signal (SIGXFSZ, handler);
        }
        rlimit previous {};
        void (*handler) (int) = nullptr;
    };

    {
        const FileSizeLimit full;
        EXPECT_EQ (document.saveAs (copy, false, false, false), juce::FileBasedDocument::failedToWriteToFile);
    }

    EXPECT_TRUE (
        document.asked.contains (TavlinDocument::replaceTitle + ": Are you sure you want to overwrite \"copy.m4a\"?"));
    EXPECT_EQ (copy.loadFileAsString(), "the copy saved yesterday");
    EXPECT_EQ (document.getFile(), document.openedFile);
    EXPECT_TRUE (host.isIdle());

    EXPECT_TRUE (host.lastExportError().isNotEmpty()) << "the failure says why";

    const auto result = document.saveDocument (copy);
    EXPECT_TRUE (result.wasOk()) << result.getErrorMessage() << " (with room again, the same save succeeds)";
    EXPECT_NE (copy.loadFileAsString(), "the copy saved yesterday");

    // A refused replacement writes nothing.
    ASSERT_TRUE (copy.replaceWithText ("keep me"));
    document.replaceAnswer = false;
    EXPECT_EQ (document.saveDocument (copy).getErrorMessage(), "User cancelled save.");
    EXPECT_EQ (copy.loadFileAsString(), "keep me");

    // Nothing that stands beside the copy is left from the failed attempts.
    for (const auto& f : scratch.get().findChildFiles (juce::File::findFiles, false, "*"))
        EXPECT_FALSE (f.getFileName().contains ("partial")) << f.getFileName();
}

TEST_F (TavlinDocumentTest, SavesToTheChosenNameInTheChosenFormatAndAgainWithoutTheChooser)
{
    ASSERT_NO_FATAL_FAILURE (open (scratch.file ("voice.wav")));
    const auto named = scratch.file ("copy");
    const auto written = scratch.file ("copy.mp3");
    document.formatIndex = 8;

    EXPECT_EQ (document.saveAs (named, false, false, false), juce::FileBasedDocument::savedOk);
    EXPECT_TRUE (written.existsAsFile());
    EXPECT_EQ (document.getFile(), named) << "the document file is the chosen name";
    EXPECT_FALSE (document.hasChangedSinceSaved());
    EXPECT_TRUE (document.asked.isEmpty());

    // "Save..." now goes to that copy without the chooser, after the replace question.
    const auto firstSize = written.getSize();
    document.changed();
    EXPECT_EQ (document.saveMedia (false), juce::FileBasedDocument::savedOk);
    EXPECT_EQ (document.asked,
               juce::StringArray (TavlinDocument::replaceTitle + ": Are you sure you want to overwrite \"copy.mp3\"?"));
    EXPECT_EQ (written.getSize(), firstSize);

    // "Save As..." asks for the format first: dismissed, nothing happens.
    document.asked.clear();
    document.chooserResult = 0;
    EXPECT_EQ (document.saveMedia (true), juce::FileBasedDocument::userCancelledSave);
    EXPECT_EQ (document.asked, juce::StringArray ("Select File Format for Save"));
}

// The WAV and AIFF copies are written on a writer queue: a save returns only once the writer reports its copy
// complete at the destination. A writer that fails, or that stops getting anywhere, fails the save: the
// document stays as it was, and a copy saved there before is left as it was.
TEST_F (TavlinDocumentTest, AWavOrAiffCopyCountsAsSavedOnlyOnceItsWriterHasCompletedIt)
{
    const auto opened = scratch.file ("voice.wav");
    ASSERT_NO_FATAL_FAILURE (open (opened));
    auto& exporter = session.getPlayer().getExporter();
    exporter.writerStallLimitMs = 1000;
    auto release = std::make_shared<juce::WaitableEvent> (true);

    using Stream = std::function<std::unique_ptr<juce::OutputStream> (const juce::File&)>;
    const Stream diskFills = [] (const juce::File& file)
    { return std::make_unique<tavlin::test::FailingOutputStream> (file, 8192); };
    const Stream storageStops = [release] (const juce::File& file)
    { return std::make_unique<tavlin::test::StallingOutputStream> (file, 8192, release); };

    struct Case
    {
        const char* what;
        int format;
        const char* name;
        Stream stream;
        const char* reason;
    };

    const Case cases[] = {
        { "WAV, the disk fills up", 5, "copy.wav", diskFills, "(is the disk full?)" },
        { "AIFF, the disk fills up", 6, "copy.aif", diskFills, "(is the disk full?)" },
        { "WAV, the storage stops answering", 5, "copy.wav", storageStops, "nothing more was written for 1 s" },
        { "AIFF, the storage stops answering", 6, "copy.aif", storageStops, "nothing more was written for 1 s" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto copy = scratch.file (c.name);
        ASSERT_TRUE (copy.replaceWithText ("an earlier copy"));
        document.formatIndex = c.format;
        host.processor.setParameterNotifyingHost (0, host.processor.getParameter (0) > 0.5f ? 0.2f : 0.8f);
        document.changed();
        document.asked.clear();
        release->reset();
        exporter.openAudioWriterStream = c.stream;

        EXPECT_EQ (document.saveAs (copy, false, false, false), juce::FileBasedDocument::failedToWriteToFile);
        EXPECT_TRUE (host.lastExportError().contains (c.reason)) << host.lastExportError();
        EXPECT_EQ (document.getFile(), opened) << "the document file of before the save";
        EXPECT_TRUE (document.hasChangedSinceSaved()) << "the settings are not saved anywhere";
        EXPECT_EQ (document.asked, juce::StringArray (TavlinDocument::replaceTitle
                                                      + ": Are you sure you want to overwrite \"" + c.name + "\"?"))
            << "no message beyond the question: none was asked for";

        // Storage that answers again late changes nothing: a writer once given up never puts its copy in place.
        release->signal();
        ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));
        EXPECT_EQ (copy.loadFileAsString(), "an earlier copy");

        for (const auto& f : scratch.get().findChildFiles (juce::File::findFiles, false, "*"))
            EXPECT_FALSE (f.getFileName().contains ("partial")) << f.getFileName();
    }

    // The close gate asks, as for any unsaved change.
    document.applyAnswer = 1;
    document.chooserResult = 0;
    document.asked.clear();
    EXPECT_EQ (document.closeMedia().getErrorMessage(), "User Cancelled.") << "the format chooser was dismissed";
    ASSERT_FALSE (document.asked.isEmpty());
    EXPECT_TRUE (document.asked[0].startsWith (TavlinDocument::applyTitle)) << document.asked.joinIntoString ("\n");

    // With storage that works, each save returns with its copy whole at the destination, as long as the source.
    exporter.openAudioWriterStream = nullptr;
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    for (const auto* name : { "copy.wav", "copy.aif" })
    {
        SCOPED_TRACE (name);
        const auto copy = scratch.file (name);
        document.formatIndex = TavlinDocument::getFormatForExtension (copy.getFileExtension());
        document.changed();
        ASSERT_EQ (document.saveAs (copy, false, false, false), juce::FileBasedDocument::savedOk)
            << host.lastExportError();
        std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (copy));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->lengthInSamples, (juce::int64) rate);
        EXPECT_EQ (reader->bitsPerSample, 24u);
        EXPECT_EQ (document.getFile(), copy);
        EXPECT_FALSE (document.hasChangedSinceSaved());
    }

    document.asked.clear();
    EXPECT_TRUE (document.closeMedia().wasOk());
    EXPECT_TRUE (document.asked.isEmpty()) << document.asked.joinIntoString ("\n");
}

// Opening tells why a file is refused in one message: the document's for a path that is not a regular file
// (before anything opens it), the player's own for media it refuses.
TEST_F (TavlinDocumentTest, ARefusedFileIsToldInOneMessage)
{
    transport = std::make_unique<TransportComponent> (session, host.processor, host);

    const auto pipe = scratch.file ("pipe.wav");
    ASSERT_EQ (::mkfifo (pipe.getFullPathName().toRawUTF8(), 0600), 0);
    const auto undecodable = scratch.file ("unknown-tag.wav");
    ASSERT_TRUE (tavlin::test::writeUndecodableWav (undecodable));

    for (bool showErrors : { true, false })
    {
        SCOPED_TRACE (showErrors ? "with messages" : "without messages");
        document.showLoadErrors = showErrors;
        document.asked.clear();
        host.warnings.clear();

        {
            const tavlin::test::HangGuard guard (pipe);
            EXPECT_TRUE (document.loadFrom (pipe, false).failed());
            EXPECT_FALSE (guard.fired());
        }

        EXPECT_TRUE (host.warnings.empty());
        ASSERT_EQ (document.asked.size(), showErrors ? 1 : 0);

        if (showErrors)
        {
            EXPECT_EQ (document.asked[0],
                       TavlinDocument::loadFailureTitle + ": There was an error while trying to load the file: \n"
                           + pipe.getFullPathName() + "\n\n\"pipe.wav\" is not a regular file: it is a named pipe.");
        }

        document.asked.clear();
        EXPECT_TRUE (document.loadFrom (undecodable, false).failed());
        EXPECT_TRUE (document.asked.isEmpty()) << "the player told it";
        EXPECT_EQ (host.warnings.size(), showErrors ? 1u : 0u);
        EXPECT_EQ (document.openedFile, juce::File());
        EXPECT_EQ (document.getFile(), juce::File());
    }
}

// Media whose playback set-up fails after the opening was accepted is closed again, with its reason;
// media that plays but whose sound could not be extracted stays open, and the user hears why.
TEST_F (TavlinDocumentTest, MediaThatCannotBeMadeReadyIsNotLeftHalfOpen)
{
    const auto opened = scratch.file ("voice.wav");
    ASSERT_NO_FATAL_FAILURE (open (opened));

    document.asked.clear();
    document.mediaPreparationFailed (opened, "Its sound could not be extracted: the disk is full.", true);
    EXPECT_EQ (document.openedFile, opened);
    ASSERT_EQ (document.asked.size(), 1);
    EXPECT_TRUE (document.asked[0].startsWith (TavlinDocument::preparationFailureTitle));
    EXPECT_TRUE (document.asked[0].endsWith ("the disk is full.")) << document.asked[0];

    document.asked.clear();
    document.mediaPreparationFailed (scratch.file ("other.wav"), "not this one", false);
    EXPECT_EQ (document.openedFile, opened) << "only the media open now is closed";
    EXPECT_TRUE (document.asked.isEmpty());

    document.mediaPreparationFailed (opened, "It holds nothing that can be played.", false);
    EXPECT_EQ (document.openedFile, juce::File());
    EXPECT_EQ (document.getFile(), juce::File());
    EXPECT_EQ (session.getMediaPlayer(), nullptr);
    ASSERT_EQ (document.asked.size(), 1);
    EXPECT_TRUE (document.asked[0].startsWith (TavlinDocument::loadFailureTitle));
    EXPECT_TRUE (document.asked[0].endsWith ("It holds nothing that can be played.")) << document.asked[0];
}

TEST_F (TavlinDocumentTest, TheCloseGateAsksOnlyAboutChangesAndKeepsTheMediaWhenTold)
{
    const auto opened = scratch.file ("voice.wav");

    struct Case
    {
        const char* what;
        bool changed;
        int answer; // 1 Yes, 2 No, 0 Cancel
        int chooser;
        bool savedBefore;
        juce::String failure; // empty: closed
        bool asks;
        bool writes;
    };

    const Case cases[] = {
        { "unchanged", false, 1, 1, false, {}, false, false },
        { "changed, No", true, 2, 1, false, {}, true, false },
        { "changed, Cancel", true, 0, 1, false, "User Cancelled.", true, false },
        { "changed, Yes, format chooser dismissed", true, 1, 0, false, "User Cancelled.", true, false },
        { "changed, Yes, saved before", true, 1, 1, true, {}, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ASSERT_NO_FATAL_FAILURE (open (opened));
        const auto copy = scratch.file ("copy.wav");
        copy.deleteFile();

        if (c.savedBefore)
        {
            ASSERT_EQ (document.saveAs (copy, false, false, false), juce::FileBasedDocument::savedOk);
            ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));
            copy.deleteFile();
        }

        if (c.changed)
            host.processor.setParameterNotifyingHost (0, host.processor.getParameter (0) > 0.5f ? 0.2f : 0.8f);

        if (c.changed)
            document.changed();

        document.asked.clear();
        document.applyAnswer = c.answer;
        document.chooserResult = c.chooser;
        const auto analysis = document.analysisFile;
        ASSERT_TRUE (analysis.existsAsFile());

        // The question names the document: the opened file, or the copy saved last.
        const auto question = TavlinDocument::applyTitle + ": Do you want to save a copy of \""
                              + (c.savedBefore ? "copy.wav" : "voice.wav") + "\" with the current Tavlin settings?";
        const auto result = document.closeMedia();
        ASSERT_TRUE (ProcessingAVPlayer::waitForAudioWriters (60000));
        EXPECT_EQ (result.getErrorMessage(), c.failure);
        EXPECT_EQ (document.asked.contains (question), c.asks);
        EXPECT_EQ (copy.existsAsFile(), c.writes);

        if (c.failure.isEmpty())
        {
            EXPECT_EQ (document.openedFile, juce::File());
            EXPECT_EQ (document.getFile(), juce::File());
            EXPECT_FALSE (document.hasChangedSinceSaved());
            EXPECT_FALSE (analysis.exists()) << "the extracted sound goes with the media";
            EXPECT_EQ (session.getMediaPlayer(), nullptr);
        }
        else
        {
            EXPECT_EQ (document.openedFile, opened) << "the media stays open";
            EXPECT_NE (session.getMediaPlayer(), nullptr);
            transport->loadMedia ({}, false);
        }
    }
}

//==============================================================================
/** Programme over a steady hiss, the hiss alone in the middle: left at hissLevel, right 12 dB lower. */
struct HissFile
{
    static constexpr double programmeSeconds = 2.0, hissSeconds = 1.5;
    static constexpr float hissLevel = 0.05f;
    static constexpr double toneHz = 1000.0;

    static bool inHiss (int64_t n)
    {
        return n >= (int64_t) (programmeSeconds * rate) && n < (int64_t) ((programmeSeconds + hissSeconds) * rate);
    }

    static int64_t length() { return (int64_t) ((2 * programmeSeconds + hissSeconds) * rate); }

    static bool write (const juce::File& file, bool loudToneBeforeHiss = false)
    {
        const auto noise = tavlin::test::makeNoise ((size_t) length() * 2, 1234, 1.0f);

        return tavlin::test::writeWav (
            file, rate, 2, length(), 24,
            [&] (int64_t n, int ch)
            {
                const float hiss = noise[(size_t) (2 * n + ch)] * hissLevel * (ch == 0 ? 1.0f : 0.25f);

                if (inHiss (n))
                    return hiss;

                const double t = (double) n / rate;

                if (loudToneBeforeHiss)
                    return hiss + 0.7f * (float) std::sin (2.0 * M_PI * toneHz * t);

                // Speech-like: partials that come and go four times a second.
                const double envelope = 0.3 + 0.7 * std::pow (std::sin (M_PI * 4.0 * t), 2.0);
                const double voice = std::sin (2.0 * M_PI * (180.0 + 40.0 * std::sin (3.0 * t)) * t)
                                     + 0.5 * std::sin (2.0 * M_PI * 720.0 * t);
                return hiss + (float) (0.3 * envelope * voice);
            });
    }

    /** The profile level, in dB, that hiss of a uniform amplitude gives at every bin: the power of one
        bin of the 1024-point Hamming-windowed transform divided by its length.
    */
    static double expectedProfileDb (float amplitude)
    {
        double windowPower = 0.0;

        for (int i = 0; i < 1024; ++i)
        {
            const double w = 0.54 - 0.46 * std::cos (2.0 * M_PI * i / 1023.0);
            windowPower += w * w;
        }

        const double variance = (double) amplitude * amplitude / 3.0;
        return 10.0 * std::log10 (variance * windowPower / (1024.0 * 1024.0));
    }
};

/** The median of a profile's bins from first to last (inclusive), in dB. */
double medianDb (vesk::ZBuffer& profile, int first, int last)
{
    std::vector<float> bins (profile.getData() + first, profile.getData() + last + 1);
    std::nth_element (bins.begin(), bins.begin() + (long) bins.size() / 2, bins.end());
    return bins[bins.size() / 2];
}

class OfflinePassTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        juce::MessageManager::getInstance();
        processor_test::prepare (host.processor, rate, 4096);
    }

    vesk::ZBuffer& profile (int channel)
    {
        auto* p = host.processor.getNoiseReductionBay().getChannelNoiseProfile (channel);
        EXPECT_NE (p, nullptr);
        return *p;
    }

    ScratchFolder scratch;
    FakePlayerHost host { scratch.file ("private") };
    FakeSession session { host };
    TestDocument document { session, host };
};

TEST_F (OfflinePassTest, FindsTheHissAloneAndLearnsItOnBothChannels)
{
    const auto file = scratch.file ("interview.wav");
    ASSERT_TRUE (HissFile::write (file));
    host.processor.getNoiseReductionBay().clearNoiseProfiles();

    document.analyzeMedia (file);
    EXPECT_EQ (document.analysisFile, file);
    EXPECT_TRUE (host.isIdle());
    EXPECT_TRUE (host.progressTexts.contains ("Analyzing..."));

    auto& analyzer = host.processor.getNoiseAnalyzer();
    EXPECT_GT (analyzer.getConfidence(), 0.6f);
    const auto region = host.processor.getLearnRegion();
    EXPECT_GT (region.lengthSamples, 4096);
    // Within the hiss, give or take the analyzer's own frame of 1024 samples at either end.
    EXPECT_TRUE (HissFile::inHiss (region.startSample + 1024)) << region.startSample;
    EXPECT_TRUE (HissFile::inHiss (region.startSample + region.lengthSamples - 1 - 1024))
        << region.startSample + region.lengthSamples;

    // Learned from the region itself: the hiss's level on the left, 12 dB less on the right.
    const auto expected = HissFile::expectedProfileDb (HissFile::hissLevel);
    EXPECT_NEAR (medianDb (profile (0), 40, 480), expected, 1.0);
    EXPECT_NEAR (medianDb (profile (1), 40, 480), expected - 12.04, 1.0);
    EXPECT_EQ (host.processor.getNoiseReductionBay().getLearningFrameCount (0), 0u) << "learning ended";

    // A file too short for any result clears the earlier file's: nothing is learned from it.
    const auto tiny = scratch.file ("tiny.wav");
    ASSERT_TRUE (tavlin::test::writeWav (tiny, rate, 2, 300, 16, [] (int64_t, int) { return 0.1f; }));
    host.processor.getNoiseReductionBay().clearNoiseProfiles();
    document.analyzeMedia (tiny);
    EXPECT_EQ (analyzer.getConfidence(), 0.0f);
    EXPECT_EQ (host.processor.getLearnRegion().lengthSamples, 0);
    EXPECT_NEAR (medianDb (profile (0), 40, 480), -48.0, 0.01) << "the cleared profile stays";

    // With the preference off the region is still cleared, and nothing is analysed.
    host.processor.getLearnRegion() = { 1000, 1000 };
    document.analyze = false;
    host.progressTexts.clear();
    document.analyzeMedia (file);
    EXPECT_EQ (host.processor.getLearnRegion().startSample, 0);
    EXPECT_EQ (host.processor.getLearnRegion().lengthSamples, 0);
    EXPECT_FALSE (host.progressTexts.contains ("Analyzing..."));
}

TEST_F (OfflinePassTest, LearnsFromTheRegionAndNothingBeforeIt)
{
    // A loud tone right up to the region's start: what the stages ahead of the bay still hold of it must
    // not reach the learning.
    const auto file = scratch.file ("tone-then-hiss.wav");
    ASSERT_TRUE (HissFile::write (file, true));
    document.analysisFile = file;

    const auto start = (int64_t) (HissFile::programmeSeconds * rate);
    const auto expected = HissFile::expectedProfileDb (HissFile::hissLevel);
    const int toneBin = (int) std::lround (HissFile::toneHz / rate * 1024.0);

    for (const int64_t length : { (int64_t) 12288, (int64_t) 1024, (int64_t) 40000 })
    {
        SCOPED_TRACE (length);
        host.processor.getNoiseReductionBay().clearNoiseProfiles();
        host.processor.getLearnRegion() = { start, length };
        document.learnFromRegion();

        for (int ch = 0; ch < 2; ++ch)
        {
            const auto level = expected - (ch == 0 ? 0.0 : 12.04);
            auto& learned = profile (ch);
            EXPECT_NEAR (medianDb (learned, 40, 480), level, length >= 12288 ? 1.0 : 3.0) << "channel " << ch;

            // Around the tone only the hiss: a tone 30 dB above would show plainly.
            float peak = -200.0f;

            for (int k = toneBin - 2; k <= toneBin + 2; ++k)
                peak = std::max (peak, learned.getData()[k]);

            EXPECT_LT (peak, level + 10.0) << "channel " << ch;
        }
    }

    // The pass leaves the processor as after a reset: silence in gives silence out.
    juce::AudioBuffer<float> silence (2, 4096);
    silence.clear();
    juce::MidiBuffer midi;
    host.processor.processBlock (silence, midi);
    EXPECT_EQ (silence.getMagnitude (0, 4096), 0.0f);
}

} // namespace
