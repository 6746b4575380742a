#include "TavlinApplication.h"
#include "gui/WindowManagerAtoms.h"

// Made before the framework opens the display, so that its windows can be asked to close by a window manager
// that starts after them.
static const tavlin::desktop::WindowManagerAtoms windowManagerAtoms;

START_JUCE_APPLICATION (TavlinApplication)
