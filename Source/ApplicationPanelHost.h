#pragma once

#include "PanelHost.h"

/** The panel's host in the running program: the application's transport, its media document and the
    keyboard. Every answer is safe without a running application (nothing plays, no media is open).
*/
class ApplicationPanelHost : public PanelHost
{
public:
    bool isPlaying() override;
    void togglePlayPause() override;
    double getPlayerPosition() override;
    bool canLearnFromPlayback() override;
    bool isOptionKeyDown() override;
};
