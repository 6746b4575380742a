#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class MediaSession;

/** The share button of the transport bar: a recessed button with the share image that acts as soon as it
    is pressed, handing the media to the player's share picker, whose services it presents under itself.
*/
class ShareNSVComponent : public juce::Component
{
public:
    explicit ShareNSVComponent (MediaSession& session);
    ~ShareNSVComponent() override;

    void resized() override;

    juce::Button& getButton() noexcept { return button; }

private:
    MediaSession& session;
    juce::ImageButton button;

    JUCE_DECLARE_NON_COPYABLE (ShareNSVComponent)
};
