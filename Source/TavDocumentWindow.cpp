#include "TavDocumentWindow.h"

#include "CommandTable.h"
#include "TavlinApplication.h"

TavDocumentWindow::TavDocumentWindow()
    : juce::DocumentWindow ("Tavlin", juce::Colour (0xffd3d3d3), juce::DocumentWindow::allButtons, true)
{
}

TavDocumentWindow::~TavDocumentWindow() = default;

juce::StringArray TavDocumentWindow::getMenuBarNames()
{
    return CommandTable::getMenuBarNames();
}

juce::PopupMenu TavDocumentWindow::getMenuForIndex (int topLevelMenuIndex, const juce::String&)
{
    auto* app = TavlinApplication::getApp();

    if (app == nullptr)
        return {};

    return CommandTable::getMenu (topLevelMenuIndex, &app->getCommandManager());
}

void TavDocumentWindow::menuItemSelected (int menuItemID, int)
{
    auto* app = TavlinApplication::getApp();

    if (app == nullptr)
        return;

    if (menuItemID == CommandIDs::checkForUpdates)
        app->checkForUpdates();
    else if (menuItemID == CommandIDs::showAbout && app->isIdle())
        app->showEditorPage (1);
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
    CommandTable::State state;

    if (auto* app = TavlinApplication::getApp())
        state = app->getCommandState();

    CommandTable::getCommandInfo (commandID, result, state);
}

bool TavDocumentWindow::perform (const InvocationInfo& info)
{
    if (!CommandTable::contains (info.commandID))
        return false;

    auto* app = TavlinApplication::getApp();
    return app != nullptr && CommandTable::perform (info.commandID, *app);
}
