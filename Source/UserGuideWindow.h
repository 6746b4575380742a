#pragma once

#include "TavDocumentWindow.h"

/** The user guide's window, 900 x 740, centred; closing it only hides it.

    For now its content is an empty page; the browser with the guide's pages and its "Back" button come with
    the user guide itself.
*/
class UserGuideWindow : public TavDocumentWindow
{
public:
    UserGuideWindow();
    ~UserGuideWindow() override;

    void closeButtonPressed() override;

    /** Loads the quick-start page. */
    void showQuickStart();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UserGuideWindow)
};
