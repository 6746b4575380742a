#include "PlayerHost.h"

#include "ApplicationPlayerHost.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
PlayerHost* installedHost = nullptr;
}

PlayerHost& PlayerHost::get()
{
    if (installedHost != nullptr)
        return *installedHost;

    return ApplicationPlayerHost::getInstance();
}

bool PlayerHost::askOkCancel (const juce::String& title, const juce::String& message)
{
    return juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, title, message, "OK", "Cancel",
                                               nullptr, nullptr);
}

PlayerHost::Scope::Scope (PlayerHost& host) : previous (installedHost)
{
    installedHost = &host;
}

PlayerHost::Scope::~Scope()
{
    installedHost = previous;
}
