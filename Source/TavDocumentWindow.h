#pragma once

#include "gui/QueuedEventsDispatcher.h"

#include <juce_gui_basics/juce_gui_basics.h>

class WindowHost;

/** The base of the application's three windows (processing, media, user guide): title "Tavlin", light grey,
    all title-bar buttons, the menus and the whole command table. Every window gives the same answers;
    the subclasses differ only in what their close button does.
*/
class TavDocumentWindow : public juce::DocumentWindow, public juce::MenuBarModel, public juce::ApplicationCommandTarget
{
public:
    /** The menus list the commands of commandManager, whose key mappings work while the window has the
        focus; the commands run on host. Both outlive the window.
    */
    TavDocumentWindow (juce::ApplicationCommandManager& commandManager, WindowHost& host);
    ~TavDocumentWindow() override;

    //==============================================================================
    /** "File", "Media", "Help". */
    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override;

    /** The two extra items: "Check for Updates..." starts a check; "About Tavlin" shows the credits page,
        except while a long operation runs (its progress display lives on the page it would replace).
    */
    void menuItemSelected (int menuItemID, int topLevelMenuIndex) override;

    //==============================================================================
    ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;

    /** Runs the command through the application; false for an id outside the command table. */
    bool perform (const InvocationInfo& info) override;

protected:
    WindowHost& getHost() noexcept { return host; }

private:
    juce::ApplicationCommandManager& commandManager;
    WindowHost& host;
    tavlin::desktop::QueuedEventsDispatcher queuedEvents { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavDocumentWindow)
};
