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
    WakePipe() { ::pipe2 (fds, O_CLOEXEC | O_NONBLOCK); } // on failure the ends stay -1

    ~WakePipe()
    {
        if (isOpen())
        {
            ::close (fds[0]);
            ::close (fds[1]);
        }
    }

    bool isOpen() const noexcept { return fds[0] >= 0; }

    int fds[2] = { -1, -1 };

    JUCE_DECLARE_NON_COPYABLE (WakePipe)
};
} // namespace

void quitMessageLoop()
{
    JUCE_ASSERT_MESSAGE_THREAD

    juce::JUCEApplicationBase::quit();

    auto pipe = std::make_shared<WakePipe>();

    if (!pipe->isOpen())
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
