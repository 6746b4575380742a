#pragma once

#include "TavWebBrowserComponent.h"

#include <memory>

/** The user guide's content: a "Back" button above the browser, which is made at the first timer tick and
    then shows the page in url.
*/
class UserGuideComponent : public juce::Component, public juce::Button::Listener, public juce::Timer
{
public:
    /** The delay (in ms) before a requested page loads. */
    static constexpr int loadDelayMs = 100;

    /** Height (in pixels) of the strip that holds the button above the browser. */
    static constexpr int buttonStripHeight = 36;

    UserGuideComponent();
    ~UserGuideComponent() override;

    /** Loads the quick-start page at the next timer tick. */
    void showQuickStart();

    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;
    void buttonClicked (juce::Button* button) override;

    /** Null until the first timer tick. */
    TavWebBrowserComponent* getBrowser() const noexcept { return browser.get(); }
    juce::TextButton* getBackButton() const noexcept { return backButton.get(); }
    const juce::URL& getURL() const noexcept { return url; }

private:
    juce::URL url;
    std::unique_ptr<TavWebBrowserComponent> browser;
    std::unique_ptr<juce::TextButton> backButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UserGuideComponent)
};
