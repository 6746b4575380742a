#include "TavPreferences.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

class TavPreferencesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile ("prefs");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    juce::File prefsFile() const { return folder.getChildFile ("Tavlin 5.prefs"); }

    void writeFile (const juce::String& content) const { ASSERT_TRUE (prefsFile().replaceWithText (content)); }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder;
};

TEST_F (TavPreferencesTest, FirstStartGivesDefaults)
{
    TavPreferences prefs (folder);

    EXPECT_EQ (prefs.getFile(), prefsFile());
    EXPECT_EQ (prefs.getRecordChannels(), 1);
    EXPECT_EQ (prefs.getRecordBits(), 16);
    EXPECT_TRUE (prefs.getHelpTips());
    EXPECT_TRUE (prefs.getAnalyze());
    EXPECT_EQ (prefs.getAudioConfiguration(), nullptr);
    EXPECT_TRUE (prefs.getFirstLaunch());
}

TEST_F (TavPreferencesTest, ValuesSurviveARestartInTheFileFormat)
{
    {
        TavPreferences prefs (folder);
        prefs.setRecordChannels (2);
        prefs.setRecordBits (24);
        prefs.setHelpTips (false);
        prefs.setAnalyze (false);
        prefs.setFirstLaunch (false);

        // Served from memory before anything is written.
        EXPECT_EQ (prefs.getRecordBits(), 24);
        EXPECT_FALSE (prefs.getFirstLaunch());
    }

    auto xml = juce::parseXML (prefsFile());
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("PROPERTIES"));

    auto storedValue = [&xml] (const char* key) -> juce::String
    {
        for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
            if (e->getStringAttribute ("name") == key)
                return e->getStringAttribute ("val");
        return "<missing>";
    };

    EXPECT_EQ (storedValue ("Record Channels"), "2");
    EXPECT_EQ (storedValue ("Record Bits"), "24");
    EXPECT_EQ (storedValue ("Help Tips"), "0");
    EXPECT_EQ (storedValue ("Analyze"), "0");
    EXPECT_EQ (storedValue ("First Launch"), "0");

    TavPreferences again (folder);
    EXPECT_EQ (again.getRecordChannels(), 2);
    EXPECT_EQ (again.getRecordBits(), 24);
    EXPECT_FALSE (again.getHelpTips());
    EXPECT_FALSE (again.getAnalyze());
    EXPECT_FALSE (again.getFirstLaunch());
}

TEST_F (TavPreferencesTest, StoredValuesReadBackAsUsableValues)
{
    struct Case
    {
        const char* channels;
        const char* bits;
        int expectedChannels;
        int expectedBits;
    };

    const Case cases[] = {
        { "2", "32", 2, 32 },    { "1", "24", 1, 24 },
        { "abc", "abc", 1, 16 }, { "0", "0", 1, 16 },
        { "3", "20", 1, 16 },    { "-2", "-16", 1, 16 },
        { "", "", 1, 16 },       { "2.5", "24.0", 1, 16 },
        { " 2 ", " 24", 2, 24 }, { "99999999999", "1e3", 1, 16 },
    };

    for (const auto& c : cases)
    {
        writeFile (juce::String ("<PROPERTIES><VALUE name=\"Record Channels\" val=\"") + c.channels
                   + "\"/><VALUE name=\"Record Bits\" val=\"" + c.bits + "\"/></PROPERTIES>");

        TavPreferences prefs (folder);
        EXPECT_EQ (prefs.getRecordChannels(), c.expectedChannels) << "channels \"" << c.channels << "\"";
        EXPECT_EQ (prefs.getRecordBits(), c.expectedBits) << "bits \"" << c.bits << "\"";
    }
}

TEST_F (TavPreferencesTest, FlagsReadAsNonZeroIntegersAndDefaultToTrue)
{
    writeFile ("<PROPERTIES><VALUE name=\"Help Tips\" val=\"0\"/><VALUE name=\"Analyze\" val=\"7\"/>"
               "<VALUE name=\"First Launch\" val=\"no\"/></PROPERTIES>");
    {
        TavPreferences prefs (folder);
        EXPECT_FALSE (prefs.getHelpTips());
        EXPECT_TRUE (prefs.getAnalyze());
        EXPECT_FALSE (prefs.getFirstLaunch());
    }

    writeFile ("<PROPERTIES><VALUE name=\"Analyze\" val=\"0\"/></PROPERTIES>");
    TavPreferences prefs (folder);
    EXPECT_TRUE (prefs.getHelpTips());
    EXPECT_FALSE (prefs.getAnalyze());
    EXPECT_TRUE (prefs.getFirstLaunch());
}

TEST_F (TavPreferencesTest, UnreadableFileBehavesAsEmpty)
{
    for (auto* content : { "", "not xml at all", "<OTHER><VALUE name=\"Record Bits\" val=\"24\"/></OTHER>",
                           "<PROPERTIES><VALUE name=\"Record Bits\" val=\"24\"" })
    {
        writeFile (content);
        TavPreferences prefs (folder);
        EXPECT_EQ (prefs.getRecordBits(), 16) << content;
        EXPECT_TRUE (prefs.getHelpTips()) << content;
        EXPECT_EQ (prefs.getAudioConfiguration(), nullptr) << content;
    }
}

TEST_F (TavPreferencesTest, AudioConfigurationIsKeptAsAnElement)
{
    writeFile ("<PROPERTIES><VALUE name=\"Audio Configuration\"><DEVICESETUP deviceType=\"ALSA\" "
               "audioOutputDeviceName=\"out\" audioDeviceRate=\"48000.0\"/></VALUE></PROPERTIES>");
    {
        TavPreferences prefs (folder);
        auto state = prefs.getAudioConfiguration();
        ASSERT_NE (state, nullptr);
        EXPECT_TRUE (state->hasTagName ("DEVICESETUP"));
        EXPECT_EQ (state->getStringAttribute ("audioOutputDeviceName"), "out");

        // A device manager that was never set up has no state to give: the stored one stays.
        juce::AudioDeviceManager unopened;
        prefs.setAudioConfiguration (unopened);
        ASSERT_NE (prefs.getAudioConfiguration(), nullptr);
        EXPECT_EQ (prefs.getAudioConfiguration()->getStringAttribute ("audioDeviceRate"), "48000.0");

        // Caller owns each element it is given.
        EXPECT_NE (prefs.getAudioConfiguration().get(), state.get());
    }

    writeFile ("<PROPERTIES><VALUE name=\"Audio Configuration\" val=\"plain text\"/></PROPERTIES>");
    TavPreferences prefs (folder);
    EXPECT_EQ (prefs.getAudioConfiguration(), nullptr);
}

TEST (TavPreferencesFolder, FollowsXdgConfigHome)
{
    auto* previous = std::getenv ("XDG_CONFIG_HOME");
    const std::string saved = previous != nullptr ? previous : "";

    setenv ("XDG_CONFIG_HOME", "/tmp/tavlin-config-test", 1);
    EXPECT_EQ (TavPreferences::getDefaultFolder(), juce::File ("/tmp/tavlin-config-test"));

    setenv ("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ (TavPreferences::getDefaultFolder(), juce::File ("~/.config"));

    unsetenv ("XDG_CONFIG_HOME");
    EXPECT_EQ (TavPreferences::getDefaultFolder(), juce::File ("~/.config"));

    if (previous != nullptr)
        setenv ("XDG_CONFIG_HOME", saved.c_str(), 1);
}

} // namespace
