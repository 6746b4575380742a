#include "WebViewProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tavlin::desktop
{

namespace
{
/** The framework's first argument that makes a program run its WebKitGTK page process. */
constexpr const char* pageProcessArgument = "--juce-gtkwebkitfork-child";

/** A message larger than this (in bytes) means the stream is broken. */
constexpr size_t maxMessageBytes = 16 * 1024 * 1024;

void closeDescriptor (int& fd)
{
    if (fd >= 0)
        ::close (fd);

    fd = -1;
}

/** Waits up to limitMs for the process to end; true once it has been reaped. */
bool reap (int pid, int limitMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) limitMs;

    for (;;)
    {
        int status = 0;
        const auto result = ::waitpid (pid, &status, WNOHANG);

        if (result == pid || (result < 0 && errno == ECHILD))
            return true;

        if (juce::Time::getMillisecondCounter() >= deadline)
            return false;

        juce::Thread::sleep (5);
    }
}

/** Ends a page process and the helpers it started (its own process group) at once and reaps it. The page
    holds nothing to save, and a process asked to terminate may take seconds on a busy machine, all of which
    the message thread would wait for.
*/
void endAndReap (int pid)
{
    if (reap (pid, 0))
        return;

    ::kill (-pid, SIGKILL);
    ::kill (pid, SIGKILL);
    reap (pid, 5000);
}

/** Keeps the views of ended page processes until the calls they posted to themselves have run.

    The framework's embedding component answers a move of its page's window with a call it posts to itself;
    deleted before that call has run, the call reaches freed memory. A retired view is hidden, taken off its
    parent and made to let go of the page's window, so that it posts nothing more: that window's id may come
    back as a window of a later page process, whose events would otherwise reach the old view first. The view
    is then deleted by a call posted after all of its own, so after they have run; views whose call never runs
    are deleted at shutdown while the display is still open.
*/
class RetiredViews : private juce::DeletedAtShutdown
{
public:
    ~RetiredViews() override { clearSingletonInstance(); }

    static void retire (std::unique_ptr<juce::XEmbedComponent> view)
    {
        if (view == nullptr)
            return;

        view->setVisible (false);

        if (auto* parent = view->getParentComponent())
            parent->removeChildComponent (view.get());

        view->removeClient();

        auto& retired = *getInstance();
        const auto serial = ++lastSerial;
        retired.views.push_back ({ std::move (view), serial });

        juce::MessageManager::callAsync (
            [serial]
            {
                if (auto* instance = getInstanceWithoutCreating())
                    instance->release (serial);
            });
    }

    JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (RetiredViews)

private:
    struct Retired
    {
        std::unique_ptr<juce::XEmbedComponent> view;
        juce::uint64 serial;
    };

    void release (juce::uint64 serial)
    {
        views.erase (
            std::remove_if (views.begin(), views.end(), [serial] (const Retired& r) { return r.serial == serial; }),
            views.end());
    }

    std::vector<Retired> views;
    inline static juce::uint64 lastSerial = 0; // never reused, not even by a later instance
};

JUCE_IMPLEMENT_SINGLETON (RetiredViews)
} // namespace

struct WebViewProcess::Shared
{
    WebViewProcess* owner = nullptr; // message thread only; null once the owner is gone
};

WebViewProcess::WebViewProcess (Callbacks callbacksToUse)
    : callbacks (std::move (callbacksToUse)), shared (std::make_shared<Shared>())
{
    shared->owner = this;

    int toPage[2] = { -1, -1 }, fromPage[2] = { -1, -1 };

    if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toPage) != 0
        || ::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fromPage) != 0 || ::pipe2 (wake, O_CLOEXEC) != 0)
    {
        for (auto* fd : { &toPage[0], &toPage[1], &fromPage[0], &fromPage[1], &wake[0], &wake[1] })
            closeDescriptor (*fd);

        ended = true;
        return;
    }

    // Everything the new process needs is prepared before fork(): after it, only plain system calls.
    const auto program = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName();
    const std::string words[] = { program.toStdString(), pageProcessArgument, std::to_string (toPage[1]),
                                  std::to_string (fromPage[1]) };
    const char* argv[] = { words[0].c_str(), words[1].c_str(), words[2].c_str(), words[3].c_str(), nullptr };
    const auto parent = ::getpid();

    // The toolkit's and WebKit's own warnings are no business of this program's output.
    const auto quiet = ::open ("/dev/null", O_WRONLY | O_CLOEXEC);

    pid = ::fork();

    if (pid == 0)
    {
        // The page process ends with this program, even when this program is killed.
        ::prctl (PR_SET_PDEATHSIG, SIGKILL);

        if (::getppid() != parent)
            ::_exit (1);

        ::setpgid (0, 0);

        if (quiet >= 0)
        {
            ::dup2 (quiet, STDOUT_FILENO);
            ::dup2 (quiet, STDERR_FILENO);
        }

        ::fcntl (toPage[1], F_SETFD, 0);
        ::fcntl (fromPage[1], F_SETFD, 0);
        ::execv (argv[0], const_cast<char* const*> (argv));
        ::_exit (127);
    }

    if (quiet >= 0)
        ::close (quiet);

    closeDescriptor (toPage[1]);
    closeDescriptor (fromPage[1]);
    toChild = toPage[0];
    fromChild = fromPage[0];

    if (pid < 0)
    {
        pid = 0;
        ended = true;
        return;
    }

    reader = std::thread ([this] { readerLoop(); });
}

WebViewProcess::~WebViewProcess()
{
    shared->owner = nullptr; // answers still queued for the message thread are dropped
    RetiredViews::retire (std::move (view)); // hidden before its process ends
    endProcess();

    if (reader.joinable())
    {
        const char stop = 0;
        [[maybe_unused]] const auto written = ::write (wake[1], &stop, 1);
        reader.join();
    }

    for (auto* fd : { &toChild, &fromChild, &wake[0], &wake[1] })
        closeDescriptor (*fd);
}

void WebViewProcess::endProcess()
{
    if (pid <= 0)
        return;

    // Not asked through its own "quit" command, which a page process that has not entered its main loop yet
    // cannot follow; its descriptors stay open until it has ended, since it would read a closed one without end.
    endAndReap (pid);
    ended = true;
    pid = 0;
}

void WebViewProcess::goToURL (const juce::String& url)
{
    auto parameters = std::make_unique<juce::DynamicObject>();
    parameters->setProperty ("url", url);
    send ("goToURL", juce::var (parameters.release()));
}

void WebViewProcess::goBack()
{
    send ("goBack");
}

void WebViewProcess::stop()
{
    send ("stop");
}

void WebViewProcess::send (const juce::String& command, const juce::var& parameters)
{
    if (ended || toChild < 0)
        return;

    auto message = std::make_unique<juce::DynamicObject>();
    message->setProperty ("cmd", command);

    if (!parameters.isVoid())
        message->setProperty ("params", parameters);

    const auto json = juce::JSON::toString (juce::var (message.release()), true);
    const auto length = (size_t) json.getNumBytesAsUTF8();

    juce::MemoryBlock frame;
    frame.append (&length, sizeof (length));
    frame.append (json.toRawUTF8(), length);

    const auto* data = static_cast<const char*> (frame.getData());
    auto remaining = frame.getSize();

    while (remaining > 0)
    {
        // A page process that has gone must not take this program with it (no SIGPIPE).
        const auto written = ::send (toChild, data, remaining, MSG_NOSIGNAL);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return; // the reader reports the end

        data += written;
        remaining -= (size_t) written;
    }
}

void WebViewProcess::readerLoop()
{
    std::weak_ptr<Shared> weak = shared;
    const auto post = [weak] (std::function<void (WebViewProcess&)> work)
    {
        juce::MessageManager::callAsync (
            [weak, work = std::move (work)]
            {
                if (auto s = weak.lock(); s != nullptr && s->owner != nullptr)
                    work (*s->owner);
            });
    };

    juce::MemoryBlock buffer;
    bool haveWindow = false;

    for (;;)
    {
        pollfd watched[] = { { fromChild, POLLIN, 0 }, { wake[0], POLLIN, 0 } };

        if (::poll (watched, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;

            break;
        }

        if (watched[1].revents != 0)
            return; // the owner is going: it handles the process itself

        char chunk[16384];
        const auto numRead = ::read (fromChild, chunk, sizeof (chunk));

        if (numRead < 0 && (errno == EINTR || errno == EAGAIN))
            continue;

        if (numRead <= 0)
            break;

        buffer.append (chunk, (size_t) numRead);

        // The page process first sends its window's id, then messages: a length, then that much JSON.
        for (;;)
        {
            const auto* bytes = static_cast<const char*> (buffer.getData());

            if (!haveWindow)
            {
                unsigned long window = 0;

                if (buffer.getSize() < sizeof (window))
                    break;

                std::memcpy (&window, bytes, sizeof (window));
                buffer.removeSection (0, sizeof (window));
                haveWindow = true;

                post (
                    [window] (WebViewProcess& owner)
                    {
                        owner.view = std::make_unique<juce::XEmbedComponent> (window, true, false);

                        if (owner.onViewReady != nullptr)
                            owner.onViewReady (*owner.view);
                    });
                continue;
            }

            size_t length = 0;

            if (buffer.getSize() < sizeof (length))
                break;

            std::memcpy (&length, bytes, sizeof (length));

            if (length > maxMessageBytes)
            {
                post ([] (WebViewProcess& owner) { owner.handleEnd(); });
                return;
            }

            if (buffer.getSize() < sizeof (length) + length)
                break;

            const auto message = juce::JSON::parse (juce::String::fromUTF8 (bytes + sizeof (length), (int) length));
            buffer.removeSection (0, sizeof (length) + length);

            const auto command = message.getProperty ("cmd", {}).toString();
            const auto parameters = message.getProperty ("params", {});
            post ([command, parameters] (WebViewProcess& owner) { owner.handle (command, parameters); });
        }
    }

    post ([] (WebViewProcess& owner) { owner.handleEnd(); });
}

void WebViewProcess::handle (const juce::String& command, const juce::var& parameters)
{
    const auto url = parameters.getProperty ("url", {}).toString();

    if (command == "pageAboutToLoad")
    {
        const auto decision = parameters.getProperty ("decision_id", {});

        if (decision.isVoid())
            return;

        const auto allow = callbacks.pageAboutToLoad == nullptr || callbacks.pageAboutToLoad (url);

        auto answer = std::make_unique<juce::DynamicObject>();
        answer->setProperty ("decision_id", decision);
        answer->setProperty ("allow", allow);
        send ("decision", juce::var (answer.release()));
    }
    else if (command == "pageFinishedLoading")
    {
        if (callbacks.pageFinishedLoading != nullptr)
            callbacks.pageFinishedLoading (url);
    }
}

void WebViewProcess::handleEnd()
{
    if (ended)
        return;

    ended = true;
    RetiredViews::retire (std::move (view));
    endAndReap (pid);
    pid = 0;

    // Last: the owner may let this object go from here.
    if (auto onEnd = callbacks.processEnded)
        onEnd();
}

} // namespace tavlin::desktop
