#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The gradient strip behind the transport controls: a dark rounded bar with a glossy inner band and a black
    outline.
*/
class GradBGView : public juce::Component
{
public:
    GradBGView();

    void paint (juce::Graphics& g) override;
};
