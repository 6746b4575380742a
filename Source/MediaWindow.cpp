#include "MediaWindow.h"

#include "MediaContainerComponent.h"
#include "MediaControlsComponent.h"
#include "TransportComponent.h"
#include "WindowHost.h"

namespace
{
constexpr int noticeHeight = 26;
} // namespace

MediaWindow::MediaWindow (juce::AudioDeviceManager& deviceManager, TavPreferences* preferences, MediaSession& session,
                          TavAudioProcessor& processor, juce::ApplicationCommandManager& commandManager,
                          WindowHost& host)
    : TavDocumentWindow (commandManager, host), devices (deviceManager)
{
    auto content = std::make_unique<MediaControlsComponent> (deviceManager, preferences, session, processor, host,
                                                             [&host] (const juce::File& recording)
                                                             {
                                                                 host.setPlayerMode (true);
                                                                 host.openMediaFile (recording, true);
                                                             });
    controls = content.get();
    controls->setBounds (0, 0, 100, 100);
    setContentOwned (content.release(), true);

    setBounds (360, 500, 780, 490);
    setVisible (true);
    setUsingNativeTitleBar (true);

    soundNotice.setText (noSoundDeviceText, juce::dontSendNotification);
    soundNotice.setJustificationType (juce::Justification::centred);
    soundNotice.setMinimumHorizontalScale (0.7f);
    soundNotice.setColour (juce::Label::backgroundColourId, juce::Colour (0xe0202020));
    soundNotice.setColour (juce::Label::textColourId, juce::Colour (0xffdcdcdc));
    soundNotice.setColour (juce::Label::outlineColourId, juce::Colour (0xff0050d0));
    soundNotice.setTooltip ("Click to hide this notice");
    soundNotice.onClick = [this] { hideSoundNotice(); };
    controls->addChildComponent (soundNotice);

    controls->transport->getMediaView().addActionListener (this);
    devices.addChangeListener (this);
}

MediaWindow::~MediaWindow()
{
    stopTimer();
    devices.removeChangeListener (this);
    controls->transport->getMediaView().removeActionListener (this);
    controls->removeChildComponent (&soundNotice);
    setMenuBar (nullptr);
    clearContentComponent();
}

void MediaWindow::resized()
{
    TavDocumentWindow::resized();

    if (controls != nullptr)
        soundNotice.setBounds (controls->getLocalBounds().removeFromTop (noticeHeight));
}

bool MediaWindow::hasSoundOutput() const
{
    auto* device = devices.getCurrentAudioDevice();
    return device != nullptr && device->getActiveOutputChannels().countNumberOfSetBits() > 0;
}

void MediaWindow::actionListenerCallback (const juce::String& message)
{
    if (soundNoticeGiven || message != "time" || !controls->transport->isPlaying() || hasSoundOutput())
        return;

    soundNoticeGiven = true;
    soundNotice.setBounds (controls->getLocalBounds().removeFromTop (noticeHeight));
    soundNotice.setVisible (true);
    soundNotice.toFront (false);
    startTimer (noticeSeconds * 1000);
}

void MediaWindow::changeListenerCallback (juce::ChangeBroadcaster*)
{
    if (soundNotice.isVisible() && hasSoundOutput())
        hideSoundNotice();
}

void MediaWindow::timerCallback()
{
    hideSoundNotice();
}

void MediaWindow::hideSoundNotice()
{
    stopTimer();
    soundNotice.setVisible (false);
}

void MediaWindow::closeButtonPressed()
{
    getHost().requestCloseMedia();
}

void MediaWindow::setMode (bool playerMode, bool useGivenTitle, const juce::String& title)
{
    controls->setMode (playerMode);
    setName (playerMode ? (useGivenTitle ? title : juce::String ("Media Player")) : juce::String ("Recorder"));
}
