#include "UserGuideWindow.h"

#include "TavlinApplication.h"

UserGuideWindow::UserGuideWindow()
{
    setVisible (true);

    auto guide = std::make_unique<UserGuideComponent>();
    guide->setSize (900, 600);
    content = guide.get();
    setContentOwned (guide.release(), true);

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

void UserGuideWindow::showQuickStart()
{
    content->showQuickStart();
}
