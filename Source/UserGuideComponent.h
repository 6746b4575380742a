#pragma once

#include "TavWebBrowserComponent.h"

#include <functional>
#include <memory>

/** The user guide's content: a "Back" button above the browser, which is made at the first timer tick after
    the guide is shown and then shows the page in url.

    The browser, with its page process, lives only while the guide is shown: hiding the guide ends it, and
    showing the guide again makes a new one on the page that was shown last.
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

    /** The guide's window was shown (the browser is made at the next tick) or hidden (the browser goes). */
    void setShown (bool shown);

    /** Called when the browser's page process ended by itself, which happens when the guide's window was
        destroyed from outside; the browser is gone by then.
    */
    std::function<void()> onBrowserLost;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;
    void buttonClicked (juce::Button* button) override;

    /** Null until the first timer tick, and while the guide is hidden. */
    TavWebBrowserComponent* getBrowser() const noexcept { return browser.get(); }
    juce::TextButton* getBackButton() const noexcept { return backButton.get(); }
    const juce::URL& getURL() const noexcept { return url; }

private:
    void releaseBrowser();

    juce::URL url;
    std::unique_ptr<TavWebBrowserComponent> browser;
    std::unique_ptr<juce::TextButton> backButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UserGuideComponent)
};
