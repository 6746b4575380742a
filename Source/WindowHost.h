#pragma once

#include "CommandTable.h"
#include "MediaViewHost.h"

#include <juce_core/juce_core.h>

/** What the application's windows and their contents ask of the application around them: the handlers of
    the menu commands (see CommandTable::perform) and the state their rules read, the two extra menu items,
    the transport, what the close buttons ask for and the opening of a new recording, and what the media
    view asks (MediaViewHost). The running program answers through TavlinApplication. Message thread only.
*/
class WindowHost : public MediaViewHost
{
public:
    /** What the command table's active and ticked rules look at. */
    virtual CommandTable::State getCommandState() const = 0;

    //==============================================================================
    virtual void openMediaInteractive() = 0;
    virtual void saveMedia (bool asNew) = 0;
    virtual void runBatchProcessor() = 0;
    virtual void resetSettings() = 0;
    virtual void loadPreset() = 0;
    virtual void savePreset() = 0;

    //==============================================================================
    /** The transport, in player mode only: otherwise these do nothing, and nothing plays. */
    virtual void togglePlayPause() = 0;
    virtual void rewindToStart() = 0;
    virtual void stepForward() = 0;
    virtual void stepBackward() = 0;
    virtual bool isPlaying() = 0;

    /** The player's position in seconds (0 without media). */
    virtual double getPlayerPosition() = 0;

    virtual bool isLooping() const = 0;
    virtual void setLooping (bool on) = 0;

    /** Shows the player (true) or the recorder in the media window. */
    virtual void setPlayerMode (bool player) = 0;

    //==============================================================================
    virtual void showUserGuide (bool quickStart) = 0;
    virtual void checkForUpdates() = 0;

    /** Shows a page of the processing window: 0 the panel, 1 the credits. */
    virtual void showEditorPage (int page) = 0;

    /** The media window's close button: the close gate now, or once a running long operation has ended. */
    virtual void requestCloseMedia() = 0;

    /** The processing window's close button: quits as the application's Quit does. */
    virtual void requestQuit() = 0;
};
