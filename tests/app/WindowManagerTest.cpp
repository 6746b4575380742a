// The real program under a real window manager (openbox), each case on a virtual display of its own: a manager
// that starts after the user guide has opened takes the guide's window into a frame; the guide is then closed
// through the manager, shown again, kept while the manager is replaced and while it dies and comes back, and
// closed again. The program lives on through all of it, and a quit then ends it with status 0. It does so also
// on a display no window manager has run on before the program started.

#include "LocalHttpServer.h"
#include "ProgramLaunch.h"

#include <gtest/gtest.h>

#include <poll.h>

#include "XDisplayClient.h"

namespace
{
using tavlin::test::ProgramLaunch;
using tavlin::test::XDisplayClient;

const juce::String guideName ("Tavlin User Guide");

// The system's temporary folder as the test program found it.
const juce::File systemTemp = juce::File::getSpecialLocation (juce::File::tempDirectory);

/** A virtual display server of its own (the display's number chosen by the server), made the display of this
    process and of everything it starts while it runs.
*/
class VirtualDisplay
{
public:
    static juce::File program() { return juce::File ("/usr/bin/Xvfb"); }

    explicit VirtualDisplay (const juce::File& log)
        : previous (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}))
    {
        int ready[2];

        if (pipe (ready) != 0)
            return;

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, log.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_APPEND,
                                          0600);
        posix_spawn_file_actions_adddup2 (&actions, 1, 2);
        posix_spawn_file_actions_adddup2 (&actions, ready[1], 3);
        posix_spawn_file_actions_addclose (&actions, ready[0]);

        std::string words[] = { program().getFullPathName().toStdString(),
                                "-displayfd",
                                "3",
                                "-screen",
                                "0",
                                "1600x1200x24",
                                "-nolisten",
                                "tcp" };
        std::vector<char*> argv;

        for (auto& w : words)
            argv.push_back (w.data());

        argv.push_back (nullptr);

        if (posix_spawn (&pid, words[0].c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;

        posix_spawn_file_actions_destroy (&actions);
        close (ready[1]);

        // The server writes its number once it takes connections.
        std::string number;
        pollfd waiting { ready[0], POLLIN, 0 };

        while (pid > 0 && number.find ('\n') == std::string::npos && poll (&waiting, 1, 20000) > 0)
        {
            char buffer[16];
            const auto n = read (ready[0], buffer, sizeof (buffer));

            if (n <= 0)
                break;

            number.append (buffer, (size_t) n);
        }

        close (ready[0]);

        if (number.find ('\n') != std::string::npos)
        {
            name = ":" + juce::String (number).trim();
            setenv ("DISPLAY", name.toRawUTF8(), 1);
        }
    }

    ~VirtualDisplay()
    {
        if (previous.isNotEmpty())
            setenv ("DISPLAY", previous.toRawUTF8(), 1);
        else
            unsetenv ("DISPLAY");

        if (pid > 0)
        {
            kill (pid, SIGTERM);
            waitpid (pid, nullptr, 0);
        }
    }

    bool isRunning() const { return name.isNotEmpty(); }
    const juce::String& getName() const { return name; }

private:
    juce::String previous, name;
    pid_t pid = -1;

    JUCE_DECLARE_NON_COPYABLE (VirtualDisplay)
};

/** A window manager with a home, settings and caches of its own under a folder, so that nothing of the
    user's is read: no settings file but its own, and no session manager.
*/
class WindowManager
{
public:
    explicit WindowManager (const juce::File& folder) : home (folder.getChildFile ("home"))
    {
        home.getChildFile (".config/openbox").createDirectory();
        config = home.getChildFile (".config/openbox/rc.xml");
        config.replaceWithText ("<?xml version=\"1.0\"?>\n"
                                "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                                "  <focus><focusNew>yes</focusNew></focus>\n"
                                "  <placement><policy>Smart</policy></placement>\n"
                                "  <desktops><number>1</number></desktops>\n"
                                "</openbox_config>\n");
        log = folder.getChildFile ("openbox.log");
    }

    static juce::File program() { return juce::File ("/usr/bin/openbox"); }

    /** Starts a manager; with replace, it takes over from the one running. */
    std::unique_ptr<ProgramLaunch> start (bool replace = false) const
    {
        juce::StringArray arguments { "--sm-disable", "--config-file", config.getFullPathName() };

        if (replace)
            arguments.add ("--replace");

        const auto path = [this] (const char* below)
        { return home.getChildFile (below).getFullPathName().toStdString(); };

        return std::make_unique<ProgramLaunch> (program(), arguments, log,
                                                std::map<std::string, std::string> {
                                                    { "HOME", home.getFullPathName().toStdString() },
                                                    { "XDG_CONFIG_HOME", path (".config") },
                                                    { "XDG_DATA_HOME", path (".local/share") },
                                                    { "XDG_CACHE_HOME", path (".cache") },
                                                    { "XDG_STATE_HOME", path (".local/state") },
                                                });
    }

    juce::String getLog() const { return log.loadFileAsString(); }

private:
    juce::File home, config, log;
};
} // namespace

TEST (WindowManagerTest, TheGuideSurvivesALateRestartedAndLostWindowManagerAndAQuitStillEndsTheProgram)
{
    ASSERT_TRUE (VirtualDisplay::program().existsAsFile()) << "Xvfb (xvfb) is needed";
    ASSERT_TRUE (WindowManager::program().existsAsFile()) << "openbox is needed: scripts/install-deps.sh installs it";
    const auto program = tavlin::test::applicationProgram();
    ASSERT_TRUE (program.existsAsFile()) << program.getFullPathName() << ": build the program first";

    tavlin::test::LocalHttpServer webProxy;
    ASSERT_TRUE (webProxy.isListening());
    webProxy.setReply ({ 503, "offline" });
    webProxy.routeWebRequestsHere();

    struct Display
    {
        const char* what;
        bool managedBefore; // a window manager has run on it: the atoms of its protocols exist
    };

    const Display displays[] = {
        { "a display where a window manager has run before", true },
        { "a display no window manager has run on before the program", false },
    };

    for (const auto& kind : displays)
    {
        SCOPED_TRACE (kind.what);
        const auto root = systemTemp.getNonexistentChildFile ("window-manager", {}, false);
        ASSERT_TRUE (root.createDirectory());
        tavlin::test::useFreshFolders (root);
        const WindowManager manager (root.getChildFile ("wm"));
        const auto log = root.getChildFile ("program.log");
        const auto report = [&] { return "\nprogram:\n" + log.loadFileAsString() + "\nopenbox:\n" + manager.getLog(); };

        {
            const VirtualDisplay server (root.getChildFile ("xvfb.log"));
            ASSERT_TRUE (server.isRunning()) << root.getChildFile ("xvfb.log").loadFileAsString();
            XDisplayClient display;
            ASSERT_TRUE (display.isOpen());
            ASSERT_TRUE (display.hasXTest()) << "the virtual display has no XTest extension for the keyboard";
            ASSERT_FALSE (display.hasWindowManager());

            if (kind.managedBefore)
                ASSERT_TRUE (display.makeCloseRequestAtoms());
            else
                ASSERT_FALSE (display.atomExists ("WM_DELETE_WINDOW")) << "the display is not a fresh one";

            ProgramLaunch app (program, {}, log);
            ASSERT_TRUE (app.started());
            ASSERT_NE (display.waitForShown ("Media Player"), 0u) << report();
            ASSERT_NE (display.waitForShown ("Tavlin"), 0u) << report();

            // The guide by its keyboard shortcut, until its page shows in it.
            const auto openGuide = [&]
            {
                display.focus (display.findShown ("Media Player"));
                display.typeWithControl (XK_g);
                const auto guide = display.waitForShown (guideName);

                for (int waited = 0; guide != 0 && display.descendantsOf (guide).empty() && waited < 20000;
                     waited += 100)
                    juce::Thread::sleep (100);

                return guide != 0 && !display.descendantsOf (guide).empty() ? guide : 0;
            };

            // Waits until the manager has the guide in a frame, with the guide still shown.
            const auto framed = [&]
            {
                for (int waited = 0; waited < 20000; waited += 100)
                {
                    if (auto guide = display.findShown (guideName); guide != 0 && display.isFramed (guide))
                        return guide;

                    juce::Thread::sleep (100);
                }

                return XDisplayClient::WindowId (0);
            };

            const auto stillRunning = [&] (const char* after)
            {
                juce::Thread::sleep (1500);
                EXPECT_FALSE (app.hasEnded()) << after << " ended the program" << report();
                return !app.hasEnded();
            };

            // A manager that starts after the guide has opened takes it into a frame; closed through the manager.
            ASSERT_NE (openGuide(), 0u) << "the guide never showed" << report();
            auto wm = manager.start();
            ASSERT_TRUE (wm->started());
            auto guide = framed();
            ASSERT_NE (guide, 0u) << "the window manager never took the guide" << report();
            ASSERT_TRUE (display.hasWindowManager());
            ASSERT_TRUE (stillRunning ("a window manager taking the guide"));
            display.askWindowManagerToClose (guide);
            EXPECT_TRUE (display.waitUntilNotShown (guideName)) << "the guide stayed after the manager closed it";
            ASSERT_TRUE (stillRunning ("closing the guide through the window manager"));

            // Shown again; the manager is replaced by another while it shows, which then closes it.
            ASSERT_NE (openGuide(), 0u) << "the guide did not show again" << report();
            ASSERT_NE (framed(), 0u) << report();
            auto replacement = manager.start (true);
            ASSERT_TRUE (replacement->started());
            EXPECT_NE (wm->waitForExit (20000), -1) << "the replaced manager did not end" << report();
            ASSERT_TRUE (stillRunning ("replacing the window manager"));
            guide = framed();
            ASSERT_NE (guide, 0u) << "the new window manager never took the guide" << report();
            display.askWindowManagerToClose (guide);
            EXPECT_TRUE (display.waitUntilNotShown (guideName)) << "the guide stayed after the new manager closed it";
            ASSERT_TRUE (stillRunning ("closing the guide through the new window manager"));

            // Shown again; the manager dies while it shows and another starts, whose close request then closes it.
            ASSERT_NE (openGuide(), 0u) << "the guide did not show again" << report();
            ASSERT_NE (framed(), 0u) << report();
            replacement.reset(); // killed, as a crash would end it
            ASSERT_TRUE (stillRunning ("losing the window manager"));
            ASSERT_NE (display.findShown (guideName), 0u) << "the guide went with the window manager";
            wm = manager.start();
            ASSERT_TRUE (wm->started());
            guide = framed();
            ASSERT_NE (guide, 0u) << "the restarted window manager never took the guide" << report();
            display.askToClose (guide);
            EXPECT_TRUE (display.waitUntilNotShown (guideName)) << "the guide stayed after its close request";
            ASSERT_TRUE (stillRunning ("closing the guide under the restarted window manager"));

            // The quit is carried out: the process ends, with status 0.
            const auto media = display.findShown ("Media Player");
            ASSERT_NE (media, 0u);
            display.focus (media);
            display.typeWithControl (XK_q);
            EXPECT_EQ (app.waitForExit (30000), 0) << "the quit was not carried out" << report();

            wm->terminate();
            EXPECT_NE (wm->waitForExit (20000), -1) << manager.getLog();
        }

        const auto output = log.loadFileAsString();

        for (auto* found : { "LeakSanitizer", "AddressSanitizer", "runtime error:", "JUCE Assertion failure" })
            EXPECT_FALSE (output.contains (found)) << output;

        root.deleteRecursively();
    }

    EXPECT_EQ (webProxy.getRequestCount(), 0) << webProxy.getRequestLines().joinIntoString ("\n");
}
