#pragma once

#include "RatePromptDesktop.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The rating prompt's desktop on the framework's windows: the question is an alert window centred on the
    application's window, and every way of closing it other than its first two buttons (the third button,
    Escape, the window's close button) answers "remind me later".
*/
class JuceRatePromptDesktop : public RatePromptDesktop
{
public:
    JuceRatePromptDesktop() = default;
    ~JuceRatePromptDesktop() override;

    bool hasMainWindow() override;
    void showAlert (const RatePromptAlert& alert, std::function<void (int)> onAnswer) override;
    void openURL (const juce::URL& url) override;
    void log (const juce::String& line) override;

    /** The question on screen, or null. */
    juce::AlertWindow* getVisibleAlert() const noexcept { return visibleAlert.get(); }

    /** Maps the alert window's result to an answer; 0 is what Escape and the close button give. */
    static int answerForResult (int windowResult);

    enum WindowResult
    {
        dismissed = 0,
        rateResult = 1,
        cancelResult = 2,
        remindResult = 3
    };

private:
    static juce::Component* findMainWindow();

    std::unique_ptr<juce::AlertWindow> visibleAlert;

    JUCE_DECLARE_WEAK_REFERENCEABLE (JuceRatePromptDesktop)
};
