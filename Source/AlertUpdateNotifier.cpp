#include "AlertUpdateNotifier.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
void noAnswerNeeded (int) {}
} // namespace

void AlertUpdateNotifier::showUpdateAvailable (const UpdateFeedItem& release, const juce::String& installedVersion)
{
    const auto text = "Tavlin " + release.version + " is available; you have " + installedVersion + ".";
    auto options = juce::MessageBoxOptions()
                       .withIconType (juce::MessageBoxIconType::InfoIcon)
                       .withTitle ("A new version of Tavlin is available");

    if (release.downloadPage.isEmpty())
    {
        juce::AlertWindow::showAsync (options.withMessage (text).withButton ("OK"), noAnswerNeeded);
        return;
    }

    // Two buttons answer 1 for the first and 0 for the second, Escape and the close button.
    juce::AlertWindow::showAsync (options.withMessage (text + "\n\nWould you like to open the download page?")
                                      .withButton ("Download")
                                      .withButton ("Later"),
                                  [page = release.downloadPage] (int result)
                                  {
                                      if (result == 1)
                                          page.launchInDefaultBrowser();
                                  });
}

void AlertUpdateNotifier::showUpToDate (const juce::String& installedVersion)
{
    juce::AlertWindow::showAsync (juce::MessageBoxOptions()
                                      .withIconType (juce::MessageBoxIconType::InfoIcon)
                                      .withTitle ("Tavlin is up to date")
                                      .withMessage ("Version " + installedVersion + " is the newest version available.")
                                      .withButton ("OK"),
                                  noAnswerNeeded);
}

void AlertUpdateNotifier::showNoFeed()
{
    juce::AlertWindow::showAsync (juce::MessageBoxOptions()
                                      .withIconType (juce::MessageBoxIconType::InfoIcon)
                                      .withTitle ("Check for Updates")
                                      .withMessage (noFeedMessage)
                                      .withButton ("OK"),
                                  noAnswerNeeded);
}

void AlertUpdateNotifier::showCheckFailed (const juce::String& reason)
{
    juce::AlertWindow::showAsync (juce::MessageBoxOptions()
                                      .withIconType (juce::MessageBoxIconType::WarningIcon)
                                      .withTitle ("Could not check for updates")
                                      .withMessage ("The update information could not be fetched. " + reason
                                                    + "\n\nPlease check your network connection and try again "
                                                      "later.")
                                      .withButton ("OK"),
                                  noAnswerNeeded);
}
