#pragma once

// Include after every other header: the X headers define macros (None, True, KeyPress, ...) that clash with
// names in other libraries; the worst of them are taken back at the end.

#include <juce_graphics/juce_graphics.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

namespace tavlin::test
{

/** Another program on the display, with a connection of its own: it finds windows by name (also inside a
    window manager's frames), destroys or closes them as a window manager or a user can, asks a running window
    manager to close them, tells them they moved, and types keys through the XTest extension as a keyboard
    would.
*/
class XDisplayClient
{
public:
    using WindowId = unsigned long;

    XDisplayClient() : display (XOpenDisplay (nullptr))
    {
        // A window may go between finding it and acting on it: that is no reason to end the test program.
        XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });
    }

    ~XDisplayClient()
    {
        if (display != nullptr)
            XCloseDisplay (display);
    }

    bool isOpen() const noexcept { return display != nullptr; }

    /** Makes the atoms a window manager's close request uses. The framework looks them up only if they exist
        when it opens the display, as they do wherever a window manager runs; on a bare virtual display
        they have to be made before the program starts, over a connection that stays open (a server that
        loses its last client forgets them).
    */
    static bool makeWindowManagerAtoms()
    {
        static XDisplayClient keeper;
        return keeper.makeCloseRequestAtoms();
    }

    /** Makes the close request's atoms over this connection: they last while it is open. */
    bool makeCloseRequestAtoms()
    {
        if (!isOpen())
            return false;

        XInternAtom (display, "WM_PROTOCOLS", 0);
        XInternAtom (display, "WM_DELETE_WINDOW", 0);
        sync();
        return true;
    }

    /** True when an atom of this name exists on the display. */
    bool atomExists (const char* name) { return XInternAtom (display, name, 1) != 0; }

    bool hasXTest()
    {
        int event = 0, error = 0, major = 0, minor = 0;
        return display != nullptr && XTestQueryExtension (display, &event, &error, &major, &minor) != 0;
    }

    /** The window's name (WM_NAME), as UTF-8. */
    juce::String nameOf (WindowId window)
    {
        XTextProperty property {};
        juce::String name;

        if (XGetWMName (display, (Window) window, &property) != 0 && property.value != nullptr)
        {
            name = juce::String::fromUTF8 ((const char*) property.value, (int) property.nitems);
            XFree (property.value);
        }

        return name;
    }

    /** True when the window is mapped and has this name. */
    bool isShownAs (WindowId window, const juce::String& name)
    {
        XWindowAttributes attributes {};
        return XGetWindowAttributes (display, (Window) window, &attributes) != 0 && attributes.map_state == IsViewable
               && nameOf (window) == name;
    }

    /** The windows directly under the root with this name that are mapped (0: none). */
    WindowId findTopLevel (const juce::String& name)
    {
        for (auto window : childrenOf (DefaultRootWindow (display)))
            if (isShownAs (window, name))
                return window;

        return 0;
    }

    /** Waits up to limitMs for a mapped top-level window of this name. */
    WindowId waitForTopLevel (const juce::String& name, int limitMs = 20000)
    {
        return poll (limitMs, [&] { return findTopLevel (name); });
    }

    /** Waits up to limitMs until no mapped top-level window has this name. */
    bool waitUntilGone (const juce::String& name, int limitMs = 20000)
    {
        return poll (limitMs, [&] { return findTopLevel (name) == 0; });
    }

    /** A mapped window of this name, directly under the root or inside a window manager's frame (0: none). */
    WindowId findShown (const juce::String& name)
    {
        if (auto window = findTopLevel (name))
            return window;

        for (auto frame : childrenOf (DefaultRootWindow (display)))
            for (auto window : descendantsOf (frame, 2))
                if (isShownAs (window, name))
                    return window;

        return 0;
    }

    /** Waits up to limitMs for findShown to find a window of this name. */
    WindowId waitForShown (const juce::String& name, int limitMs = 20000)
    {
        return poll (limitMs, [&] { return findShown (name); });
    }

    /** Waits up to limitMs until findShown finds no window of this name. */
    bool waitUntilNotShown (const juce::String& name, int limitMs = 20000)
    {
        return poll (limitMs, [&] { return findShown (name) == 0; });
    }

    /** True while a window manager holds the screen's selection. */
    bool hasWindowManager()
    {
        const auto selection = XInternAtom (display, ("WM_S" + juce::String (DefaultScreen (display))).toRawUTF8(), 0);
        return XGetSelectionOwner (display, selection) != 0;
    }

    /** True when a window manager has put the window into a frame of its own. */
    bool isFramed (WindowId window)
    {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;

        if (XQueryTree (display, (Window) window, &root, &parent, &children, &count) == 0)
            return false;

        if (children != nullptr)
            XFree (children);

        return parent != root;
    }

    /** Asks the window manager to close a window, as a task bar or pager does; the manager then sends the
        window its close request.
    */
    void askWindowManagerToClose (WindowId window)
    {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = (Window) window;
        event.xclient.message_type = XInternAtom (display, "_NET_CLOSE_WINDOW", 0);
        event.xclient.format = 32;
        event.xclient.data.l[0] = CurrentTime;
        event.xclient.data.l[1] = 2; // from a pager: the user's own request
        XSendEvent (display, DefaultRootWindow (display), 0, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync (display, 0);
    }

    std::vector<WindowId> childrenOf (WindowId window)
    {
        std::vector<WindowId> found;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;

        if (XQueryTree (display, (Window) window, &root, &parent, &children, &count) != 0)
        {
            for (unsigned int i = 0; i < count; ++i)
                found.push_back (children[i]);

            if (children != nullptr)
                XFree (children);
        }

        return found;
    }

    /** The windows below this one, down to a number of levels. */
    std::vector<WindowId> descendantsOf (WindowId window, int levels = 64)
    {
        std::vector<WindowId> found;

        if (levels <= 0)
            return found;

        for (auto child : childrenOf (window))
        {
            found.push_back (child);

            for (auto below : descendantsOf (child, levels - 1))
                found.push_back (below);
        }

        return found;
    }

    void destroy (WindowId window)
    {
        XDestroyWindow (display, (Window) window);
        XSync (display, 0);
    }

    /** What a window manager sends when the user clicks a window's close button. */
    void askToClose (WindowId window)
    {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = (Window) window;
        event.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", 0);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long) XInternAtom (display, "WM_DELETE_WINDOW", 0);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent (display, (Window) window, 0, NoEventMask, &event);
        XSync (display, 0);
    }

    /** Tells whoever watches a window's structure that it moved (as a window manager does). Sent with the
        next request that goes out (sync, askToClose...), so several go in one batch.
    */
    void reportMoved (WindowId window)
    {
        XWindowAttributes attributes {};

        if (XGetWindowAttributes (display, (Window) window, &attributes) == 0)
            return;

        XEvent event {};
        event.xconfigure.type = ConfigureNotify;
        event.xconfigure.event = (Window) window;
        event.xconfigure.window = (Window) window;
        event.xconfigure.x = attributes.x + 1;
        event.xconfigure.y = attributes.y;
        event.xconfigure.width = attributes.width;
        event.xconfigure.height = attributes.height;
        XSendEvent (display, (Window) window, 0, StructureNotifyMask, &event);
    }

    /** The windows under this one that another program embeds in it (those carrying XEmbed's info). */
    std::vector<WindowId> embeddedIn (WindowId window)
    {
        const auto info = XInternAtom (display, "_XEMBED_INFO", 1);
        std::vector<WindowId> found;

        for (auto below : descendantsOf (window))
        {
            int numProperties = 0;
            auto* properties = XListProperties (display, (Window) below, &numProperties);

            if (properties == nullptr)
                continue;

            if (std::find (properties, properties + numProperties, info) != properties + numProperties)
                found.push_back (below);

            XFree (properties);
        }

        return found;
    }

    /** The window's size in pixels; empty when the window is gone. */
    juce::Rectangle<int> sizeOf (WindowId window)
    {
        XWindowAttributes attributes {};

        if (XGetWindowAttributes (display, (Window) window, &attributes) == 0)
            return {};

        return { attributes.width, attributes.height };
    }

    /** Resizes a window as any program on the display can. */
    void resize (WindowId window, int width, int height)
    {
        XResizeWindow (display, (Window) window, (unsigned int) width, (unsigned int) height);
        XSync (display, 0);
    }

    /** Gives a window the keyboard focus and the pointer, as clicking it would. */
    void focus (WindowId window)
    {
        XRaiseWindow (display, (Window) window);
        XWarpPointer (display, 0, (Window) window, 0, 0, 0, 0, 20, 20);
        XSetInputFocus (display, (Window) window, RevertToParent, CurrentTime);
        XSync (display, 0);
    }

    /** Types a key with Control held, through XTest, as the keyboard would. */
    void typeWithControl (unsigned long keysym)
    {
        const auto control = XKeysymToKeycode (display, XK_Control_L);
        const auto key = XKeysymToKeycode (display, (KeySym) keysym);
        XTestFakeKeyEvent (display, control, 1, 0);
        XTestFakeKeyEvent (display, key, 1, 0);
        XTestFakeKeyEvent (display, key, 0, 0);
        XTestFakeKeyEvent (display, control, 0, 0);
        XSync (display, 0);
    }

    void sync() { XSync (display, 0); }

private:
    /** Asks find every 50 ms for up to limitMs: its first answer that is not zero or false, else that. */
    template <typename Find>
    static auto poll (int limitMs, Find&& find) -> decltype (find())
    {
        for (int waited = 0; waited < limitMs; waited += 50)
        {
            if (auto found = find())
                return found;

            juce::Thread::sleep (50);
        }

        return find();
    }

    Display* display;
};

} // namespace tavlin::test

#undef None
#undef Bool
#undef True
#undef False
#undef Status
#undef Always
#undef Success
#undef KeyPress
#undef KeyRelease
#undef FocusIn
#undef FocusOut
