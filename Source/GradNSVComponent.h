#pragma once

#include "GradBGView.h"

/** Hosts the gradient strip behind the transport controls, at 40 % opacity. */
class GradNSVComponent : public juce::Component
{
public:
    GradNSVComponent();
    ~GradNSVComponent() override;

    void resized() override;

private:
    GradBGView view;

    JUCE_DECLARE_NON_COPYABLE (GradNSVComponent)
};
