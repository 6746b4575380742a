#include "UpdateChecker.h"

void UpdateChecker::launchSparkle() {}

void UpdateChecker::checkForUpdates() {}

void startBackgroundUpdateCheck()
{
    UpdateChecker().launchSparkle();
}

void checkForUpdatesNow()
{
    UpdateChecker().checkForUpdates();
}
