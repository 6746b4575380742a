// The preset files that froze, exhausted or over-read the previous reader, and the lenient ones it
// refused, read as the processor reads them. They are also the fuzz target's seed corpus.

#include "StateBlobRepros.h"
#include "StateBlob.h"
#include "ZBuffer.h"
#include "ZNumberText.h"

#include <gtest/gtest.h>

#include <set>

namespace
{

using tavlin::test::stateBlobRepros;
using tavlin::test::stateBlobSeedsFolder;

TEST (StateBlobRepros, EveryReproIsReadOrRefusedAsItShouldBe)
{
    juce::MessageManager::getInstance();

    for (const auto& repro : stateBlobRepros)
    {
        SCOPED_TRACE (repro.file);
        juce::MemoryBlock data;
        ASSERT_TRUE (stateBlobSeedsFolder().getChildFile (repro.file).loadFileAsData (data));

        auto root = StateBlob::read (data.getData(), data.getSize());
        ASSERT_EQ (root != nullptr, repro.readable);

        if (root == nullptr)
            continue;

        // What the processor reads: the parameters as numbers (0 when unreadable), both profiles whole.
        for (int i = 0; i < root->getNumAttributes(); ++i)
        {
            const auto value = vesk::readFiniteFloat (root->getAttributeValue (i)).value_or (0.0f);
            EXPECT_TRUE (value >= -1.0f && value <= 1.0f) << root->getAttributeName (i);
        }

        ASSERT_EQ (root->getNumChildElements(), 2);

        for (int c = 0; c < 2; ++c)
        {
            vesk::ZBuffer profile (513, "p");
            ASSERT_TRUE (profile.restoreFromXml (*root->getChildElement (c)));
            EXPECT_EQ (profile.getSampleRate(), 0.0f);
            EXPECT_EQ (profile.getData()[512], -48.0f);
        }
    }

    juce::MessageManager::deleteInstance();
}

TEST (StateBlobRepros, EverySeedHasAnExpectation)
{
    std::set<juce::String> listed;
    for (const auto& repro : stateBlobRepros)
        listed.insert (repro.file);

    const auto files = stateBlobSeedsFolder().findChildFiles (juce::File::findFiles, false);
    ASSERT_FALSE (files.isEmpty());

    for (const auto& file : files)
        EXPECT_EQ (listed.count (file.getFileName()), 1u) << file.getFileName();

    EXPECT_EQ ((size_t) files.size(), listed.size());
}

} // namespace
