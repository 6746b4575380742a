#include "CommandTable.h"

namespace
{
enum class Active
{
    whenIdle,
    whenMediaOpenAndIdle
};

enum class Ticked
{
    never,
    whenLooping,
    inPlayerMode,
    inRecorderMode
};

struct Row
{
    juce::CommandID id;
    const char* name;
    const char* description;
    const char* category;
    int keyCode; // 0: no default key
    int modifiers;
    Active active;
    Ticked ticked;
};

constexpr int cmd = juce::ModifierKeys::commandModifier;
constexpr int shift = juce::ModifierKeys::shiftModifier;

const Row rows[] = {
    { CommandIDs::openMedia, "Open Media...", "Open a video or audio file", "File", 'o', cmd, Active::whenIdle,
      Ticked::never },
    { CommandIDs::closeMedia, "Close", "Close the media file", "File", 'w', cmd, Active::whenMediaOpenAndIdle,
      Ticked::never },
    { CommandIDs::saveMedia, "Save...", "Save the media file", "File", 's', cmd, Active::whenMediaOpenAndIdle,
      Ticked::never },
    { CommandIDs::saveMediaAs, "Save As...", "Save the media file as", "File", 's', cmd | shift,
      Active::whenMediaOpenAndIdle, Ticked::never },
    { CommandIDs::batchProcess, "Batch Processor...", "Batch Process Files", "File", 'b', cmd | shift, Active::whenIdle,
      Ticked::never },
    { CommandIDs::resetSettings, "Reset...", "Reset all Settings", "File", 0, 0, Active::whenIdle, Ticked::never },
    { CommandIDs::loadPreset, "Load Preset...", "Load Tavlin Settings", "File", 0, 0, Active::whenIdle, Ticked::never },
    { CommandIDs::savePreset, "Save Preset...", "Save Tavlin Settings", "File", 0, 0, Active::whenIdle, Ticked::never },
    { CommandIDs::playPause, "Play/Pause", "Play or pause the media", "Media", juce::KeyPress::spaceKey, 0,
      Active::whenIdle, Ticked::never },
    { CommandIDs::rewindToStart, "Rewind to Start", "Rewind to the start of the media", "Media",
      juce::KeyPress::returnKey, 0, Active::whenIdle, Ticked::never },
    { CommandIDs::forward, "Forward", "Move media play time forward", "Media", juce::KeyPress::rightKey, 0,
      Active::whenIdle, Ticked::never },
    { CommandIDs::backward, "Backward", "Move media play time backward", "Media", juce::KeyPress::leftKey, 0,
      Active::whenIdle, Ticked::never },
    { CommandIDs::loop, "Loop", "Loop the media", "Media", 'l', cmd, Active::whenIdle, Ticked::whenLooping },
    { CommandIDs::showMediaPlayer, "Media Player", "Show Media Player", "Media", 'p', cmd, Active::whenIdle,
      Ticked::inPlayerMode },
    { CommandIDs::showMediaRecorder, "Media Recorder", "Show Media Recorder", "Media", 'r', cmd, Active::whenIdle,
      Ticked::inRecorderMode },
    { CommandIDs::showUserGuide, "User Guide/Support/Feedback...", "Tavlin Manual and Support Resources", "File", 'g',
      cmd, Active::whenIdle, Ticked::never },
};

const Row* findRow (juce::CommandID id)
{
    for (auto& row : rows)
        if (row.id == id)
            return &row;

    return nullptr;
}

// Menu layouts; 0 is a separator.
const juce::CommandID fileMenu[] = { CommandIDs::openMedia,     CommandIDs::closeMedia,   CommandIDs::saveMedia,
                                     CommandIDs::saveMediaAs,   CommandIDs::batchProcess, 0,
                                     CommandIDs::resetSettings, CommandIDs::loadPreset,   CommandIDs::savePreset };

const juce::CommandID mediaMenu[] = { CommandIDs::playPause,
                                      CommandIDs::rewindToStart,
                                      CommandIDs::backward,
                                      CommandIDs::forward,
                                      CommandIDs::loop,
                                      0,
                                      CommandIDs::showMediaPlayer,
                                      CommandIDs::showMediaRecorder };

const juce::CommandID helpMenu[] = { CommandIDs::showUserGuide };

template <size_t size>
juce::PopupMenu buildMenu (const juce::CommandID (&ids)[size], juce::ApplicationCommandManager* manager)
{
    juce::PopupMenu menu;

    for (auto id : ids)
    {
        if (id == 0)
            menu.addSeparator();
        else
            menu.addCommandItem (manager, id);
    }

    return menu;
}
} // namespace

void CommandTable::getAllCommands (juce::Array<juce::CommandID>& ids)
{
    for (auto& row : rows)
        ids.add (row.id);
}

bool CommandTable::contains (juce::CommandID id)
{
    return findRow (id) != nullptr;
}

bool CommandTable::getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info, const State& state)
{
    auto* row = findRow (id);

    if (row == nullptr)
        return false;

    info.setInfo (row->name, row->description, row->category, 0);

    if (row->keyCode != 0)
        info.addDefaultKeypress (row->keyCode, juce::ModifierKeys (row->modifiers));

    info.setActive (row->active == Active::whenIdle ? state.idle : (state.idle && state.mediaOpen));

    switch (row->ticked)
    {
        case Ticked::never:
            info.setTicked (false);
            break;
        case Ticked::whenLooping:
            info.setTicked (state.looping);
            break;
        case Ticked::inPlayerMode:
            info.setTicked (state.playerMode);
            break;
        case Ticked::inRecorderMode:
            info.setTicked (!state.playerMode);
            break;
    }

    return true;
}

juce::StringArray CommandTable::getMenuBarNames()
{
    return { "File", "Media", "Help" };
}

juce::PopupMenu CommandTable::getMenu (int index, juce::ApplicationCommandManager* manager)
{
    switch (index)
    {
        case 0:
            return buildMenu (fileMenu, manager);
        case 1:
            return buildMenu (mediaMenu, manager);
        case 2:
        {
            auto menu = buildMenu (helpMenu, manager);
            menu.addSeparator();

            auto extras = getExtraMenu();

            for (juce::PopupMenu::MenuItemIterator it (extras); it.next();)
                menu.addItem (it.getItem());

            return menu;
        }
        default:
            return {};
    }
}

juce::PopupMenu CommandTable::getExtraMenu()
{
    juce::PopupMenu menu;
    menu.addItem (CommandIDs::showAbout, "About Tavlin", true, false);
    menu.addItem (CommandIDs::checkForUpdates, "Check for Updates...", true, false);
    return menu;
}
