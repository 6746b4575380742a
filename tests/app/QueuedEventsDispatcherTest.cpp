// Display events that a reply on the message thread read along with it, on the virtual display (the suite runs
// under xvfb-run).

#include "gui/QueuedEventsDispatcher.h"
#include "MessageLoop.h"
#include "StandaloneTestMain.h"

#include <gtest/gtest.h>

#include <optional>

#include "XDisplayClient.h"

namespace
{
// Before the framework opens the display, as a window manager would have.
const bool windowManagerAtoms = tavlin::test::XDisplayClient::makeWindowManagerAtoms();

/** A still window that counts the Ctrl+G presses it is given. */
struct KeyCounter : juce::Component
{
    KeyCounter()
    {
        setWantsKeyboardFocus (true);
        setSize (300, 200);
        addToDesktop (juce::ComponentPeer::windowAppearsOnTaskbar);
        setVisible (true);
    }

    ~KeyCounter() override { removeFromDesktop(); }

    bool keyPressed (const juce::KeyPress& key) override
    {
        presses += key == juce::KeyPress ('g', juce::ModifierKeys::ctrlModifier, 0) ? 1 : 0;
        return true;
    }

    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::grey); }

    int presses = 0;
};

/** Types Ctrl+G into the window from another connection, then makes the reply the framework's tooltips wait for
    on every move of the mouse: the key press comes in with that reply and waits in the connection's queue.
*/
void typeThenQueryThePointer (tavlin::test::XDisplayClient& display, KeyCounter& window)
{
    display.focus (
        (tavlin::test::XDisplayClient::WindowId) (juce::pointer_sized_uint) window.getPeer()->getNativeHandle());
    display.typeWithControl (XK_g);
    display.sync();
    juce::Thread::sleep (100); // the server has written the events to the window's connection
    juce::Desktop::getMousePosition();
}
} // namespace

TEST (QueuedEventsDispatcherTest, AKeyPressReadAlongWithAReplyIsHandledWithoutAnotherEvent)
{
    ASSERT_NE (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}), juce::String())
        << "this test opens windows: run it under xvfb-run";
    juce::ScopedJuceInitialiser_GUI juceInit;
    tavlin::test::XDisplayClient display;
    ASSERT_TRUE (display.isOpen());
    ASSERT_TRUE (display.hasXTest()) << "the virtual display has no XTest extension for the keyboard";

    KeyCounter window;
    std::optional<tavlin::desktop::QueuedEventsDispatcher> dispatcher;
    ASSERT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return window.isShowing() && window.getPeer() != nullptr; }));
    tavlin::test::runMessageLoopFor (500); // mapped and painted: the window stays still from here on

    // Without the dispatcher the press waits for the next event from the display, which a still desktop never
    // sends: the case the dispatcher is for.
    typeThenQueryThePointer (display, window);
    tavlin::test::runMessageLoopFor (1000);
    ASSERT_EQ (window.presses, 0) << "the press came through on its own: this set-up shows nothing";

    dispatcher.emplace (window);
    EXPECT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return window.presses == 1; }, 10000))
        << "the waiting press was not handled";

    typeThenQueryThePointer (display, window);
    EXPECT_TRUE (tavlin::test::runMessageLoopUntil ([&] { return window.presses == 2; }, 10000))
        << "a second waiting press was not handled";

    // Nothing waits: nothing is handed over.
    tavlin::test::runMessageLoopFor (200);
    EXPECT_FALSE (tavlin::desktop::QueuedEventsDispatcher::dispatchQueuedEvents());
    EXPECT_EQ (window.presses, 2);
}
