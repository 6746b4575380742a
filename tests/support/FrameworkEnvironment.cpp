// Linked into every test program: the framework is set up before the first test and shut down after the last,
// as an application does, so the event objects made outside a test's own set-up (the DSP's buffers are action
// broadcasters) always have a message manager, and what the framework keeps for the whole run (the message
// manager, its timer thread, caches deleted at shutdown) is gone before its leak detector counts at exit.
// Tests that set the framework up themselves still start and end with it as they did.

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

namespace
{
class FrameworkEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { juce::initialiseJuce_GUI(); }
    void TearDown() override { juce::shutdownJuce_GUI(); }
};

[[maybe_unused]] const auto* const frameworkEnvironment =
    ::testing::AddGlobalTestEnvironment (new FrameworkEnvironment());
} // namespace
