#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

/** The user guide's browser: keeps its page while hidden and counts the pages that finish loading, so that
    "Back" knows whether there is a page to go back to.
*/
class TavWebBrowserComponent : public juce::WebBrowserComponent
{
public:
    TavWebBrowserComponent();

    /** The web view starts on a blank page before the first address arrives: going back to it is refused. */
    bool pageAboutToLoad (const juce::String& url) override;

    /** Adds 1 for every page that finishes loading, pages reached by going back included; the blank start
        page does not count.
    */
    void pageFinishedLoading (const juce::String& url) override;

    /** Address of the page that finished loading last, the blank page included; empty before the first. */
    const juce::String& getLastPageLoaded() const noexcept { return lastPageLoaded; }

    int pagesLoaded = 0;

private:
    juce::String lastPageLoaded;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavWebBrowserComponent)
};
