#include "RecorderComponent.h"

RecorderComponent::RecorderComponent (juce::AudioDeviceManager& deviceManagerToUse, TavPreferences* preferencesToUse)
    : deviceManager (deviceManagerToUse), preferences (preferencesToUse)
{
}

RecorderComponent::~RecorderComponent() = default;

void RecorderComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff2a2d31));
    g.setColour (juce::Colours::lightgrey);
    g.setFont (16.0f);
    g.drawText ("Recorder", getLocalBounds(), juce::Justification::centred, false);
}
