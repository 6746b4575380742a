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
    browser.reset();
    backButton->removeListener (this);
}

void UserGuideComponent::showQuickStart()
{
    url = UserGuidePages::getQuickStartPage();
    startTimer (loadDelayMs);
}

void UserGuideComponent::setShown (bool shown)
{
    if (shown)
    {
        if (browser == nullptr && !isTimerRunning())
            startTimer (loadDelayMs);

        return;
    }

    stopTimer();
    releaseBrowser();
}

void UserGuideComponent::releaseBrowser()
{
    if (browser == nullptr)
        return;

    // Shown again, the guide opens where the reader was.
    const auto& shownLast = browser->getLastPageLoaded();

    if (shownLast.startsWith ("file:"))
        url = juce::URL (shownLast);

    browser.reset();
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
    stopTimer();

    if (browser == nullptr)
    {
        browser = std::make_unique<TavWebBrowserComponent>();
        browser->onPageProcessEnded = [safe = juce::Component::SafePointer<UserGuideComponent> (this)]
        {
            // Not from inside the browser's own callback: the browser goes at the next turn of the loop.
            juce::MessageManager::callAsync (
                [safe]
                {
                    if (safe == nullptr)
                        return;

                    safe->releaseBrowser();

                    if (safe->onBrowserLost != nullptr)
                        safe->onBrowserLost();
                });
        };
        addAndMakeVisible (*browser);
        resized();
    }

    browser->goToURL (url.toString (false));
}

void UserGuideComponent::buttonClicked (juce::Button* button)
{
    if (button != backButton.get() || browser == nullptr || browser->pagesLoaded <= 0)
        return;

    --browser->pagesLoaded;
    browser->goBack();
}
