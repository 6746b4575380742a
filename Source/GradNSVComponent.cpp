#include "GradNSVComponent.h"

GradNSVComponent::GradNSVComponent()
{
    setInterceptsMouseClicks (false, false);
    view.setBounds (0, 0, 400, 100);
    view.setAlpha (0.4f);
    addAndMakeVisible (view);
}

GradNSVComponent::~GradNSVComponent() = default;

void GradNSVComponent::resized()
{
    view.setBounds (getLocalBounds());
}
