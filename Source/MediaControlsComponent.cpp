#include "MediaControlsComponent.h"

#include "RecorderComponent.h"
#include "TransportComponent.h"

MediaControlsComponent::MediaControlsComponent (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences,
                                                MediaSession& session, TavAudioProcessor& processor,
                                                MediaViewHost& host,
                                                std::function<void (const juce::File& recording)> onRecordingStopped)
{
    recorderPanel = std::make_unique<RecorderComponent> (deviceManager, preferences, std::move (onRecordingStopped));
    transport = std::make_unique<TransportComponent> (session, processor, host);

    addAndMakeVisible (*recorderPanel);
    addAndMakeVisible (*transport);
    transport->startAnimation ("Tav-Splash");
}

MediaControlsComponent::~MediaControlsComponent()
{
    recorderPanel.reset();
    transport.reset();
}

void MediaControlsComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xffffff00).withAlpha (0.7f));
}

void MediaControlsComponent::resized()
{
    recorderPanel->setBounds (getLocalBounds());
    transport->setBounds (getLocalBounds());
}

void MediaControlsComponent::setMode (bool shouldShowPlayer)
{
    transport->setVisible (shouldShowPlayer);
    recorderPanel->setVisible (!shouldShowPlayer);
    transport->setAnimationVisible (shouldShowPlayer && !transport->mediaLoaded);
    playerMode = shouldShowPlayer;
}
