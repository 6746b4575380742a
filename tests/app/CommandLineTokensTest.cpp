#include "CommandLineTokens.h"

#include <gtest/gtest.h>

TEST (CommandLineTokensTest, TokensAndTheFirstAbsolutePath)
{
    struct Case
    {
        const char* commandLine;
        juce::StringArray tokens;
        const char* firstAbsolute;
    };

    const Case cases[] = {
        { "", {}, "" },
        { "/home/ana/clip.mov", { "/home/ana/clip.mov" }, "/home/ana/clip.mov" },
        { "\"/home/ana/my movies/clip one.mov\"",
          { "/home/ana/my movies/clip one.mov" },
          "/home/ana/my movies/clip one.mov" },
        { "--verbose relative.mov ./song.wav -psn_0_42",
          { "--verbose", "relative.mov", "./song.wav", "-psn_0_42" },
          "" },
        { "/first.mov /second.mov", { "/first.mov", "/second.mov" }, "/first.mov" },
        { "\"/a b.wav\" \"/c d.wav\"", { "/a b.wav", "/c d.wav" }, "/a b.wav" },
        { " \t/tab.mov\r\n", { "/tab.mov" }, "/tab.mov" },
        { "'/single.mov'", { "/single.mov" }, "/single.mov" },
        { "~/Music/song.mp3", { "~/Music/song.mp3" }, "~/Music/song.mp3" },
        { "--open \"/x/y z.aif\" /w.aif", { "--open", "/x/y z.aif", "/w.aif" }, "/x/y z.aif" },
        { "\"'/both.wav'\"", { "'/both.wav'" }, "" }, // one quote off each end, no more
        { "\"\"", { "" }, "" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.commandLine);
        EXPECT_EQ (CommandLineTokens::tokenise (c.commandLine), c.tokens)
            << CommandLineTokens::tokenise (c.commandLine).joinIntoString ("|");
        EXPECT_EQ (CommandLineTokens::firstAbsolutePath (c.commandLine), c.firstAbsolute);
    }
}
