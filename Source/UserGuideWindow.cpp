#include "UserGuideWindow.h"

#include "TavlinApplication.h"

UserGuideWindow::UserGuideWindow()
{
    setVisible (true);

    auto page = std::make_unique<juce::Component>();
    page->setSize (900, 600);
    setContentOwned (page.release(), false);

    centreWithSize (900, 740);
    setVisible (true);
    setUsingNativeTitleBar (true);

    if (auto* app = TavlinApplication::getApp())
        addKeyListener (app->getCommandManager().getKeyMappings());

    setName ("Tavlin User Guide");
}

UserGuideWindow::~UserGuideWindow()
{
    clearContentComponent();
}

void UserGuideWindow::closeButtonPressed()
{
    setVisible (false);
}

void UserGuideWindow::showQuickStart() {}
