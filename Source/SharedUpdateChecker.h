#pragma once

#include <juce_events/juce_events.h>

#include <memory>

class UpdateChecker;

/** Holds the process's one update checker and lets it go when the framework shuts down, while the message
    loop still exists.
*/
class SharedUpdateChecker : private juce::DeletedAtShutdown
{
public:
    SharedUpdateChecker();
    ~SharedUpdateChecker() override;

    UpdateChecker& getChecker() noexcept { return *checker; }

    JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (SharedUpdateChecker)

private:
    std::unique_ptr<UpdateChecker> checker;

    JUCE_DECLARE_NON_COPYABLE (SharedUpdateChecker)
};
