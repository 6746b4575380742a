// Files as the file system has them: names that are bytes (not always valid UTF-8), hidden partial files
// within the 255-byte name limit and their removal after a crash, the refusal of paths that are no regular
// file, and sound that no decoder takes.

#include "MediaFixtures.h"

#include "desktop/FileNameBytes.h"
#include "desktop/PartialFile.h"
#include "desktop/RegularFile.h"
#include "media/SoundProbe.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>

using tavlin::desktop::FileNameBytes;
using tavlin::desktop::PartialFile;
using tavlin::desktop::RegularFile;
using tavlin::test::ScratchFolder;

namespace
{
juce::String bytes (const char* raw)
{
    return FileNameBytes::textOf (raw);
}

void makeOld (const juce::File& file)
{
    const utimbuf times { 1000000000, 1000000000 };
    ASSERT_EQ (::utime (file.getFullPathName().toRawUTF8(), &times), 0);
}
} // namespace

TEST (FileNameBytesTest, AgreesWithTheFrameworkOnValidNames)
{
    for (auto* path : { "/a/b/clip.wav", "/a/b/clip", "/a/.hidden", "/a/b/archive.tar.gz", "/a/b.d/name",
                        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): split to end the hex escapes
                        "/a/b/\xc3\xbc"
                        "n\xc3\xaf"
                        "c\xc3\xb6"
                        "d\xc3\xa9.flac",
                        "/x", "/a/b/trailing." })
    {
        SCOPED_TRACE (path);
        const juce::File file (bytes (path));
        EXPECT_EQ (FileNameBytes::nameOf (file), file.getFileName());
        EXPECT_EQ (FileNameBytes::extensionOf (file), file.getFileExtension());
        EXPECT_EQ (FileNameBytes::stemOf (file), file.getFileNameWithoutExtension());
        EXPECT_EQ (FileNameBytes::parentOf (file), file.getParentDirectory());
        EXPECT_EQ (FileNameBytes::withExtension (file, ".mov"), file.withFileExtension (".mov"));
        EXPECT_EQ (FileNameBytes::withExtension (file, "mp3"), file.withFileExtension ("mp3"));
        EXPECT_EQ (FileNameBytes::withExtension (file, {}), file.withFileExtension ({}));
        EXPECT_EQ (FileNameBytes::siblingOf (file, "other.aif"), file.getSiblingFile ("other.aif"));
        EXPECT_TRUE (FileNameBytes::isValidUtf8 (file.getFullPathName()));
        EXPECT_EQ (FileNameBytes::forDisplay (file.getFullPathName()), file.getFullPathName());
    }
}

TEST (FileNameBytesTest, NamesThatAreNotUtf8KeepTheirBytesAndExtension)
{
    struct Case
    {
        const char* path;
        const char *name, *extension, *stem, *asMov;
    };

    const Case cases[] = {
        { "/in/bad_utf8_\xff\xfe.wav", "bad_utf8_\xff\xfe.wav", ".wav", "bad_utf8_\xff\xfe",
          "/in/bad_utf8_\xff\xfe.mov" },
        { "/in/\xe9t\xe9.flac", "\xe9t\xe9.flac", ".flac", "\xe9t\xe9", "/in/\xe9t\xe9.mov" },
        { "/in/x\xc0\x80y.mp3", "x\xc0\x80y.mp3", ".mp3", "x\xc0\x80y", "/in/x\xc0\x80y.mov" },
        { "/\xff/take.wav", "take.wav", ".wav", "take", "/\xff/take.mov" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.path);
        const juce::File file (bytes (c.path));
        EXPECT_EQ (FileNameBytes::bytesOf (file.getFullPathName()), std::string (c.path)) << "kept as it is";
        EXPECT_FALSE (FileNameBytes::isValidUtf8 (file.getFullPathName()));
        EXPECT_EQ (FileNameBytes::bytesOf (FileNameBytes::nameOf (file)), std::string (c.name));
        EXPECT_EQ (FileNameBytes::bytesOf (FileNameBytes::extensionOf (file)), std::string (c.extension));
        EXPECT_EQ (FileNameBytes::bytesOf (FileNameBytes::stemOf (file)), std::string (c.stem));
        EXPECT_EQ (FileNameBytes::bytesOf (FileNameBytes::withExtension (file, ".mov").getFullPathName()),
                   std::string (c.asMov));
        EXPECT_TRUE (FileNameBytes::isValidUtf8 (FileNameBytes::forDisplay (file.getFullPathName())));
    }

    // Such a file is listed, reached and named back exactly.
    ScratchFolder scratch;
    const auto odd = FileNameBytes::childOf (scratch.get(), bytes ("bad_utf8_\xff\xfe.wav"));
    ASSERT_TRUE (odd.replaceWithText ("x"));
    ASSERT_TRUE (scratch.file ("plain.wav").replaceWithText ("x"));
    ASSERT_TRUE (scratch.file (".hidden.wav").replaceWithText ("x"));
    ASSERT_TRUE (scratch.file ("sub").createDirectory());

    const auto files = FileNameBytes::listFolder (scratch.get(), false, false);
    ASSERT_EQ (files.size(), 2);
    EXPECT_EQ (FileNameBytes::bytesOf (files[0].getFullPathName()), FileNameBytes::bytesOf (odd.getFullPathName()));
    EXPECT_TRUE (files[0].existsAsFile());
    EXPECT_EQ (files[1], scratch.file ("plain.wav"));
    EXPECT_EQ (FileNameBytes::listFolder (scratch.get(), false, true).size(), 3);
    EXPECT_EQ (FileNameBytes::listFolder (scratch.get(), true, false), juce::Array<juce::File> (scratch.file ("sub")));
}

TEST (PartialFileTest, NamesStayWithinTheLimitAndKeepTheExtension)
{
    ScratchFolder scratch;

    for (const auto* unit : { "a", "\xc3\xa9", "\xe6\xbc\xa2", "\xff" })
        for (size_t length = 1; length <= FileNameBytes::maxNameBytes - 4; length += 7)
        {
            std::string stem;

            while (stem.size() + strlen (unit) <= length)
                stem += unit;

            if (stem.empty())
                continue;

            const auto name = FileNameBytes::textOf (stem + ".wav");
            SCOPED_TRACE (std::to_string (stem.size()) + " bytes of " + unit);

            const auto partial = PartialFile::nameFor (name, 0x0123456789abcdefull);
            const auto partialBytes = FileNameBytes::bytesOf (partial);
            EXPECT_LE (partialBytes.size(), FileNameBytes::maxNameBytes);
            EXPECT_EQ (partialBytes.front(), '.');
            EXPECT_EQ (partialBytes.substr (partialBytes.size() - 4), ".wav");
            EXPECT_NE (partialBytes.find (".partial-0123456789abcdef.wav"), std::string::npos);
            EXPECT_TRUE (PartialFile::isPartialName (partial));

            if (std::string (unit) != "\xff")
            {
                EXPECT_TRUE (FileNameBytes::isValidUtf8 (partial)) << "never cut inside a character";
            }
        }

    // A destination of 255 bytes is written through its partial file.
    const auto longest = FileNameBytes::childOf (scratch.get(), juce::String::repeatedString ("n", 251) + ".wav");
    {
        PartialFile partial (longest);
        {
            juce::FileOutputStream out (partial.getFile());
            ASSERT_TRUE (out.openedOk()) << out.getStatus().getErrorMessage();
            ASSERT_TRUE (out.writeText ("complete", false, false, nullptr));
        }
        juce::String error;
        ASSERT_TRUE (partial.moveIntoPlace (error)) << error;
    }
    EXPECT_EQ (longest.loadFileAsString(), "complete");
    EXPECT_EQ (scratch.get().getNumberOfChildFiles (juce::File::findFiles), 1);

    for (auto* other : { "clip.wav", ".clip.wav", ".clip.partial-.wav", ".clip.partial-xyz.wav",
                         ".clip.partial-0123456789abcdef0.wav", ".clip.partial-12.wav.bak" })
        EXPECT_FALSE (PartialFile::isPartialName (other)) << other;

    EXPECT_TRUE (PartialFile::isPartialName (".clip.partial-7f3a")) << "no extension";
    EXPECT_TRUE (PartialFile::isPartialName (".clip.partial-7f3a.mov")) << "fewer digits, as earlier versions";
}

TEST (PartialFileTest, ThoseACrashLeftGoAtTheNextSaveIntoTheirFolder)
{
    ScratchFolder scratch;
    const auto write = [&] (const char* name, bool old)
    {
        auto f = scratch.file (name);
        f.replaceWithText ("x");

        if (old)
            makeOld (f);

        return f;
    };

    // One this process is still writing is never taken for stale, however old. (Its folder is swept as it
    // is made: the first in this folder in this run.)
    PartialFile writing (scratch.file ("live.wav"));
    ASSERT_TRUE (writing.getFile().replaceWithText ("x"));
    makeOld (writing.getFile());

    const auto leftByACrash = write (".take.partial-00ff00ff00ff00ff.wav", true);
    const auto justWritten = write (".other.partial-1234.mov", false);
    const auto notOurs = write (".notes.partial-draft.txt", true);
    const auto plain = write ("take.wav", true);
    const auto link = scratch.file (".link.partial-1.wav");
    ASSERT_TRUE (plain.createSymbolicLink (link, false));
    const timeval oldTimes[2] = { { 1000000000, 0 }, { 1000000000, 0 } };
    ASSERT_EQ (::lutimes (link.getFullPathName().toRawUTF8(), oldTimes), 0);

    EXPECT_EQ (PartialFile::removeStale (scratch.get()), 1);

    EXPECT_FALSE (leftByACrash.exists());
    EXPECT_TRUE (justWritten.exists()) << "may belong to a save running elsewhere";
    EXPECT_TRUE (notOurs.exists());
    EXPECT_TRUE (plain.exists());
    EXPECT_TRUE (writing.getFile().exists());
    EXPECT_TRUE (link.isSymbolicLink()) << "links are no partial files";

    // The first save into a folder in this run sweeps it.
    ScratchFolder other;
    const auto stale = other.file (".song.partial-abc.flac");
    ASSERT_TRUE (stale.replaceWithText ("x"));
    makeOld (stale);
    {
        PartialFile first (other.file ("song.flac"));
    }
    EXPECT_FALSE (stale.exists());
}

TEST (RegularFileTest, OnlyRegularFilesPassAndTheRestSayWhatTheyAre)
{
    ScratchFolder scratch;
    const auto regular = scratch.file ("take.wav");
    ASSERT_TRUE (regular.replaceWithText ("x"));
    const auto pipe = scratch.file ("pipe.wav");
    ASSERT_EQ (::mkfifo (pipe.getFullPathName().toRawUTF8(), 0600), 0);
    const auto link = scratch.file ("link.wav");
    ASSERT_TRUE (regular.createSymbolicLink (link, false));
    const auto deviceLink = scratch.file ("zero.wav");
    ASSERT_TRUE (juce::File ("/dev/zero").createSymbolicLink (deviceLink, false));

    struct Case
    {
        juce::File file;
        juce::String text; // empty: passes
    };

    const Case cases[] = {
        { regular, {} },
        { link, {} },
        { pipe, "\"pipe.wav\" is not a regular file: it is a named pipe." },
        { deviceLink, "\"zero.wav\" is not a regular file: it is a device." },
        { juce::File ("/dev/null"), "\"null\" is not a regular file: it is a device." },
        { scratch.get(), "\"" + scratch.get().getFileName() + "\" is not a regular file: it is a folder." },
        { scratch.file ("missing.wav"), "\"missing.wav\" cannot be opened: No such file or directory." },
        { juce::File(), "No file was given." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.file.getFullPathName());
        const auto result = RegularFile::check (c.file);
        EXPECT_EQ (result.getErrorMessage(), c.text);
        EXPECT_EQ (RegularFile::is (c.file), c.text.isEmpty());
    }
}

TEST (SoundProbeTest, TellsSoundThatDecodesFromSoundThatDoesNot)
{
    ScratchFolder scratch;
    const auto good = scratch.file ("tone.wav");
    ASSERT_TRUE (tavlin::test::writeWav (good, 44100.0, 2, 44100, 16,
                                         [] (int64_t n, int ch) { return tavlin::test::sineSample (n, ch, 44100.0); }));
    const auto movie = scratch.file ("clip.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                          "sine=frequency=300:duration=1 -c:v mpeg4 -c:a aac -shortest "
                                          + movie.getFullPathName().quoted()));
    const auto undecodable = scratch.file ("unknown-tag.wav");
    ASSERT_TRUE (tavlin::test::writeUndecodableWav (undecodable));
    const auto silentFilm = scratch.file ("silent.mp4");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 "
                                          + silentFilm.getFullPathName().quoted()));

    EXPECT_TRUE (tavlin::media::SoundProbe::check (good).wasOk());
    EXPECT_TRUE (tavlin::media::SoundProbe::check (movie).wasOk());
    EXPECT_EQ (tavlin::media::SoundProbe::check (undecodable).getErrorMessage(),
               "The sound is in a format that cannot be decoded (none).");
    EXPECT_EQ (tavlin::media::SoundProbe::check (silentFilm).getErrorMessage(), "The file contains no audio.");
}
