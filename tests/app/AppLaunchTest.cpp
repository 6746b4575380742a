// The real program on the virtual display (the suite runs under xvfb-run): it starts with its two windows
// where they belong, a second launch naming a file hands it over and ends, and an interrupt ends it
// cleanly (in the sanitizer build: with nothing reported). After its guide was shown and its window
// destroyed by another program, a quit by the keyboard or by the processing window's close button still
// ends the process, and the next launch is a program of its own.

#include "../platform/MediaFixtures.h"
#include "LocalHttpServer.h"
#include "ProgramLaunch.h"
#include "TavPreferences.h"
#include "WindowPlacement.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "XDisplayClient.h"

namespace
{
using Launch = tavlin::test::ProgramLaunch;

juce::String run (const juce::String& command)
{
    juce::String output;

    if (auto* pipe = popen (command.toRawUTF8(), "r"))
    {
        char buffer[4096];

        while (auto n = fread (buffer, 1, sizeof (buffer), pipe))
            output += juce::String::fromUTF8 (buffer, (int) n);

        pclose (pipe);
    }

    return output;
}

// The top-level windows by name, with their geometry, from xwininfo.
std::map<juce::String, juce::Rectangle<int>> windows()
{
    std::map<juce::String, juce::Rectangle<int>> found;

    for (auto& line : juce::StringArray::fromLines (run ("xwininfo -root -tree 2>/dev/null")))
    {
        auto name = line.fromFirstOccurrenceOf ("\"", false, false).upToFirstOccurrenceOf ("\"", false, false);
        auto geometry = line.fromFirstOccurrenceOf (")", false, false).trim().upToFirstOccurrenceOf (" ", false, false);

        if (name.isEmpty() || !geometry.containsChar ('x'))
            continue;

        auto w = geometry.upToFirstOccurrenceOf ("x", false, false).getIntValue();
        auto rest = geometry.fromFirstOccurrenceOf ("x", false, false);
        auto h = rest.upToFirstOccurrenceOf ("+", false, false).getIntValue();
        auto x = rest.fromFirstOccurrenceOf ("+", false, false).upToFirstOccurrenceOf ("+", false, false).getIntValue();
        auto y = rest.fromLastOccurrenceOf ("+", false, false).getIntValue();
        found[name] = { x, y, w, h };
    }

    return found;
}

bool waitForWindow (const juce::String& name, int limitMs = 20000)
{
    for (int waited = 0; waited <= limitMs; waited += 100)
    {
        if (windows().count (name) != 0)
            return true;

        juce::Thread::sleep (100);
    }

    return false;
}

// The system's temporary folder as the test program found it, before any test pointed TMPDIR elsewhere.
const juce::File systemTemp = juce::File::getSpecialLocation (juce::File::tempDirectory);

juce::Rectangle<int> screen()
{
    auto info = run ("xwininfo -root 2>/dev/null");
    auto value = [&] (const char* key) { return info.fromFirstOccurrenceOf (key, false, false).trim().getIntValue(); };
    return { 0, 0, value ("Width:"), value ("Height:") };
}
} // namespace

TEST (AppLaunchTest, StartsAnswersASecondLaunchAndQuitsCleanly)
{
    ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
        << "this test opens windows: run it under xvfb-run";
    ASSERT_FALSE (run ("command -v xwininfo").isEmpty()) << "xwininfo (x11-utils) is needed to see the windows";

    auto program = tavlin::test::applicationProgram();
    ASSERT_TRUE (program.existsAsFile()) << program.getFullPathName() << ": build the program first";

    auto root = juce::File::createTempFile ("launch");
    ASSERT_TRUE (root.createDirectory());
    auto config = root.getChildFile ("config"), runtime = root.getChildFile ("runtime"),
         tmp = root.getChildFile ("tmp");

    for (auto& folder : { config, runtime, tmp })
        ASSERT_TRUE (folder.createDirectory());

    setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_RUNTIME_DIR", runtime.getFullPathName().toRawUTF8(), 1);
    setenv ("TMPDIR", tmp.getFullPathName().toRawUTF8(), 1);
    TavPreferences (config).setFirstLaunch (false);

    // Any request the program made to another host would end at this test's own server; a default build
    // names no update feed and no store, so none may arrive.
    tavlin::test::LocalHttpServer webProxy;
    ASSERT_TRUE (webProxy.isListening());
    webProxy.setReply ({ 503, "offline" });
    webProxy.routeWebRequestsHere();

    auto clip = root.getChildFile ("interview take 2.mov");
    ASSERT_TRUE (tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                          "sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac "
                                          "-shortest "
                                          + clip.getFullPathName().quoted()));
    auto log = root.getChildFile ("first.log"), secondLog = root.getChildFile ("second.log");

    {
        Launch first (program, {}, log);
        ASSERT_TRUE (first.started());
        ASSERT_TRUE (waitForWindow ("Media Player")) << log.loadFileAsString();

        // Where the windows are: the processing window centred, 64 px down; the media window 32 px under it.
        auto shown = windows();
        auto editor = WindowPlacement::placeEditorWindow (screen(), 780, 400);
        EXPECT_EQ (shown["Tavlin"], editor) << shown["Tavlin"].toString();
        EXPECT_EQ (shown["Media Player"], WindowPlacement::placeMediaWindow (screen(), editor))
            << shown["Media Player"].toString();

        // A second launch hands over its command line and ends; the first opens the file.
        {
            Launch second (program, { clip.getFullPathName() }, secondLog);
            ASSERT_TRUE (second.started());
            EXPECT_EQ (second.waitForExit (20000), 0) << secondLog.loadFileAsString();
        }

        EXPECT_TRUE (waitForWindow (clip.getFileName())) << log.loadFileAsString();
        EXPECT_TRUE (first.running());

        first.interrupt();
        EXPECT_EQ (first.waitForExit (30000), 0) << log.loadFileAsString();
    }

    EXPECT_EQ (webProxy.getRequestCount(), 0) << webProxy.getRequestLines().joinIntoString ("\n");

    auto output = log.loadFileAsString() + secondLog.loadFileAsString();

    for (auto* report : { "LeakSanitizer", "AddressSanitizer", "runtime error:", "JUCE Assertion failure" })
        EXPECT_FALSE (output.contains (report)) << output;

    EXPECT_FALSE (runtime.getChildFile ("tavlin.instance_in").exists()) << "the pipe goes with the program";
    root.deleteRecursively();
}

TEST (AppLaunchTest, AQuitEndsTheProgramAfterTheGuideWindowWasDestroyedFromOutside)
{
    ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
        << "this test opens windows: run it under xvfb-run";
    const auto program = tavlin::test::applicationProgram();
    ASSERT_TRUE (program.existsAsFile()) << program.getFullPathName() << ": build the program first";

    // The close button's request needs the window manager's atoms, which a bare virtual display lacks.
    ASSERT_TRUE (tavlin::test::XDisplayClient::makeWindowManagerAtoms());
    tavlin::test::XDisplayClient display;
    ASSERT_TRUE (display.isOpen());
    ASSERT_TRUE (display.hasXTest()) << "the virtual display has no XTest extension for the keyboard";

    tavlin::test::LocalHttpServer webProxy;
    ASSERT_TRUE (webProxy.isListening());
    webProxy.setReply ({ 503, "offline" });
    webProxy.routeWebRequestsHere();

    struct Quit
    {
        const char* how;
        std::function<void (tavlin::test::XDisplayClient&)> ask;
    };

    const Quit quits[] = {
        { "Ctrl+Q typed in the media window",
          [] (auto& x)
          {
              x.focus (x.findTopLevel ("Media Player"));
              x.typeWithControl (XK_q);
          } },
        { "the processing window's close button", [] (auto& x) { x.askToClose (x.findTopLevel ("Tavlin")); } },
    };

    for (const auto& quit : quits)
    {
        SCOPED_TRACE (quit.how);
        const auto root = systemTemp.getNonexistentChildFile ("guide-quit", {}, false);
        ASSERT_TRUE (root.createDirectory());
        tavlin::test::useFreshFolders (root);
        const auto clip = root.getChildFile ("later.wav");
        ASSERT_TRUE (tavlin::test::writeWav (
            clip, 44100.0, 2, 44100, 16, [] (int64_t n, int ch) { return tavlin::test::sineSample (n, ch, 44100.0); }));
        const auto log = root.getChildFile ("first.log"), laterLog = root.getChildFile ("later.log");

        {
            Launch first (program, {}, log);
            ASSERT_TRUE (first.started());
            const auto media = display.waitForTopLevel ("Media Player");
            ASSERT_NE (media, 0u) << log.loadFileAsString();
            ASSERT_NE (display.waitForTopLevel ("Tavlin"), 0u);

            // The guide, by its keyboard shortcut; once its page shows, another program destroys its window.
            display.focus (media);
            display.typeWithControl (XK_g);
            const auto guide = display.waitForTopLevel ("Tavlin User Guide");
            ASSERT_NE (guide, 0u) << "Ctrl+G showed no guide\n" << log.loadFileAsString();

            for (int waited = 0; display.descendantsOf (guide).empty() && waited < 20000; waited += 100)
                juce::Thread::sleep (100);

            ASSERT_FALSE (display.descendantsOf (guide).empty()) << "the guide's page never showed\n"
                                                                 << log.loadFileAsString();
            juce::Thread::sleep (500);
            display.destroy (guide);
            juce::Thread::sleep (1500);
            ASSERT_TRUE (first.running()) << "losing the guide's window ended the program\n" << log.loadFileAsString();
            EXPECT_NE (display.findTopLevel ("Media Player"), 0u);

            quit.ask (display);
            EXPECT_EQ (first.waitForExit (30000), 0) << "the quit was not carried out\n" << log.loadFileAsString();
        }

        // The next launch finds no instance to hand its file to: it opens the file in windows of its own.
        {
            Launch later (program, { clip.getFullPathName() }, laterLog);
            ASSERT_TRUE (later.started());
            EXPECT_NE (display.waitForTopLevel (clip.getFileName()), 0u) << "forwarded to a hidden instance?\n"
                                                                         << laterLog.loadFileAsString();
            EXPECT_TRUE (later.running());
            later.interrupt();
            EXPECT_EQ (later.waitForExit (30000), 0) << laterLog.loadFileAsString();
        }

        const auto output = log.loadFileAsString() + laterLog.loadFileAsString();

        for (auto* report : { "LeakSanitizer", "AddressSanitizer", "runtime error:", "JUCE Assertion failure" })
            EXPECT_FALSE (output.contains (report)) << output;

        root.deleteRecursively();
    }

    EXPECT_EQ (webProxy.getRequestCount(), 0) << webProxy.getRequestLines().joinIntoString ("\n");
}
