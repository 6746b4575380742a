#include "InstanceForwarder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{
class InstanceForwarderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile ("runtime");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    // Runs the message loop until count command lines came in (or a generous limit passed).
    void pumpUntil (const juce::StringArray& received, int count)
    {
        for (int i = 0; i < 500 && received.size() < count; ++i)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder;
};
} // namespace

TEST_F (InstanceForwarderTest, SecondLaunchHandsItsCommandLineToTheFirst)
{
    juce::StringArray received;
    InstanceForwarder first (folder,
                             [&] (const juce::String& line)
                             {
                                 EXPECT_TRUE (juce::MessageManager::getInstance()->isThisTheMessageThread());
                                 received.add (line);
                             });
    ASSERT_TRUE (first.claim());
    EXPECT_TRUE (first.isFirstInstance());

    InstanceForwarder second (folder, nullptr);
    EXPECT_FALSE (second.claim()) << "the lock is taken";
    EXPECT_FALSE (second.isFirstInstance());

    EXPECT_TRUE (InstanceForwarder::send (folder, "\"/media/my clip.mov\"", 2000));
    EXPECT_TRUE (InstanceForwarder::send (folder, "", 2000));
    EXPECT_TRUE (InstanceForwarder::send (folder, juce::String::fromUTF8 ("/m\xc3\xbasica/canci\xc3\xb3n.wav"), 2000));
    pumpUntil (received, 3);

    juce::StringArray expected;
    expected.add ("\"/media/my clip.mov\"");
    expected.add ("");
    expected.add (juce::String::fromUTF8 ("/m\xc3\xbasica/canci\xc3\xb3n.wav"));
    EXPECT_EQ (received, expected);
}

TEST_F (InstanceForwarderTest, NothingListeningMeansNotDelivered)
{
    EXPECT_FALSE (InstanceForwarder::send (folder, "/x.mov", 200));

    // Pipes left behind by a crashed instance: still not delivered, and a new first instance takes them over.
    for (auto name : { "tavlin.instance_in", "tavlin.instance_out" })
        ASSERT_EQ (mkfifo (folder.getChildFile (name).getFullPathName().toRawUTF8(), 0600), 0);

    EXPECT_FALSE (InstanceForwarder::send (folder, "/x.mov", 200));

    juce::StringArray received;
    InstanceForwarder first (folder, [&] (const juce::String& line) { received.add (line); });
    ASSERT_TRUE (first.claim());
    EXPECT_TRUE (InstanceForwarder::send (folder, "/y.mov", 2000));
    pumpUntil (received, 1);
    EXPECT_EQ (received, juce::StringArray ({ "/y.mov" }));
}

TEST_F (InstanceForwarderTest, LockGoesWithTheInstance)
{
    {
        InstanceForwarder first (folder, nullptr);
        ASSERT_TRUE (first.claim());
        EXPECT_TRUE (first.claim()) << "claiming twice keeps it";
    }

    InstanceForwarder next (folder, nullptr);
    EXPECT_TRUE (next.claim());
}
