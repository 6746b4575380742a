#include "ApplicationPanelHost.h"

#include "TavlinApplication.h"
#include "TavlinDocument.h"

bool ApplicationPanelHost::isPlaying()
{
    auto* app = TavlinApplication::getApp();
    return app != nullptr && app->isPlaying();
}

void ApplicationPanelHost::togglePlayPause()
{
    if (auto* app = TavlinApplication::getApp())
        app->togglePlayPause();
}

double ApplicationPanelHost::getPlayerPosition()
{
    auto* app = TavlinApplication::getApp();
    auto* document = app != nullptr ? app->getDocument() : nullptr;
    return document != nullptr ? document->getPlayerPosition() : 0.0;
}

bool ApplicationPanelHost::canLearnFromPlayback()
{
    auto* app = TavlinApplication::getApp();
    auto* document = app != nullptr ? app->getDocument() : nullptr;
    return document != nullptr && app->isPlayerMode() && document->openedFile.getFullPathName().isNotEmpty();
}

bool ApplicationPanelHost::isOptionKeyDown()
{
    return juce::ModifierKeys::getCurrentModifiersRealtime().isAltDown();
}
