#include "TavWebBrowserComponent.h"

TavWebBrowserComponent::TavWebBrowserComponent()
{
    setOpaque (true);

    tavlin::desktop::WebViewProcess::Callbacks callbacks;
    callbacks.pageAboutToLoad = [this] (const juce::String& url) { return pageAboutToLoad (url); };
    callbacks.pageFinishedLoading = [this] (const juce::String& url) { pageFinishedLoading (url); };
    callbacks.processEnded = [this]
    {
        if (auto ended = onPageProcessEnded)
            ended();
    };

    page = std::make_unique<tavlin::desktop::WebViewProcess> (std::move (callbacks));
    page->onViewReady = [this] (juce::Component& view)
    {
        addAndMakeVisible (view);
        resized();
    };
}

TavWebBrowserComponent::~TavWebBrowserComponent() = default;

void TavWebBrowserComponent::goToURL (const juce::String& url)
{
    page->goToURL (url);
}

void TavWebBrowserComponent::goBack()
{
    page->goBack();
}

bool TavWebBrowserComponent::pageAboutToLoad (const juce::String& url)
{
    // The guide's own pages only: the blank start page is refused, and so is every address off this machine.
    return url.startsWithIgnoreCase ("file:");
}

void TavWebBrowserComponent::pageFinishedLoading (const juce::String& url)
{
    lastPageLoaded = url;

    if (url != "about:blank")
        ++pagesLoaded;
}

void TavWebBrowserComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
}

void TavWebBrowserComponent::resized()
{
    if (auto* view = page->getView())
        view->setBounds (getLocalBounds());
}
