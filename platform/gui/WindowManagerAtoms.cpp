#include "WindowManagerAtoms.h"

#include <X11/Xlib.h>

#include <initializer_list>

namespace tavlin::desktop
{

struct WindowManagerAtoms::Connection
{
    explicit Connection (Display* d) : display (d) {}
    ~Connection() { XCloseDisplay (display); }

    Display* const display;
};

WindowManagerAtoms::WindowManagerAtoms()
{
    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
        return;

    connection = std::make_unique<Connection> (display);

    // Those the framework looks up only if they exist, for what its windows tell a window manager: the
    // protocols (close request, focus, ping), their state, type, decorations and allowed actions.
    for (auto* name :
         { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "_NET_WM_PING", "WM_CHANGE_STATE", "WM_STATE",
           "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_STATE",
           "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN", "_MOTIF_WM_HINTS", "_NET_WM_ALLOWED_ACTIONS",
           "_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_FULLSCREEN", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE" })
        XInternAtom (display, name, False);

    XSync (display, False);
}

WindowManagerAtoms::~WindowManagerAtoms() = default;

} // namespace tavlin::desktop
