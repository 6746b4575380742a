#pragma once

#include "CommandIDs.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The sixteen menu commands: their names, keys, active and ticked rules, the menus that list them and
    the action each one runs. Every window answers from this one table.
*/
class CommandTable
{
public:
    /** What the active and ticked rules look at. */
    struct State
    {
        bool idle = true; ///< no long operation is showing its progress
        bool mediaOpen = false; ///< the media document has an opened file
        bool playerMode = true; ///< the media window shows the player, not the recorder
        bool looping = true;
    };

    /** Appends the sixteen command ids in ascending order. */
    static void getAllCommands (juce::Array<juce::CommandID>& ids);

    static bool contains (juce::CommandID id);

    /** Fills name, description, category, default key, active and ticked; returns false and leaves the info
        untouched for an id outside the table.
    */
    static bool getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info, const State& state);

    static juce::StringArray getMenuBarNames();

    /** The menu of that index ("File", "Media", "Help") built from the manager's commands; the "Help" menu
        ends with the two extra items behind a separator. Any other index gives an empty menu.
    */
    static juce::PopupMenu getMenu (int index, juce::ApplicationCommandManager* manager);

    /** The two extra items, "About Tavlin" and "Check for Updates...". */
    static juce::PopupMenu getExtraMenu();

    /** Runs the command on the handlers; returns false for an id outside the table.

        Handlers provides closeMediaDocument() (returning a juce::Result), openMediaInteractive(),
        saveMedia(bool), runBatchProcessor(), resetSettings(), loadPreset(), savePreset(), togglePlayPause(),
        rewindToStart(), stepForward(), stepBackward(), isLooping(), setLooping(bool), setPlayerMode(bool)
        and showUserGuide(bool).
    */
    template <typename Handlers>
    static bool perform (juce::CommandID id, Handlers& app)
    {
        switch (id)
        {
            case CommandIDs::openMedia:
                if (app.closeMediaDocument().wasOk())
                    app.openMediaInteractive();
                return true;
            case CommandIDs::closeMedia:
                app.closeMediaDocument();
                return true;
            case CommandIDs::saveMedia:
                app.saveMedia (false);
                return true;
            case CommandIDs::saveMediaAs:
                app.saveMedia (true);
                return true;
            case CommandIDs::batchProcess:
                app.runBatchProcessor();
                return true;
            case CommandIDs::resetSettings:
                app.resetSettings();
                return true;
            case CommandIDs::loadPreset:
                app.loadPreset();
                return true;
            case CommandIDs::savePreset:
                app.savePreset();
                return true;
            case CommandIDs::playPause:
                app.togglePlayPause();
                return true;
            case CommandIDs::rewindToStart:
                app.rewindToStart();
                return true;
            case CommandIDs::forward:
                app.stepForward();
                return true;
            case CommandIDs::backward:
                app.stepBackward();
                return true;
            case CommandIDs::loop:
                app.setLooping (!app.isLooping());
                return true;
            case CommandIDs::showMediaPlayer:
                app.setPlayerMode (true);
                return true;
            case CommandIDs::showMediaRecorder:
                if (app.closeMediaDocument().wasOk())
                    app.setPlayerMode (false);
                return true;
            case CommandIDs::showUserGuide:
                app.showUserGuide (false);
                return true;
            default:
                return false;
        }
    }
};
