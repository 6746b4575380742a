// Preset files through the framework's document operations, as the preset commands use them: a saved
// preset is exactly one state blob and loads back bit for bit; files that are too large, unreadable or not
// a state blob change nothing and say why; a failed save leaves no file behind.

#include "ProcessorTestSupport.h"

#include "StateBlob.h"
#include "StateBlobRepros.h"
#include "TavlinSettingsDocument.h"
#include "ZBuffer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
using P = TavAudioProcessor;
using namespace processor_test;

constexpr int numPresetParameters = 11; // parameters 0 to 10 travel in a preset

juce::MemoryBlock stateOf (P& p)
{
    juce::MemoryBlock block (65536, true);
    p.getStateInformation (block);
    return block;
}

std::vector<float> profileOf (P& p, int channel)
{
    auto* profile = p.getNoiseReductionBay().getChannelNoiseProfile (channel);
    return { profile->getData(), profile->getData() + profile->getLength() };
}

/** Everything a preset may change: parameters 0 to 10 and both noise profiles. */
struct Snapshot
{
    explicit Snapshot (P& p)
    {
        for (int i = 0; i < numPresetParameters; ++i)
            parameters.push_back (p.getParameter (i));

        profiles[0] = profileOf (p, 0);
        profiles[1] = profileOf (p, 1);
    }

    bool operator== (const Snapshot& other) const
    {
        return std::memcmp (parameters.data(), other.parameters.data(), sizeof (float) * parameters.size()) == 0
               && profiles[0] == other.profiles[0] && profiles[1] == other.profiles[1];
    }

    std::vector<float> parameters;
    std::vector<float> profiles[2];
};

class TavlinSettingsDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile ("presets");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    static juce::Result load (P& p, const juce::File& file)
    {
        TavlinSettingsDocument document (p);
        return document.loadFrom (file, false, false);
    }

    static juce::FileBasedDocument::SaveResult save (P& p, const juce::File& file)
    {
        TavlinSettingsDocument document (p);
        return document.saveAs (file, false, false, false, false);
    }

    /** A processor whose settings differ from the defaults everywhere a preset reaches. */
    static void makeDistinct (P& p)
    {
        learnProfiles (p, 7, 22050);
        setDistinctPresetParameters (p);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder;
};

TEST_F (TavlinSettingsDocumentTest, SavedPresetIsOneStateBlobAndLoadsBackBitForBit)
{
    P source;
    makeDistinct (source);
    ASSERT_NE (profileOf (source, 1)[10], -48.0f) << "the profiles were not learned";

    auto file = folder.getChildFile ("warm voice.tvp");
    ASSERT_EQ (save (source, file), juce::FileBasedDocument::savedOk);

    juce::MemoryBlock written;
    ASSERT_TRUE (file.loadFileAsData (written));
    EXPECT_EQ (written, stateOf (source)) << "the file is exactly the processor's state blob";
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1)
        << "nothing is left beside the preset";

    P target;
    ASSERT_FALSE (Snapshot (target) == Snapshot (source));
    ASSERT_TRUE (load (target, file).wasOk());
    EXPECT_TRUE (Snapshot (target) == Snapshot (source));

    // Saving over an existing preset replaces all of it.
    P fresh;
    ASSERT_EQ (save (fresh, file), juce::FileBasedDocument::savedOk);
    juce::MemoryBlock rewritten;
    ASSERT_TRUE (file.loadFileAsData (rewritten));
    EXPECT_EQ (rewritten, stateOf (fresh));
}

TEST_F (TavlinSettingsDocumentTest, BypassTravelsWithNeitherSaveNorLoad)
{
    struct Case
    {
        bool bypassWhenSaving, bypassWhenLoading;
    };

    for (auto c : { Case { true, false }, Case { false, true } })
    {
        P source, target;
        source.setParameter (P::bypassParameter, c.bypassWhenSaving ? 1.0f : 0.0f);
        target.setParameter (P::bypassParameter, c.bypassWhenLoading ? 1.0f : 0.0f);

        auto file = folder.getChildFile ("bypass.tvp");
        ASSERT_EQ (save (source, file), juce::FileBasedDocument::savedOk);
        ASSERT_TRUE (load (target, file).wasOk());
        EXPECT_EQ (target.isBypassed(), c.bypassWhenLoading);
    }
}

TEST_F (TavlinSettingsDocumentTest, FilesUpTo65535BytesLoadAndLargerOnesAreRefused)
{
    // A real state blob whose text is padded with trailing blanks to the wanted file size.
    P source;
    makeDistinct (source);
    auto root = StateBlob::read (stateOf (source).getData(), stateOf (source).getSize());
    ASSERT_NE (root, nullptr);
    const auto text = StateBlob::toText (*root);

    for (juce::int64 size : { (juce::int64) 65534, (juce::int64) 65535, (juce::int64) 65536, (juce::int64) 200000 })
    {
        SCOPED_TRACE (size);
        const auto padding = (int) size - 9 - (int) text.getNumBytesAsUTF8();
        auto padded = text + juce::String::repeatedString (" ", padding);

        juce::MemoryOutputStream out;
        out.writeInt ((int) StateBlob::magic);
        out.writeInt ((int) padded.getNumBytesAsUTF8());
        out << padded;
        out.writeByte (0);
        ASSERT_EQ ((juce::int64) out.getDataSize(), size);

        auto file = folder.getChildFile ("padded.tvp");
        ASSERT_TRUE (file.replaceWithData (out.getData(), out.getDataSize()));

        P target;
        const Snapshot before (target);
        auto result = load (target, file);

        if (size <= TavlinSettingsDocument::maxPresetBytes)
        {
            EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
            EXPECT_TRUE (Snapshot (target) == Snapshot (source));
        }
        else
        {
            EXPECT_TRUE (result.failed());
            EXPECT_TRUE (result.getErrorMessage().contains ("too large")) << result.getErrorMessage();
            EXPECT_TRUE (Snapshot (target) == before);
        }
    }
}

TEST_F (TavlinSettingsDocumentTest, BadPresetFilesChangeNothingAndSayWhy)
{
    P source;
    makeDistinct (source);
    const auto good = stateOf (source);
    const auto* goodBytes = static_cast<const char*> (good.getData());

    auto withMagic = [] (const char* magic, const juce::MemoryBlock& blob)
    {
        juce::MemoryBlock b (blob);
        std::memcpy (b.getData(), magic, 4);
        return b;
    };

    auto withLength = [] (uint32_t length, const juce::MemoryBlock& blob)
    {
        juce::MemoryBlock b (blob);
        auto* bytes = static_cast<uint8_t*> (b.getData());
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = (uint8_t) (length >> (8 * i));
        return b;
    };

    juce::MemoryBlock noise (4000);
    std::mt19937 rng (3);
    for (size_t i = 0; i < noise.getSize(); ++i)
        noise[i] = (char) (rng() & 0xff);

    const juce::String xmlOnly = "<NoiseProfile clickcrackleParam=\"1\"/>";

    struct Case
    {
        const char* name;
        juce::MemoryBlock content;
        const char* expectedText;
    };

    const std::vector<Case> cases = {
        { "empty", {}, "Tavlin settings" },
        { "eight header bytes", juce::MemoryBlock (goodBytes, 8), "Tavlin settings" },
        { "cut in the middle", juce::MemoryBlock (goodBytes, good.getSize() / 2), "Tavlin settings" },
        { "wrong magic", withMagic ("VC3!", good), "Tavlin settings" },
        { "length field 0", withLength (0, good), "Tavlin settings" },
        { "random bytes", noise, "Tavlin settings" },
        { "plain XML", juce::MemoryBlock (xmlOnly.toRawUTF8(), xmlOnly.getNumBytesAsUTF8()), "Tavlin settings" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto file = folder.getChildFile ("bad.tvp");
        ASSERT_TRUE (file.deleteFile() && file.create().wasOk()); // an empty one stays on disk too
        ASSERT_TRUE (c.content.isEmpty() || file.replaceWithData (c.content.getData(), c.content.getSize()));

        P target;
        const Snapshot before (target);
        auto result = load (target, file);
        EXPECT_TRUE (result.failed());
        EXPECT_TRUE (result.getErrorMessage().contains (c.expectedText)) << result.getErrorMessage();
        EXPECT_TRUE (Snapshot (target) == before);
    }

    // Neither a missing file nor a folder is read.
    for (const auto& file : { folder.getChildFile ("missing.tvp"), folder })
    {
        P target;
        const Snapshot before (target);
        TavlinSettingsDocument document (target);
        EXPECT_TRUE (document.loadFrom (file, false, false).failed());
        EXPECT_TRUE (document.loadDocument (file).failed());
        EXPECT_TRUE (Snapshot (target) == before);
    }
}

TEST_F (TavlinSettingsDocumentTest, PresetsThatFrozeOrCrashedTheReaderAreRefusedAndLenientOnesLoad)
{
    const auto seeds = tavlin::test::stateBlobSeedsFolder();

    for (const auto& c : tavlin::test::stateBlobRepros)
    {
        SCOPED_TRACE (c.file);
        P target;
        makeDistinct (target);
        const Snapshot before (target);

        const auto result = load (target, seeds.getChildFile (c.file));
        EXPECT_EQ (result.wasOk(), c.readable) << result.getErrorMessage();

        if (!c.readable)
        {
            EXPECT_TRUE (Snapshot (target) == before);
            continue;
        }

        // Each loadable seed holds the fresh settings but for a value that counts as 0: the profiles are
        // the empty ones and the tuner is back at its default.
        P fresh;
        EXPECT_TRUE (Snapshot (target).profiles[0] == profileOf (fresh, 0));
        EXPECT_EQ (target.getParameter (P::tunerBroadbandNR), fresh.getParameter (P::tunerBroadbandNR));
        EXPECT_EQ (target.getParameter (P::enhance), 0.0f);
        const juce::String file (c.file);
        const auto reductionCountsAsZero = file.startsWith ("non-finite") || file.startsWith ("empty");
        EXPECT_EQ (target.getParameter (P::amountBroadbandNR), reductionCountsAsZero ? 0.0f : 0.5f);
    }

    // The plain seed is exactly what a fresh processor saves.
    P fresh;
    juce::MemoryBlock seed;
    ASSERT_TRUE (seeds.getChildFile ("default.tvp").loadFileAsData (seed));
    EXPECT_EQ (seed, stateOf (fresh));
}

TEST_F (TavlinSettingsDocumentTest, FailedSaveSaysWhyAndLeavesNoFile)
{
    P p;
    auto blocker = folder.getChildFile ("not a folder");
    ASSERT_TRUE (blocker.replaceWithText ("x"));

    struct Case
    {
        const char* name;
        juce::File target;
    };

    const Case cases[] = {
        { "parent is a file", blocker.getChildFile ("preset.tvp") },
        { "parent is missing", folder.getChildFile ("gone").getChildFile ("preset.tvp") },
        { "target is a folder", folder.getChildFile ("taken.tvp") },
    };
    ASSERT_TRUE (cases[2].target.createDirectory());

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TavlinSettingsDocument document (p);
        EXPECT_TRUE (document.saveDocument (c.target).failed());
        EXPECT_NE (document.saveAs (c.target, false, false, false, false), juce::FileBasedDocument::savedOk);
        EXPECT_FALSE (c.target.existsAsFile());
        EXPECT_EQ (document.getFile(), juce::File()) << "the framework keeps the previous document file";
    }

    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 1) << "no temporary file is left behind";
}

TEST_F (TavlinSettingsDocumentTest, TitleAndNoRememberedFolder)
{
    P p;
    TavlinSettingsDocument document (p);
    EXPECT_EQ (document.getDocumentTitle(), juce::String());
    document.setLastDocumentOpened (folder.getChildFile ("a.tvp"));
    EXPECT_EQ (document.getLastDocumentOpened(), juce::File());

    auto file = folder.getChildFile ("a.tvp");
    ASSERT_EQ (document.saveAs (file, false, false, false, false), juce::FileBasedDocument::savedOk);
    EXPECT_EQ (document.getDocumentTitle(), "a.tvp");
}
} // namespace
