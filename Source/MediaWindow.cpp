#include "MediaWindow.h"

#include "MediaControlsComponent.h"
#include "TavlinApplication.h"

MediaWindow::MediaWindow (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences)
{
    auto content = std::make_unique<MediaControlsComponent> (deviceManager, preferences);
    controls = content.get();
    controls->setBounds (0, 0, 100, 100);
    setContentOwned (content.release(), true);

    setBounds (360, 500, 780, 490);
    setVisible (true);
    setUsingNativeTitleBar (true);

    if (auto* app = TavlinApplication::getApp())
        addKeyListener (app->getCommandManager().getKeyMappings());
}

MediaWindow::~MediaWindow()
{
    setMenuBar (nullptr);
    clearContentComponent();
}

void MediaWindow::closeButtonPressed()
{
    if (auto* app = TavlinApplication::getApp())
        app->requestCloseMedia();
}

void MediaWindow::setMode (bool playerMode, bool useGivenTitle, const juce::String& title)
{
    controls->setMode (playerMode);
    setName (playerMode ? (useGivenTitle ? title : juce::String ("Media Player")) : juce::String ("Recorder"));
}
