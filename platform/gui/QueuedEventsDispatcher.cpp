#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "QueuedEventsDispatcher.h"

#include <juce_events/native/juce_linux_EventLoopInternal.h>

namespace tavlin::desktop
{
namespace
{
::Display* frameworkDisplay()
{
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    return windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;
}

bool eventsWait (::Display* display)
{
    // Only what the connection has read already: no request, no read from the server.
    return display != nullptr && juce::X11Symbols::getInstance()->xEventsQueued (display, QueuedAlready) > 0;
}

bool dispatchPosted = false;
} // namespace

QueuedEventsDispatcher::QueuedEventsDispatcher (juce::Component& window)
    : vBlank (&window,
              []
              {
                  // Not from within the blank: the events may close the very window whose blank this is.
                  if (dispatchPosted || !eventsWait (frameworkDisplay()))
                      return;

                  // Refused once the program is quitting.
                  dispatchPosted = juce::MessageManager::callAsync (
                      []
                      {
                          dispatchPosted = false;
                          dispatchQueuedEvents();
                      });
              })
{
}

QueuedEventsDispatcher::~QueuedEventsDispatcher() = default;

bool QueuedEventsDispatcher::dispatchQueuedEvents()
{
    JUCE_ASSERT_MESSAGE_THREAD

    auto* display = frameworkDisplay();

    if (!eventsWait (display))
        return false;

    // The framework's own handler for the connection: it handles every event the queue holds.
    juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (
        juce::X11Symbols::getInstance()->xConnectionNumber (display));
    return true;
}

} // namespace tavlin::desktop
