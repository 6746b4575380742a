#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace tavlin::desktop
{

/** A web page shown by WebKitGTK in a process of its own, embedded in a component.

    The page process is this program started again with the framework's web-view argument (the program's
    main() hands it to the framework's WebKitGTK child); the two talk over a pair of local sockets in the framework's
    message format, and the page's window is embedded with XEmbed. Unlike the framework's own browser
    component, the reader here sleeps until the page process writes, ends when that process ends (a page
    process that died, for example because its window was destroyed from outside, never blocks the program),
    and the page process dies with this program.

    Everything but the reader thread runs on the message thread; the callbacks arrive there too.
*/
class WebViewProcess
{
public:
    struct Callbacks
    {
        /** A navigation is about to start: true lets it go on. */
        std::function<bool (const juce::String& url)> pageAboutToLoad;
        std::function<void (const juce::String& url)> pageFinishedLoading;
        /** The page process ended without being asked to: it crashed, or lost its window. */
        std::function<void()> processEnded;
    };

    /** Starts the page process; the page shows in the component returned by getView() once the process has
        made its window. Commands given before that are kept by the process and carried out in order.
    */
    explicit WebViewProcess (Callbacks callbacks);

    /** Hides the page's window and lets it go, then ends the page process and its helpers: killed at once
        and reaped (a page process that has not entered its main loop yet could not follow a request to quit).
    */
    ~WebViewProcess();

    /** False when the page process could not be started or has ended. */
    bool isRunning() const noexcept { return pid > 0 && !ended; }

    /** The page's window inside this program, or null while the page process has not shown it yet. */
    juce::Component* getView() const noexcept { return view.get(); }

    /** Called once the page's window can be shown (message thread), with the new view. */
    std::function<void (juce::Component& view)> onViewReady;

    void goToURL (const juce::String& url);
    void goBack();
    void stop();

    /** The page process's id (0 when none), for tests. */
    int getProcessID() const noexcept { return pid; }

private:
    struct Shared;

    void send (const juce::String& command, const juce::var& parameters = {});
    void readerLoop();
    void handle (const juce::String& command, const juce::var& parameters);
    void handleEnd();
    void endProcess();

    Callbacks callbacks;
    std::shared_ptr<Shared> shared;
    std::unique_ptr<juce::XEmbedComponent> view;
    int pid = 0;
    int toChild = -1, fromChild = -1, wake[2] = { -1, -1 };
    bool ended = false;
    std::thread reader;

    JUCE_DECLARE_NON_COPYABLE (WebViewProcess)
};

} // namespace tavlin::desktop
