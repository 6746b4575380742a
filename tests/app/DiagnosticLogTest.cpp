// The program's diagnostic lines: silent by default, in the named file when TAVLIN_LOG asks for one, and
// never on the standard output or error.

#include "DiagnosticLog.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST (DiagnosticLogTest, SilentByDefaultAndInTheNamedFileWhenAsked)
{
    const auto folder = juce::File::createTempFile ("log");
    ASSERT_TRUE (folder.createDirectory());
    const auto file = folder.getChildFile ("tavlin.log");

    struct Case
    {
        const char* what;
        juce::String setting; // empty: unset
        bool written;
    };

    for (const auto& c : { Case { "unset", {}, false }, Case { "a relative name", "tavlin.log", false },
                           Case { "a file", file.getFullPathName(), true } })
    {
        SCOPED_TRACE (c.what);
        file.deleteFile();

        if (c.setting.isEmpty())
            unsetenv ("TAVLIN_LOG");
        else
            setenv ("TAVLIN_LOG", c.setting.toRawUTF8(), 1);

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        {
            DiagnosticLog::Installed installed;
            EXPECT_EQ (juce::Logger::getCurrentLogger(), &installed.getLog());
            juce::Logger::writeToLog ("AVAssetExportSessionStatusCompleted");
            juce::Logger::writeToLog ("Exporting Ended");
        }
        EXPECT_EQ (juce::Logger::getCurrentLogger(), nullptr) << "the previous logger is back";
        EXPECT_EQ (testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ (testing::internal::GetCapturedStderr(), "");

        const auto text = file.loadFileAsString();
        EXPECT_EQ (text.contains ("AVAssetExportSessionStatusCompleted") && text.contains ("Exporting Ended"),
                   c.written)
            << text;
    }

    unsetenv ("TAVLIN_LOG");
    folder.deleteRecursively();
}
