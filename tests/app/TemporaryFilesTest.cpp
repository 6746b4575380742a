#include "TemporaryFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
int modeOf (const juce::File& f)
{
    struct stat info;
    return lstat (f.getFullPathName().toRawUTF8(), &info) == 0 ? (int) (info.st_mode & 0777) : -1;
}

// A scratch folder standing in for the shared /tmp.
class TemporaryFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shared = juce::File::createTempFile ("shared-tmp");
        ASSERT_TRUE (shared.createDirectory());
    }

    void TearDown() override { shared.deleteRecursively(); }

    juce::File write (const juce::File& folder, const juce::String& name)
    {
        auto f = folder.getChildFile (name);
        f.getParentDirectory().createDirectory();
        f.replaceWithText ("x");
        return f;
    }

    juce::File shared;
};
} // namespace

TEST_F (TemporaryFilesTest, PrivateFolderIsOwnedAndClosedToOthers)
{
    auto folder = TemporaryFiles::makePrivateFolder (shared, "tavlin-test");
    EXPECT_EQ (folder, shared.getChildFile ("tavlin-test"));
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (modeOf (folder), 0700);

    // An existing folder of ours is used again, and narrowed to 0700.
    write (folder, "kept.wav");
    chmod (folder.getFullPathName().toRawUTF8(), 0755);
    EXPECT_EQ (TemporaryFiles::makePrivateFolder (shared, "tavlin-test"), folder);
    EXPECT_EQ (modeOf (folder), 0700);
    EXPECT_TRUE (folder.getChildFile ("kept.wav").existsAsFile());
}

TEST_F (TemporaryFilesTest, NameTakenByALinkOrAFileGivesAFreshFolder)
{
    auto elsewhere = shared.getChildFile ("elsewhere");
    ASSERT_TRUE (elsewhere.createDirectory());
    chmod (elsewhere.getFullPathName().toRawUTF8(), 0755);
    ASSERT_TRUE (elsewhere.createSymbolicLink (shared.getChildFile ("tavlin-link"), false));
    write (shared, "tavlin-file");

    for (auto name : { "tavlin-link", "tavlin-file" })
    {
        SCOPED_TRACE (name);
        auto folder = TemporaryFiles::makePrivateFolder (shared, name);
        ASSERT_NE (folder, juce::File());
        EXPECT_NE (folder, shared.getChildFile (name));
        EXPECT_EQ (folder.getParentDirectory(), shared);
        EXPECT_TRUE (folder.getFileName().startsWith (juce::String (name) + "-"));
        EXPECT_TRUE (folder.isDirectory());
        EXPECT_FALSE (folder.isSymbolicLink());
        EXPECT_EQ (modeOf (folder), 0700);
    }

    EXPECT_EQ (modeOf (elsewhere), 0755) << "the link's target is left alone";
}

TEST_F (TemporaryFilesTest, StaleRemovalTouchesOnlyThePrivateFolder)
{
    auto folder = TemporaryFiles::makePrivateFolder (shared, "tavlin-test");
    auto stale1 = write (folder, "temp_1a2b.TempCleanAudio.m4a");
    auto stale2 = write (folder, "other.m4a");
    auto wav = write (folder, "temp_3c.TempCleanAudio.wav");
    auto decoded = write (folder, "temp_4d.TempCleanAudioP.wav");
    auto nested = write (folder, "sub/inner.m4a");
    auto folderNamedM4a = folder.getChildFile ("looks.m4a");
    ASSERT_TRUE (folderNamedM4a.createDirectory());
    auto foreign = write (shared, "someone-elses.m4a");
    auto foreignTarget = write (shared, "target.m4a");
    ASSERT_TRUE (foreignTarget.createSymbolicLink (folder.getChildFile ("link.m4a"), false));

    EXPECT_EQ (TemporaryFiles::deleteStaleAudioFiles (folder), 3);

    EXPECT_FALSE (stale1.exists());
    EXPECT_FALSE (stale2.exists());
    EXPECT_FALSE (folder.getChildFile ("link.m4a").existsAsFile());
    EXPECT_TRUE (foreignTarget.existsAsFile()) << "a link is removed, not what it points at";
    EXPECT_TRUE (wav.existsAsFile());
    EXPECT_TRUE (decoded.existsAsFile());
    EXPECT_TRUE (nested.existsAsFile());
    EXPECT_TRUE (folderNamedM4a.isDirectory());
    EXPECT_TRUE (foreign.existsAsFile());

    EXPECT_EQ (TemporaryFiles::deleteStaleAudioFiles (shared.getChildFile ("missing")), 0);
}

TEST_F (TemporaryFilesTest, TheProgramsFolderLiesInTheSystemTemporaryDirectory)
{
    setenv ("TMPDIR", shared.getFullPathName().toRawUTF8(), 1);
    auto folder = TemporaryFiles::getFolder();

    EXPECT_EQ (folder, shared.getChildFile ("tavlin-" + juce::String ((int) geteuid())));
    EXPECT_EQ (modeOf (folder), 0700);
    EXPECT_EQ (TemporaryFiles::getFolder(), folder);
}
