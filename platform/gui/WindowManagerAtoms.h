#pragma once

#include <memory>

namespace tavlin::desktop
{

/** Makes the atoms of the window manager's protocols exist on the display before the framework opens it.

    The framework uses those atoms only if they exist when it opens the display. On a display where no window
    manager has run yet they do not, and its windows then declare no close request: a window manager started
    later ends the whole program when one of its windows is closed (it disconnects a client that cannot be
    asked), instead of asking the window. Make one before the framework's first window; it holds a connection
    of its own while it lives, so that a display whose only other client is this program keeps the atoms.
    Without a display it does nothing.
*/
class WindowManagerAtoms
{
public:
    WindowManagerAtoms();
    ~WindowManagerAtoms();

    /** True when the atoms exist on the display (false without one). */
    bool exist() const noexcept { return connection != nullptr; }

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
};

} // namespace tavlin::desktop
