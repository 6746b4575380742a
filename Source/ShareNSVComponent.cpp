#include "ShareNSVComponent.h"

#include "ProcessingAVPlayer.h"
#include "TavlinResources.h"

ShareNSVComponent::ShareNSVComponent() : button ("share")
{
    const auto image = juce::ImageFileFormat::loadFrom (TavlinResources::share_glyph_png,
                                                        (size_t) TavlinResources::share_glyph_pngSize);
    const auto recess = juce::Colour (0x30000000);
    button.setImages (false, true, true, image, 1.0f, juce::Colours::transparentBlack, image, 1.0f, recess, image, 1.0f,
                      recess.darker());
    button.setTriggeredOnMouseDown (true);
    button.setWantsKeyboardFocus (false);
    button.onClick = [this]
    {
        if (auto* player = ProcessingAVPlayer::getInstance())
            player->showServicePicker (this);
    };

    setAlpha (0.8f);
    button.setBounds (0, 0, 40, 24);
    addAndMakeVisible (button);
}

ShareNSVComponent::~ShareNSVComponent() = default;

void ShareNSVComponent::resized()
{
    button.setBounds (getLocalBounds());
}
