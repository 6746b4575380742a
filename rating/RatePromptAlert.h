#pragma once

#include <juce_core/juce_core.h>

/** The question put to the user: a title, a text and up to three buttons. */
struct RatePromptAlert
{
    juce::String title;
    juce::String message;
    juce::String rateButton;
    juce::String cancelButton;
    /** No third button when empty. */
    juce::String remindButton;

    /** Answers: the rate button, the cancel button, the remind button (and every other way of closing). */
    enum Answer
    {
        declined = 0,
        rated = 1,
        remindLater = 2
    };
};
