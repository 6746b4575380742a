#include "AnimationComponent.h"

AnimationComponent::AnimationComponent()
{
    setInterceptsMouseClicks (false, false);
    view.setBounds (0, 0, 400, 400);
    addChildComponent (view);
}

AnimationComponent::~AnimationComponent()
{
    view.setEnabled (false);
}

void AnimationComponent::startComposition (const juce::String& name)
{
    view.setup (getTopLevelComponent(), name);
    view.setEnabled (false);
}

void AnimationComponent::setActive (bool shouldBeActive)
{
    setVisible (shouldBeActive);
    view.setEnabled (shouldBeActive);
}

void AnimationComponent::resized()
{
    // The composition covers the whole component.
    view.setLayerSize (getLocalBounds());
}
