#include "CreditsComponent.h"

#include "TavUIEditor.h"
#include "TavlinResources.h"

CreditsComponent::CreditsComponent (TavUIEditor* editorToUse, TavPreferences* preferencesToUse)
    : preferences (preferencesToUse), editor (editorToUse)
{
    versionLabel = std::make_unique<juce::Label> ("new label", "Version " JUCE_APPLICATION_VERSION_STRING);
    versionLabel->setFont (juce::Font (15.0f, juce::Font::plain));
    versionLabel->setJustificationType (juce::Justification::centred);
    versionLabel->setColour (juce::Label::textColourId, juce::Colours::black);
    addAndMakeVisible (*versionLabel);

    doneButton = std::make_unique<juce::TextButton> ("new button");
    doneButton->setButtonText (TRANS ("Done"));
    doneButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff808080));
    doneButton->addListener (this);
    addAndMakeVisible (*doneButton);

    background = juce::ImageFileFormat::loadFrom (TavlinResources::credits_background_png,
                                                  (size_t) TavlinResources::credits_background_pngSize);
    setSize (780, 400);
}

CreditsComponent::~CreditsComponent() = default;

void CreditsComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
    g.drawImage (background, 0, 0, background.getWidth(), background.getHeight(), 0, 0, background.getWidth(),
                 background.getHeight());
}

void CreditsComponent::resized()
{
    doneButton->setBounds (592, 352, 150, 24);
    versionLabel->setBounds (219, 344, 364, 36);
}

void CreditsComponent::buttonClicked (juce::Button* button)
{
    if (button == doneButton.get() && editor != nullptr)
        editor->showPage (0);
}
