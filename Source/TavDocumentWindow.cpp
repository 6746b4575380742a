#include "TavDocumentWindow.h"

#include "CommandTable.h"
#include "WindowHost.h"

TavDocumentWindow::TavDocumentWindow (juce::ApplicationCommandManager& commands, WindowHost& hostToUse)
    : juce::DocumentWindow ("Tavlin", juce::Colour (0xffd3d3d3), juce::DocumentWindow::allButtons, true),
      commandManager (commands), host (hostToUse)
{
    addKeyListener (commandManager.getKeyMappings());
}

TavDocumentWindow::~TavDocumentWindow() = default;

juce::StringArray TavDocumentWindow::getMenuBarNames()
{
    return CommandTable::getMenuBarNames();
}

juce::PopupMenu TavDocumentWindow::getMenuForIndex (int topLevelMenuIndex, const juce::String&)
{
    return CommandTable::getMenu (topLevelMenuIndex, &commandManager);
}

void TavDocumentWindow::menuItemSelected (int menuItemID, int)
{
    if (menuItemID == CommandIDs::checkForUpdates)
        host.checkForUpdates();
    else if (menuItemID == CommandIDs::showAbout && host.isIdle())
        host.showEditorPage (1);
}

juce::ApplicationCommandTarget* TavDocumentWindow::getNextCommandTarget()
{
    return findFirstTargetParentComponent();
}

void TavDocumentWindow::getAllCommands (juce::Array<juce::CommandID>& commands)
{
    CommandTable::getAllCommands (commands);
}

void TavDocumentWindow::getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    CommandTable::getCommandInfo (commandID, result, host.getCommandState());
}

bool TavDocumentWindow::perform (const InvocationInfo& info)
{
    return CommandTable::contains (info.commandID) && CommandTable::perform (info.commandID, host);
}
