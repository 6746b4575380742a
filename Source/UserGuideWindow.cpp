#include "UserGuideWindow.h"

UserGuideWindow::UserGuideWindow (juce::ApplicationCommandManager& commandManager, WindowHost& host)
    : TavDocumentWindow (commandManager, host)
{
    setVisible (true);

    auto guide = std::make_unique<UserGuideComponent>();
    guide->setSize (900, 600);
    content = guide.get();
    setContentOwned (guide.release(), true);

    centreWithSize (900, 740);
    setVisible (true);
    setUsingNativeTitleBar (true);

    setName ("Tavlin User Guide");

    content->onBrowserLost = [this] { hideGuide(); };
}

UserGuideWindow::~UserGuideWindow()
{
    content->onBrowserLost = nullptr;
    clearContentComponent();
}

void UserGuideWindow::closeButtonPressed()
{
    hideGuide();
}

void UserGuideWindow::showGuide()
{
    if (!isOnDesktop())
        addToDesktop();

    setVisible (true);
    toFront (true);
}

void UserGuideWindow::hideGuide()
{
    setVisible (false);

    if (isOnDesktop())
        removeFromDesktop();
}

void UserGuideWindow::showQuickStart()
{
    content->showQuickStart();
}

void UserGuideWindow::visibilityChanged()
{
    TavDocumentWindow::visibilityChanged();

    if (content != nullptr)
        content->setShown (isVisible());
}
