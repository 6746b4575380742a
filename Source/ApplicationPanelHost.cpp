#include "ApplicationPanelHost.h"

#include "WindowHost.h"

#include <juce_gui_basics/juce_gui_basics.h>

ApplicationPanelHost::ApplicationPanelHost (WindowHost& application) : app (application) {}

bool ApplicationPanelHost::isPlaying()
{
    return app.isPlaying();
}

void ApplicationPanelHost::togglePlayPause()
{
    app.togglePlayPause();
}

double ApplicationPanelHost::getPlayerPosition()
{
    return app.getPlayerPosition();
}

bool ApplicationPanelHost::canLearnFromPlayback()
{
    const auto state = app.getCommandState();
    return state.mediaOpen && state.playerMode;
}

bool ApplicationPanelHost::isOptionKeyDown()
{
    return juce::ModifierKeys::getCurrentModifiersRealtime().isAltDown();
}

void ApplicationPanelHost::showUserGuide()
{
    app.showUserGuide (false);
}
