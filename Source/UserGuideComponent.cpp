#include "UserGuideComponent.h"

#include "UserGuidePages.h"

UserGuideComponent::UserGuideComponent()
{
    setVisible (true);

    backButton = std::make_unique<juce::TextButton> ("new button");
    backButton->setButtonText ("Back");
    backButton->addListener (this);
    backButton->setBounds (4, 4, 70, 28);
    backButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0xffffffff));
    backButton->setColour (juce::TextButton::textColourOffId, juce::Colour (0xff000000));
    addAndMakeVisible (*backButton);

    url = UserGuidePages::getStartPage();
    startTimer (loadDelayMs);
}

UserGuideComponent::~UserGuideComponent()
{
    stopTimer();
    backButton->removeListener (this);
}

void UserGuideComponent::showQuickStart()
{
    url = UserGuidePages::getQuickStartPage();
    startTimer (loadDelayMs);
}

void UserGuideComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
}

void UserGuideComponent::resized()
{
    if (browser != nullptr)
        browser->setBounds (0, buttonStripHeight, getWidth(), getHeight() - buttonStripHeight);
}

void UserGuideComponent::timerCallback()
{
    if (browser == nullptr)
    {
        browser = std::make_unique<TavWebBrowserComponent>();
        addAndMakeVisible (*browser);
        resized();
    }

    browser->goToURL (url.toString (false));
    stopTimer();
}

void UserGuideComponent::buttonClicked (juce::Button* button)
{
    if (button != backButton.get() || browser == nullptr || browser->pagesLoaded <= 0)
        return;

    --browser->pagesLoaded;
    browser->goBack();
}
