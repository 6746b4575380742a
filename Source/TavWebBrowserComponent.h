#pragma once

#include "gui/WebViewProcess.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <functional>
#include <memory>

/** The user guide's browser: the guide's pages in a WebKitGTK page process of its own (WebViewProcess), which
    lives exactly as long as this component. It counts the pages that finish loading, so that "Back" knows
    whether there is a page to go back to.

    The framework's browser component is not used: on this platform it keeps a thread busy at a whole core
    for as long as it exists, and hangs the program's end once its page process has died.
*/
class TavWebBrowserComponent : public juce::Component
{
public:
    TavWebBrowserComponent();
    ~TavWebBrowserComponent() override;

    void goToURL (const juce::String& url);
    void goBack();

    /** Only the guide's own pages, local files: the web view's blank start page is refused (so Back never
        reaches it), and so is every address off this machine.
    */
    virtual bool pageAboutToLoad (const juce::String& url);

    /** Adds 1 for every page that finishes loading, pages reached by going back included; the blank start
        page does not count.
    */
    virtual void pageFinishedLoading (const juce::String& url);

    /** Address of the page that finished loading last, the blank page included; empty before the first. */
    const juce::String& getLastPageLoaded() const noexcept { return lastPageLoaded; }

    /** False once the page process has ended (or could not start). */
    bool isPageProcessRunning() const noexcept { return page != nullptr && page->isRunning(); }

    /** The page process's id, 0 when there is none (tests). */
    int getPageProcessID() const noexcept { return page != nullptr ? page->getProcessID() : 0; }

    /** Called on the message thread when the page process ended without being asked to: it crashed, or its
        window was destroyed from outside. The browser shows nothing from then on; it may be deleted here.
    */
    std::function<void()> onPageProcessEnded;

    void paint (juce::Graphics& g) override;
    void resized() override;

    int pagesLoaded = 0;

private:
    std::unique_ptr<tavlin::desktop::WebViewProcess> page;
    juce::String lastPageLoaded;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavWebBrowserComponent)
};
