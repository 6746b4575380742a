#pragma once

#include "TavDocumentWindow.h"
#include "UserGuideComponent.h"

/** The user guide's window, 900 x 740 and centred: the guide's pages in a browser below a "Back" button.
    Closing it only hides it; the application shows it again on the next request.
*/
class UserGuideWindow : public TavDocumentWindow
{
public:
    UserGuideWindow();
    ~UserGuideWindow() override;

    void closeButtonPressed() override;

    /** Loads the quick-start page. */
    void showQuickStart();

    UserGuideComponent* getGuide() const noexcept { return content; }

private:
    UserGuideComponent* content = nullptr; // owned as the window's content component

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UserGuideWindow)
};
