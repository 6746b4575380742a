#pragma once

// For test programs that open windows: include this in exactly one file of the program.
//
// The program then runs as the application does, as a standalone program: the framework installs its own X
// error handlers (a bare virtual display without a window manager answers some window queries with errors)
// and starts the web view's child process by running this executable again with a special first argument,
// which the main() below hands to the framework instead of to the test runner. The linker takes this main()
// in place of the one in gtest_main.

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace juce
{
int juce_gtkWebkitMain (int argc, const char* argv[]);
}

int main (int argc, char** argv)
{
    if (argc >= 2 && std::strcmp (argv[1], "--juce-gtkwebkitfork-child") == 0)
    {
        // Ends without the exit handlers: the web view's toolkit keeps its caches until the very end, which
        // the sanitizer build would report as leaks of the test.
        std::_Exit (juce::juce_gtkWebkitMain (argc, const_cast<const char**> (argv)));
    }

    // Marks the process as a standalone application unless a test did so already; this factory is never called.
    if (juce::JUCEApplicationBase::createInstance == nullptr)
        juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
