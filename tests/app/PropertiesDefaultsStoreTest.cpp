#include "desktop/PropertiesDefaultsStore.h"

#include <gtest/gtest.h>

TEST (PropertiesDefaultsStore, KeepsDatesTextsAndIntegersAcrossInstances)
{
    const juce::TemporaryFile folderFile;
    const auto file = folderFile.getFile().getChildFile ("config").getChildFile ("Tavlin Defaults.xml");
    const auto when = juce::Time (2024, 4, 1, 9, 30, 15, 123, false);

    {
        tavlin::desktop::PropertiesDefaultsStore store (file);
        EXPECT_FALSE (store.getDate ("date").has_value());
        EXPECT_EQ (store.getString ("text"), "");
        EXPECT_EQ (store.getInteger ("number"), 0);

        store.setDate ("date", when);
        store.setDate ("gone", when);
        store.setDate ("gone", std::nullopt);
        store.setString ("text", "5.0.0");
        store.setString ("empty", "x");
        store.setString ("empty", "");
        store.setInteger ("number", 1234567890123);
        store.setInteger ("removed", 7);
        store.remove ("removed");
        store.synchronise();
    }

    ASSERT_TRUE (file.existsAsFile());
    tavlin::desktop::PropertiesDefaultsStore store (file);
    EXPECT_EQ (store.getDate ("date"), std::optional<juce::Time> (when)) << "to the millisecond";
    EXPECT_FALSE (store.getDate ("gone").has_value());
    EXPECT_EQ (store.getString ("text"), "5.0.0");
    EXPECT_EQ (store.getString ("empty"), "");
    EXPECT_EQ (store.getInteger ("number"), 1234567890123);
    EXPECT_EQ (store.getInteger ("removed"), 0);
    EXPECT_FALSE (store.getDate ("text").has_value()) << "text that is no date reads as none";

    folderFile.getFile().getChildFile ("config").deleteRecursively();
}
