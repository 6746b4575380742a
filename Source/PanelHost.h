#pragma once

/** What the processing window's pages ask of the application around them: the transport for LEARN, the
    keyboard's modifier state and the user guide. The window that shows the pages gives them their host;
    pages without one (tests) learn nothing from playback and show no guide.
*/
class PanelHost
{
public:
    virtual ~PanelHost() = default;

    virtual bool isPlaying() = 0;
    virtual void togglePlayPause() = 0;

    /** The player's position in seconds. */
    virtual double getPlayerPosition() = 0;

    /** True while media is open and the media window shows the player, so that playback can feed a learn. */
    virtual bool canLearnFromPlayback() = 0;

    /** The Option (Alt) key's state right now, not that of a mouse event. */
    virtual bool isOptionKeyDown() = 0;

    /** Shows the user guide's window (the credits page's "User Guide..."). */
    virtual void showUserGuide() = 0;
};
