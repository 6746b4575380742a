#pragma once

#include "RatePromptAlert.h"

#include <functional>

/** What the rating prompt needs from the desktop. Message thread only. */
class RatePromptDesktop
{
public:
    virtual ~RatePromptDesktop() = default;

    /** True while the application shows a window to put the question on. */
    virtual bool hasMainWindow() = 0;

    /** Shows the question without waiting and later calls onAnswer with one of RatePromptAlert::Answer. */
    virtual void showAlert (const RatePromptAlert& alert, std::function<void (int)> onAnswer) = 0;

    /** Opens the address in the user's web browser. */
    virtual void openURL (const juce::URL& url) = 0;

    virtual void log (const juce::String& line) = 0;
};
