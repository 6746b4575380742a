#include "TavWebBrowserComponent.h"

TavWebBrowserComponent::TavWebBrowserComponent()
    : juce::WebBrowserComponent (juce::WebBrowserComponent::Options().withKeepPageLoadedWhenBrowserIsHidden())
{
}

bool TavWebBrowserComponent::pageAboutToLoad (const juce::String& url)
{
    return url != "about:blank";
}

void TavWebBrowserComponent::pageFinishedLoading (const juce::String& url)
{
    lastPageLoaded = url;

    if (url != "about:blank")
        ++pagesLoaded;
}
