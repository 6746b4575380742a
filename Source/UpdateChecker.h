#pragma once

/** The update check: once in the background when the processing window is built, and on demand.

    For now both checks do nothing; fetching the update feed comes with the update check itself.
*/
class UpdateChecker
{
public:
    void launchSparkle();
    void checkForUpdates();
};

/** Starts the background check. */
void startBackgroundUpdateCheck();

/** Starts the check the user asked for ("Check for Updates..."). */
void checkForUpdatesNow();
