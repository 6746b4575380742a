#include "CreditsComponent.h"

#include "EditorPages.h"
#include "PanelHost.h"
#include "TavPreferences.h"
#include "TavlinResources.h"

namespace
{
const juce::Colour buttonGrey (0xff808080);
}

CreditsComponent::CreditsComponent (EditorPages* editorToUse, TavPreferences* preferencesToUse)
    : preferences (preferencesToUse), editor (editorToUse)
{
    versionLabel = std::make_unique<juce::Label> ("new label", "Version " JUCE_APPLICATION_VERSION_STRING);
    versionLabel->setFont (juce::Font (15.0f, juce::Font::plain));
    versionLabel->setJustificationType (juce::Justification::centred);
    versionLabel->setEditable (false, false, false);
    versionLabel->setColour (juce::Label::textColourId, juce::Colours::black);
    versionLabel->setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    addAndMakeVisible (*versionLabel);

    doneButton = std::make_unique<juce::TextButton> ("new button");
    doneButton->setButtonText (TRANS ("Done"));
    doneButton->setColour (juce::TextButton::buttonColourId, buttonGrey);
    doneButton->addListener (this);
    addAndMakeVisible (*doneButton);

    hideHelpTipsToggle = std::make_unique<juce::ToggleButton> ("new toggle button");
    hideHelpTipsToggle->setButtonText (TRANS ("Hide help tips"));
    hideHelpTipsToggle->addListener (this);
    addAndMakeVisible (*hideHelpTipsToggle);

    userGuideButton = std::make_unique<juce::TextButton> ("new button");
    userGuideButton->setButtonText (TRANS ("User Guide..."));
    userGuideButton->setColour (juce::TextButton::buttonColourId, buttonGrey);
    userGuideButton->addListener (this);
    addAndMakeVisible (*userGuideButton);

    analyzeToggle = std::make_unique<juce::ToggleButton> ("new toggle button");
    analyzeToggle->setButtonText (TRANS ("Analyze Media"));
    analyzeToggle->addListener (this);
    addAndMakeVisible (*analyzeToggle);

    background = juce::ImageFileFormat::loadFrom (TavlinResources::credits_background_png,
                                                  (size_t) TavlinResources::credits_background_pngSize);

    broughtToFront();
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
    hideHelpTipsToggle->setBounds (608, 312, 150, 24);
    userGuideButton->setBounds (32, 352, 150, 24);
    analyzeToggle->setBounds (608, 288, 150, 24);
}

void CreditsComponent::broughtToFront()
{
    if (preferences == nullptr)
        return;

    hideHelpTipsToggle->setToggleState (!preferences->getHelpTips(), juce::dontSendNotification);
    analyzeToggle->setToggleState (preferences->getAnalyze(), juce::dontSendNotification);
}

void CreditsComponent::buttonClicked (juce::Button* button)
{
    if (button == doneButton.get())
    {
        if (editor != nullptr)
            editor->showPage (0);
    }
    else if (button == hideHelpTipsToggle.get())
    {
        const auto hide = hideHelpTipsToggle->getToggleState();

        if (preferences != nullptr)
            preferences->setHelpTips (!hide);

        if (editor != nullptr)
            editor->setHelpTips (!hide);
    }
    else if (button == userGuideButton.get())
    {
        if (host != nullptr)
            host->showUserGuide();
    }
    else if (button == analyzeToggle.get())
    {
        if (preferences != nullptr)
            preferences->setAnalyze (analyzeToggle->getToggleState());
    }
}
