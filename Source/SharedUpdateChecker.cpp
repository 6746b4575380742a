#include "SharedUpdateChecker.h"

#include "AlertUpdateNotifier.h"
#include "TavlinAddresses.h"
#include "UpdateChecker.h"
#include "desktop/WebHttpFetcher.h"

JUCE_IMPLEMENT_SINGLETON (SharedUpdateChecker)

SharedUpdateChecker::SharedUpdateChecker()
{
    auto* app = juce::JUCEApplicationBase::getInstance();
    const juce::String version =
        app != nullptr ? app->getApplicationVersion() : juce::String (JUCE_APPLICATION_VERSION_STRING);

    checker = std::make_unique<UpdateChecker> (juce::URL (TavlinAddresses::updateFeed), version,
                                               std::make_unique<tavlin::desktop::WebHttpFetcher>(),
                                               std::make_unique<AlertUpdateNotifier>());
}

SharedUpdateChecker::~SharedUpdateChecker()
{
    checker.reset();
    clearSingletonInstance();
}

// The process's one checker and the two checks the program makes live here, with the checker's holder.
UpdateChecker& UpdateChecker::getShared()
{
    return SharedUpdateChecker::getInstance()->getChecker();
}

void startBackgroundUpdateCheck()
{
    UpdateChecker::getShared().checkInBackground();
}

void checkForUpdatesNow()
{
    UpdateChecker::getShared().checkForUpdates();
}
