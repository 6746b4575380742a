#pragma once

#include "PanelHost.h"

#include <juce_core/juce_core.h>

class WindowHost;

/** The processing window's pages in the running program: the application's transport and its user guide,
    and the keyboard.
*/
class ApplicationPanelHost : public PanelHost
{
public:
    /** application outlives the host. */
    explicit ApplicationPanelHost (WindowHost& application);

    bool isPlaying() override;
    void togglePlayPause() override;
    double getPlayerPosition() override;
    bool canLearnFromPlayback() override;
    bool isOptionKeyDown() override;
    void showUserGuide() override;

private:
    WindowHost& app;

    JUCE_DECLARE_NON_COPYABLE (ApplicationPanelHost)
};
