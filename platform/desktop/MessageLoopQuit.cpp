#include "MessageLoopQuit.h"

#include <juce_events/juce_events.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace tavlin::desktop
{
namespace
{
/** A pipe whose read end the message loop watches; closed when the loop lets go of its callback. */
struct WakePipe
{
    WakePipe() { ok = ::pipe2 (fds, O_CLOEXEC | O_NONBLOCK) == 0; }

    ~WakePipe()
    {
        if (ok)
        {
            ::close (fds[0]);
            ::close (fds[1]);
        }
    }

    int fds[2] = { -1, -1 };
    bool ok = false;

    JUCE_DECLARE_NON_COPYABLE (WakePipe)
};
} // namespace

void quitMessageLoop()
{
    JUCE_ASSERT_MESSAGE_THREAD

    juce::JUCEApplicationBase::quit();

    auto pipe = std::make_shared<WakePipe>();

    if (!pipe->ok)
        return;

    const auto readEnd = pipe->fds[0];

    // The turn that handles this byte reports having handled something; the callback then goes, and the pipe
    // with it.
    juce::LinuxEventLoop::registerFdCallback (readEnd,
                                              [pipe] (int fd)
                                              {
                                                  char byte = 0;
                                                  [[maybe_unused]] const auto got = ::read (fd, &byte, 1);
                                                  juce::LinuxEventLoop::unregisterFdCallback (fd);
                                              });

    const char byte = 1;
    [[maybe_unused]] const auto written = ::write (pipe->fds[1], &byte, 1);
}

} // namespace tavlin::desktop
