#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The share button of the transport bar: a recessed button with the share image that acts as soon as it
    is pressed, handing the media to the player's share picker.
*/
class ShareNSVComponent : public juce::Component
{
public:
    ShareNSVComponent();
    ~ShareNSVComponent() override;

    void resized() override;

    juce::Button& getButton() noexcept { return button; }

private:
    juce::ImageButton button;

    JUCE_DECLARE_NON_COPYABLE (ShareNSVComponent)
};
