#include "ShareNSVComponent.h"

#include "MediaSession.h"
#include "SharePicker.h"
#include "TavlinResources.h"

ShareNSVComponent::ShareNSVComponent (MediaSession& sessionToShare) : session (sessionToShare), button ("share")
{
    const auto image = juce::ImageFileFormat::loadFrom (TavlinResources::share_glyph_png,
                                                        (size_t) TavlinResources::share_glyph_pngSize);
    const auto recess = juce::Colour (0x30000000);
    button.setImages (false, true, true, image, 1.0f, juce::Colours::transparentBlack, image, 1.0f, recess, image, 1.0f,
                      recess.darker());
    button.setTriggeredOnMouseDown (true);
    button.setWantsKeyboardFocus (false);
    button.onClick = [this] { session.getPlayer().showServicePicker(); };
    session.getPlayer().getSharing().presentSharePicker = [this] (ShareChosen chosen)
    { SharePicker::show (this, std::move (chosen)); };

    setAlpha (0.8f);
    button.setBounds (0, 0, 40, 24);
    addAndMakeVisible (button);
}

ShareNSVComponent::~ShareNSVComponent()
{
    session.getPlayer().getSharing().presentSharePicker = nullptr;
}

void ShareNSVComponent::resized()
{
    button.setBounds (getLocalBounds());
}
