#include "TavlinApplication.h"
#include "gui/WindowManagerAtoms.h"

#include <cstring>

namespace juce
{
int juce_gtkWebkitMain (int argc, const char* argv[]);
}

// Made before the framework opens the display, so that its windows can be asked to close by a window manager
// that starts after them.
static const tavlin::desktop::WindowManagerAtoms windowManagerAtoms;

JUCE_CREATE_APPLICATION_DEFINE (TavlinApplication)

int main (int argc, char* argv[])
{
    // The web view's page process is this program started again with the framework's first argument. The
    // GUI modules run it; the core modules' application start, compiled without them, does not look for it.
    if (argc >= 2 && std::strcmp (argv[1], "--juce-gtkwebkitfork-child") == 0)
        return juce::juce_gtkWebkitMain (argc, const_cast<const char**> (argv));

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
