#pragma once

#include "TavDocumentWindow.h"
#include "UserGuideComponent.h"

/** The user guide's window, 900 x 740 and centred: the guide's pages in a browser below a "Back" button.

    Closing it only hides it; the application shows it again on the next request. While hidden it has neither
    a browser nor a window on the display: both are made anew when it is shown, so a window lost meanwhile
    (destroyed from outside, a window manager that went away) cannot keep it from showing. A window destroyed
    from outside while shown takes the browser's page process with it; the guide then counts as hidden.
*/
class UserGuideWindow : public TavDocumentWindow
{
public:
    UserGuideWindow (juce::ApplicationCommandManager& commandManager, WindowHost& host);
    ~UserGuideWindow() override;

    void closeButtonPressed() override;

    /** Shows the window, on a new native window when it has none. */
    void showGuide();

    /** Hides the window and lets its native window and its browser go. */
    void hideGuide();

    /** Loads the quick-start page. */
    void showQuickStart();

    void visibilityChanged() override;

    UserGuideComponent* getGuide() const noexcept { return content; }

private:
    UserGuideComponent* content = nullptr; // owned as the window's content component

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UserGuideWindow)
};
