#pragma once

#include <juce_events/juce_events.h>

#include <memory>

class RatePrompt;

/** Holds the process's one rating prompt and lets it go when the framework shuts down, while the message
    loop still exists.
*/
class RatePromptLauncher : private juce::DeletedAtShutdown
{
public:
    RatePromptLauncher();
    ~RatePromptLauncher() override;

    RatePrompt& getPrompt() noexcept { return *prompt; }

    JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (RatePromptLauncher)

private:
    std::unique_ptr<RatePrompt> prompt;

    JUCE_DECLARE_NON_COPYABLE (RatePromptLauncher)
};
