#pragma once

#include "CGAnimationView.h"

/** Hosts the waiting animation over the picture area while no media is loaded. */
class AnimationComponent : public juce::Component
{
public:
    AnimationComponent();
    ~AnimationComponent() override;

    /** Loads the named composition into the view, stopped. */
    void startComposition (const juce::String& name);

    /** Shows and runs the animation, or hides and stops it. */
    void setActive (bool shouldBeActive);

    void resized() override;

    CGAnimationView& getView() noexcept { return view; }

private:
    CGAnimationView view;

    JUCE_DECLARE_NON_COPYABLE (AnimationComponent)
};
