#pragma once

/** What the processing panel asks of the application around it: the transport for LEARN and the
    keyboard's modifier state. The panel uses ApplicationPanelHost unless it is given another one.
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
};
