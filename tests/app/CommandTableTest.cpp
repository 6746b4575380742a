#include "CommandTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using State = CommandTable::State;

enum class Rule
{
    idle,
    mediaOpenAndIdle,
    never,
    looping,
    playerMode,
    recorderMode
};

struct Expected
{
    juce::CommandID id;
    const char* name;
    const char* description;
    const char* category;
    juce::KeyPress key; // invalid: none
    Rule active;
    Rule ticked;
};

const auto cmd = juce::ModifierKeys::commandModifier;
const auto shift = juce::ModifierKeys::shiftModifier;

const std::vector<Expected> table = {
    { 0x2000, "Open Media...", "Open a video or audio file", "File", { 'o', cmd, 0 }, Rule::idle, Rule::never },
    { 0x2001, "Close", "Close the media file", "File", { 'w', cmd, 0 }, Rule::mediaOpenAndIdle, Rule::never },
    { 0x2002, "Save...", "Save the media file", "File", { 's', cmd, 0 }, Rule::mediaOpenAndIdle, Rule::never },
    { 0x2003,
      "Save As...",
      "Save the media file as",
      "File",
      { 's', cmd | shift, 0 },
      Rule::mediaOpenAndIdle,
      Rule::never },
    { 0x2004, "Batch Processor...", "Batch Process Files", "File", { 'b', cmd | shift, 0 }, Rule::idle, Rule::never },
    { 0x2005, "Reset...", "Reset all Settings", "File", {}, Rule::idle, Rule::never },
    { 0x2006, "Load Preset...", "Load Tavlin Settings", "File", {}, Rule::idle, Rule::never },
    { 0x2007, "Save Preset...", "Save Tavlin Settings", "File", {}, Rule::idle, Rule::never },
    { 0x200a,
      "Play/Pause",
      "Play or pause the media",
      "Media",
      { juce::KeyPress::spaceKey, 0, 0 },
      Rule::idle,
      Rule::never },
    { 0x200b,
      "Rewind to Start",
      "Rewind to the start of the media",
      "Media",
      { juce::KeyPress::returnKey, 0, 0 },
      Rule::idle,
      Rule::never },
    { 0x200c,
      "Forward",
      "Move media play time forward",
      "Media",
      { juce::KeyPress::rightKey, 0, 0 },
      Rule::idle,
      Rule::never },
    { 0x200d,
      "Backward",
      "Move media play time backward",
      "Media",
      { juce::KeyPress::leftKey, 0, 0 },
      Rule::idle,
      Rule::never },
    { 0x200e, "Loop", "Loop the media", "Media", { 'l', cmd, 0 }, Rule::idle, Rule::looping },
    { 0x200f, "Media Player", "Show Media Player", "Media", { 'p', cmd, 0 }, Rule::idle, Rule::playerMode },
    { 0x2010, "Media Recorder", "Show Media Recorder", "Media", { 'r', cmd, 0 }, Rule::idle, Rule::recorderMode },
    { 0x2011,
      "User Guide/Support/Feedback...",
      "Tavlin Manual and Support Resources",
      "File",
      { 'g', cmd, 0 },
      Rule::idle,
      Rule::never },
};

bool applies (Rule rule, const State& s)
{
    switch (rule)
    {
        case Rule::idle:
            return s.idle;
        case Rule::mediaOpenAndIdle:
            return s.idle && s.mediaOpen;
        case Rule::never:
            return false;
        case Rule::looping:
            return s.looping;
        case Rule::playerMode:
            return s.playerMode;
        case Rule::recorderMode:
            return !s.playerMode;
    }

    return false;
}

std::vector<State> allStates()
{
    std::vector<State> states;
    states.reserve (16);

    for (int bits = 0; bits < 16; ++bits)
        states.push_back ({ (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0 });

    return states;
}

std::string describe (const State& s)
{
    return std::string ("idle=") + (s.idle ? "1" : "0") + " mediaOpen=" + (s.mediaOpen ? "1" : "0")
           + " playerMode=" + (s.playerMode ? "1" : "0") + " looping=" + (s.looping ? "1" : "0");
}
} // namespace

TEST (CommandTableTest, EveryCommandUnderEveryState)
{
    juce::Array<juce::CommandID> ids;
    CommandTable::getAllCommands (ids);
    ASSERT_EQ (ids.size(), (int) table.size());

    for (size_t i = 0; i < table.size(); ++i)
    {
        auto& row = table[i];
        SCOPED_TRACE (row.name);
        EXPECT_EQ (ids[(int) i], row.id) << "ids are listed in ascending order";

        for (auto& state : allStates())
        {
            SCOPED_TRACE (describe (state));
            juce::ApplicationCommandInfo info (row.id);
            ASSERT_TRUE (CommandTable::getCommandInfo (row.id, info, state));

            EXPECT_EQ (info.shortName, row.name);
            EXPECT_EQ (info.description, row.description);
            EXPECT_EQ (info.categoryName, row.category);
            EXPECT_EQ (
                (info.flags & ~(juce::ApplicationCommandInfo::isDisabled | juce::ApplicationCommandInfo::isTicked)), 0);

            if (row.key.isValid())
            {
                ASSERT_EQ (info.defaultKeypresses.size(), 1);
                EXPECT_EQ (info.defaultKeypresses[0], row.key) << info.defaultKeypresses[0].getTextDescription();
            }
            else
            {
                EXPECT_TRUE (info.defaultKeypresses.isEmpty());
            }

            EXPECT_EQ ((info.flags & juce::ApplicationCommandInfo::isDisabled) == 0, applies (row.active, state));
            EXPECT_EQ ((info.flags & juce::ApplicationCommandInfo::isTicked) != 0, applies (row.ticked, state));
        }
    }
}

TEST (CommandTableTest, IdsOutsideTheTableAreNotCommands)
{
    for (juce::CommandID id : { 0, 0x1fff, 0x2008, 0x2009, 0x2012, 0x2100, 0x2101 })
    {
        SCOPED_TRACE (id);
        EXPECT_FALSE (CommandTable::contains (id));

        juce::ApplicationCommandInfo info (id);
        info.shortName = "untouched";
        EXPECT_FALSE (CommandTable::getCommandInfo (id, info, {}));
        EXPECT_EQ (info.shortName, "untouched");
        EXPECT_EQ (info.flags, 0);
    }
}

namespace
{
// Records the handler calls a command makes.
struct FakeApplication
{
    bool gateOk = true;
    bool looping = true;
    std::vector<std::string> calls;

    juce::Result closeMediaDocument()
    {
        calls.push_back ("closeMediaDocument");
        return gateOk ? juce::Result::ok() : juce::Result::fail ("User Cancelled.");
    }

    void openMediaInteractive() { calls.push_back ("openMediaInteractive"); }
    void saveMedia (bool asNew) { calls.push_back (asNew ? "saveMedia(true)" : "saveMedia(false)"); }
    void runBatchProcessor() { calls.push_back ("runBatchProcessor"); }
    void resetSettings() { calls.push_back ("resetSettings"); }
    void loadPreset() { calls.push_back ("loadPreset"); }
    void savePreset() { calls.push_back ("savePreset"); }
    void togglePlayPause() { calls.push_back ("togglePlayPause"); }
    void rewindToStart() { calls.push_back ("rewindToStart"); }
    void stepForward() { calls.push_back ("stepForward"); }
    void stepBackward() { calls.push_back ("stepBackward"); }
    bool isLooping() const { return looping; }
    void setLooping (bool on) { calls.push_back (on ? "setLooping(true)" : "setLooping(false)"); }
    void setPlayerMode (bool player) { calls.push_back (player ? "setPlayerMode(true)" : "setPlayerMode(false)"); }
    void showUserGuide (bool quickStart)
    {
        calls.push_back (quickStart ? "showUserGuide(true)" : "showUserGuide(false)");
    }
};

struct Route
{
    juce::CommandID id;
    bool gateOk;
    bool looping;
    std::vector<std::string> calls;
};
} // namespace

TEST (CommandTableTest, PerformRunsEachCommandsHandlers)
{
    const std::vector<Route> routes = {
        { 0x2000, true, true, { "closeMediaDocument", "openMediaInteractive" } },
        { 0x2000, false, true, { "closeMediaDocument" } },
        { 0x2001, true, true, { "closeMediaDocument" } },
        { 0x2001, false, true, { "closeMediaDocument" } },
        { 0x2002, true, true, { "saveMedia(false)" } },
        { 0x2003, true, true, { "saveMedia(true)" } },
        { 0x2004, true, true, { "runBatchProcessor" } },
        { 0x2005, true, true, { "resetSettings" } },
        { 0x2006, true, true, { "loadPreset" } },
        { 0x2007, true, true, { "savePreset" } },
        { 0x200a, true, true, { "togglePlayPause" } },
        { 0x200b, true, true, { "rewindToStart" } },
        { 0x200c, true, true, { "stepForward" } },
        { 0x200d, true, true, { "stepBackward" } },
        { 0x200e, true, true, { "setLooping(false)" } },
        { 0x200e, true, false, { "setLooping(true)" } },
        { 0x200f, false, true, { "setPlayerMode(true)" } }, // no close gate on the way to the player
        { 0x2010, true, true, { "closeMediaDocument", "setPlayerMode(false)" } },
        { 0x2010, false, true, { "closeMediaDocument" } },
        { 0x2011, true, true, { "showUserGuide(false)" } },
    };

    for (auto& route : routes)
    {
        SCOPED_TRACE (::testing::Message() << std::hex << route.id << " gate " << route.gateOk);
        FakeApplication app;
        app.gateOk = route.gateOk;
        app.looping = route.looping;
        EXPECT_TRUE (CommandTable::perform (route.id, app));
        EXPECT_EQ (app.calls, route.calls);
    }

    for (juce::CommandID id : { 0x1fff, 0x2008, 0x2009, 0x2012, 0x2100, 0x2101 })
    {
        FakeApplication app;
        EXPECT_FALSE (CommandTable::perform (id, app)) << std::hex << id;
        EXPECT_TRUE (app.calls.empty());
    }
}

namespace
{
// A command target answering from the table under a given state, as the windows do.
class TableTarget : public juce::ApplicationCommandTarget
{
public:
    State state;

    ApplicationCommandTarget* getNextCommandTarget() override { return nullptr; }
    void getAllCommands (juce::Array<juce::CommandID>& ids) override { CommandTable::getAllCommands (ids); }
    void getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info) override
    {
        CommandTable::getCommandInfo (id, info, state);
    }
    bool perform (const InvocationInfo&) override { return false; }
};

struct MenuEntry
{
    int id; // 0: separator
    std::string text;
};

std::vector<MenuEntry> entriesOf (const juce::PopupMenu& menu)
{
    std::vector<MenuEntry> entries;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        auto& item = it.getItem();
        entries.push_back ({ item.isSeparator ? 0 : item.itemID, item.isSeparator ? "" : item.text.toStdString() });
    }

    return entries;
}
} // namespace

TEST (CommandTableTest, MenusListTheCommandsInOrderWithTheirStates)
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::ApplicationCommandManager manager;
    TableTarget target;
    target.state = { false, true, false, true }; // busy, media open, recorder mode, looping
    manager.registerAllCommandsForTarget (&target);
    manager.setFirstCommandTarget (&target);

    EXPECT_EQ (CommandTable::getMenuBarNames(), juce::StringArray ({ "File", "Media", "Help" }));

    const std::vector<std::vector<MenuEntry>> expected = {
        { { 0x2000, "Open Media..." },
          { 0x2001, "Close" },
          { 0x2002, "Save..." },
          { 0x2003, "Save As..." },
          { 0x2004, "Batch Processor..." },
          { 0, "" },
          { 0x2005, "Reset..." },
          { 0x2006, "Load Preset..." },
          { 0x2007, "Save Preset..." } },
        { { 0x200a, "Play/Pause" },
          { 0x200b, "Rewind to Start" },
          { 0x200d, "Backward" },
          { 0x200c, "Forward" },
          { 0x200e, "Loop" },
          { 0, "" },
          { 0x200f, "Media Player" },
          { 0x2010, "Media Recorder" } },
        { { 0x2011, "User Guide/Support/Feedback..." },
          { 0, "" },
          { 0x2100, "About Tavlin" },
          { 0x2101, "Check for Updates..." } },
    };

    for (int index = 0; index < 3; ++index)
    {
        SCOPED_TRACE (index);
        auto menu = CommandTable::getMenu (index, &manager);
        auto entries = entriesOf (menu);
        ASSERT_EQ (entries.size(), expected[(size_t) index].size());

        for (size_t i = 0; i < entries.size(); ++i)
        {
            EXPECT_EQ (entries[i].id, expected[(size_t) index][i].id);
            EXPECT_EQ (entries[i].text, expected[(size_t) index][i].text);
        }
    }

    EXPECT_EQ (CommandTable::getMenu (3, &manager).getNumItems(), 0);

    auto keys = manager.getKeyMappings()->getKeyPressesAssignedToCommand (0x2003);
    ASSERT_EQ (keys.size(), 1);
    EXPECT_EQ (keys[0], juce::KeyPress ('S', cmd | shift, 0)) << keys[0].getTextDescription();
    EXPECT_EQ (manager.getKeyMappings()->findCommandForKeyPress (juce::KeyPress (juce::KeyPress::spaceKey)), 0x200a);

    // Command items follow the table's states; the two extra items stay enabled while busy.
    for (int index = 0; index < 3; ++index)
    {
        auto menu = CommandTable::getMenu (index, &manager);

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            auto& item = it.getItem();

            if (item.isSeparator)
                continue;

            SCOPED_TRACE (item.text);
            bool isCommand = CommandTable::contains (item.itemID);
            EXPECT_EQ (item.isEnabled, !isCommand);
            EXPECT_EQ (item.isTicked, item.itemID == 0x200e || item.itemID == 0x2010);

            EXPECT_EQ (item.commandManager, isCommand ? &manager : nullptr)
                << "a command's shortcut is shown from the manager's key mappings";
        }
    }

    target.state.idle = true;
    target.state.mediaOpen = false;

    auto fileMenu = CommandTable::getMenu (0, &manager);

    for (juce::PopupMenu::MenuItemIterator it (fileMenu); it.next();)
        if (!it.getItem().isSeparator)
        {
            EXPECT_EQ (it.getItem().isEnabled, it.getItem().itemID < 0x2001 || it.getItem().itemID > 0x2003)
                << it.getItem().text;
        }
}
