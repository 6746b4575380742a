#include "TransportComponent.h"

TransportComponent::TransportComponent (TavAudioProcessor& processorToUse) : processor (processorToUse)
{
    setSize (420, 200);
}

TransportComponent::~TransportComponent() = default;

void TransportComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff1b1d20));
    g.setColour (juce::Colours::grey);
    g.setFont (15.0f);
    g.drawText (mediaLoaded ? juce::File (mediaPath).getFileName() : juce::String ("No media"), getLocalBounds(),
                juce::Justification::centred, true);
}

bool TransportComponent::loadMedia (const juce::String& path, bool)
{
    mediaPath = path;
    mediaLoaded = path.isNotEmpty() && juce::File::isAbsolutePath (path) && juce::File (path).existsAsFile();

    if (path.isEmpty())
        setAnimationVisible (true);

    repaint();
    return mediaLoaded;
}

bool TransportComponent::exportMedia (const juce::String&, int, int)
{
    return false;
}

bool TransportComponent::togglePlayPause()
{
    return false;
}

void TransportComponent::rewindToStart() {}

void TransportComponent::stepForward() {}

void TransportComponent::stepBackward() {}

bool TransportComponent::isPlaying() const
{
    return false;
}

double TransportComponent::getCurrentTime() const
{
    return 0.0;
}

void TransportComponent::setLooping (bool) {}

void TransportComponent::startAnimation (const juce::String& name)
{
    animationName = name;
}

void TransportComponent::setAnimationVisible (bool shouldShow)
{
    animationVisible = shouldShow;
}
