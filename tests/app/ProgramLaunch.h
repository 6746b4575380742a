#pragma once

// A run of another program (the application itself, a window manager...) from a test, its output kept in a file.

#include "TavPreferences.h"

#include <juce_core/juce_core.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tavlin::test
{

/** One run of a program with this process's environment (some variables replaced, when given), its output and
    errors appended to a file; killed if still running at the end.
*/
class ProgramLaunch
{
public:
    ProgramLaunch (const juce::File& program, const juce::StringArray& arguments, const juce::File& log,
                   const std::map<std::string, std::string>& replacedVariables = {})
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, log.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_APPEND,
                                          0600);
        posix_spawn_file_actions_adddup2 (&actions, 1, 2);

        std::vector<std::string> words { program.getFullPathName().toStdString() };

        for (auto& a : arguments)
            words.push_back (a.toStdString());

        std::vector<char*> argv;
        argv.reserve (words.size() + 1);

        for (auto& w : words)
            argv.push_back (w.data());

        argv.push_back (nullptr);

        std::vector<std::string> variables;

        for (auto** v = environ; *v != nullptr; ++v)
        {
            const std::string variable (*v);

            if (replacedVariables.count (variable.substr (0, variable.find ('='))) == 0)
                variables.push_back (variable);
        }

        for (const auto& [name, value] : replacedVariables)
            variables.push_back (std::string (name).append ("=").append (value));

        std::vector<char*> envp;
        envp.reserve (variables.size() + 1);

        for (auto& v : variables)
            envp.push_back (v.data());

        envp.push_back (nullptr);

        if (posix_spawn (&pid, words[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;

        posix_spawn_file_actions_destroy (&actions);
    }

    ~ProgramLaunch()
    {
        if (running())
        {
            kill (pid, SIGKILL);
            waitpid (pid, nullptr, 0);
        }
    }

    bool started() const { return pid > 0; }

    /** True until the program has been seen to end (by waitForExit or hasEnded). */
    bool running() const { return pid > 0 && !exited; }

    /** Looks without waiting: true once the program has ended. */
    bool hasEnded() { return waitForExit (0) != -1 || exited; }

    void interrupt() { kill (pid, SIGINT); }
    void terminate() { kill (pid, SIGTERM); }

    /** Waits up to limitMs; the exit code, or -1 when it did not end (or ended by a signal). */
    int waitForExit (int limitMs)
    {
        for (int waited = 0; !exited && waited <= limitMs; waited += 20)
        {
            int status = 0;

            if (waitpid (pid, &status, WNOHANG) == pid)
            {
                exited = true;
                code = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
            }
            else if (waited < limitMs)
            {
                juce::Thread::sleep (20);
            }
        }

        return exited ? code : -1;
    }

private:
    pid_t pid = -1;
    bool exited = false;
    int code = -1;

    JUCE_DECLARE_NON_COPYABLE (ProgramLaunch)
};

/** The application as built beside the test programs. */
inline juce::File applicationProgram()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
        .getParentDirectory()
        .getParentDirectory()
        .getChildFile ("Source/Tavlin");
}

/** Fresh settings, runtime and temporary folders under root, for the program and anything it starts; the
    program starts as after its first launch.
*/
inline void useFreshFolders (const juce::File& root)
{
    auto config = root.getChildFile ("config"), runtime = root.getChildFile ("runtime"),
         tmp = root.getChildFile ("tmp");

    for (auto& folder : { config, runtime, tmp })
        folder.createDirectory();

    setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_RUNTIME_DIR", runtime.getFullPathName().toRawUTF8(), 1);
    setenv ("TMPDIR", tmp.getFullPathName().toRawUTF8(), 1);
    TavPreferences (config).setFirstLaunch (false);
}

} // namespace tavlin::test
