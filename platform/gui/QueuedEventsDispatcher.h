#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace tavlin::desktop
{

/** Has the display events that already wait in the connection's queue handled.

    The framework reads the display's events when its connection becomes readable. A reply that the message
    thread waits for (a pointer or focus query, the sync after a paint) also reads every event that came in
    before it into the connection's own queue, where the framework does not look until the next event comes:
    a key press, a close request or a paint's completion could wait there for as long as the desktop stays
    still. This looks at every vertical blank of the window's display and, when events wait, has the
    framework handle them at the next turn of the message loop.
*/
class QueuedEventsDispatcher
{
public:
    /** Watches from the blanks of window's display; window outlives this. Without a display it does nothing. */
    explicit QueuedEventsDispatcher (juce::Component& window);
    ~QueuedEventsDispatcher();

    /** Hands waiting events to the framework now; true if any waited. Message thread only. */
    static bool dispatchQueuedEvents();

private:
    juce::VBlankAttachment vBlank;

    JUCE_DECLARE_NON_COPYABLE (QueuedEventsDispatcher)
};

} // namespace tavlin::desktop
