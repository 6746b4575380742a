#include "ProcessorTestSupport.h"

#include "StateBlob.h"
#include "ZBuffer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
using P = TavAudioProcessor;
using namespace processor_test;

class StateTest : public ::testing::Test
{
protected:
    static juce::MemoryBlock stateOf (P& p)
    {
        juce::MemoryBlock block (65536, true);
        p.getStateInformation (block);
        return block;
    }

    static juce::String textOf (const juce::MemoryBlock& block)
    {
        return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) block.getSize() - 9);
    }

    static juce::MemoryBlock blobOf (const juce::String& text)
    {
        juce::MemoryOutputStream out;
        out.writeInt ((int) StateBlob::magic);
        out.writeInt ((int) text.getNumBytesAsUTF8());
        out << text;
        out.writeByte (0);
        return out.getMemoryBlock();
    }

    /** Learns real profiles from noise coloured differently on each channel. */
    static void learnProfiles (P& p) { processor_test::learnProfiles (p, 21, 44100); }

    juce::ScopedJuceInitialiser_GUI juce;
};

TEST_F (StateTest, FreshStateMatchesTheGoldenPrefix)
{
    P p;
    const auto block = stateOf (p);
    const auto* bytes = static_cast<const uint8_t*> (block.getData());

    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    EXPECT_EQ ((size_t) juce::ByteOrder::littleEndianInt (bytes + 4) + 9, block.getSize());
    EXPECT_EQ (bytes[block.getSize() - 1], 0);

    const juce::String golden =
        "<NoiseProfile clickcrackleParam=\"0\" enhanceParam=\"0\" thresholdParam=\"0.57499998807907104492\" "
        "reductionParam=\"0.5\" preserveVoiceParam=\"0\" removeRumbleParam=\"0\" humModeParam=\"1\" modeParam=\"0\" "
        "boostParam=\"-0\" declipParam=\"0\" trackParam=\"0\" bypassParam=\"0\">"
        "<buffer name=\"NoiseProfile0\" length=\"513\" samplerate=\"";

    const auto text = textOf (block);
    EXPECT_TRUE (text.startsWith (golden)) << text.substring (0, 600);
    EXPECT_TRUE (text.endsWith ("</buffer></NoiseProfile>"));
    EXPECT_FALSE (text.containsChar ('\n'));
    EXPECT_EQ (text.indexOf ("<buffer name=\"NoiseProfile1\""), text.lastIndexOf ("<buffer "));
}

TEST_F (StateTest, SaveRestoreSaveIsBitIdenticalWithLearnedProfiles)
{
    P source;
    learnProfiles (source);

    setDistinctPresetParameters (source);

    const auto saved = stateOf (source);
    const auto* learned = source.getNoiseReductionBay().getChannelNoiseProfile (1)->getData();
    ASSERT_NE (learned[10], -48.0f) << "the profiles were not learned";

    P target;
    target.setParameter (P::bypassParameter, 1.0f);
    ASSERT_TRUE (target.restoreState (saved.getData(), (int) saved.getSize()));

    for (int i = 0; i < 11; ++i)
        EXPECT_EQ (target.getParameter (i), source.getParameter (i)) << source.getParameterName (i);

    EXPECT_TRUE (target.isBypassed()) << "bypass is not restored";

    for (int c = 0; c < 2; ++c)
    {
        auto* a = source.getNoiseReductionBay().getChannelNoiseProfile (c);
        auto* b = target.getNoiseReductionBay().getChannelNoiseProfile (c);
        ASSERT_EQ (a->getLength(), b->getLength());
        EXPECT_EQ (std::memcmp (a->getData(), b->getData(), sizeof (float) * (size_t) a->getLength()), 0);
    }

    target.setParameter (P::bypassParameter, 0.0f);
    EXPECT_EQ (stateOf (target), saved);
}

TEST_F (StateTest, MissingAttributesCountAsZeroAndNoChildrenKeepTheProfiles)
{
    P p;
    learnProfiles (p);
    const auto before = juce::MemoryBlock (p.getNoiseReductionBay().getChannelNoiseProfile (0)->getData(), 513 * 4);

    const auto blob = blobOf ("<NoiseProfile modeParam=\"0.5\" reductionParam=\"0.2\"/>");
    ASSERT_TRUE (p.restoreState (blob.getData(), (int) blob.getSize()));

    EXPECT_EQ (p.getParameter (P::humRemoval), 0.0f) << "no humModeParam: hum removal at 50 Hz";
    EXPECT_EQ (p.getParameter (P::noiseReductionMode), 0.5f);
    EXPECT_FLOAT_EQ (p.getParameter (P::amountBroadbandNR), 0.2f);
    EXPECT_EQ (p.getParameter (P::tunerBroadbandNR), 0.0f);
    EXPECT_EQ (p.getNoiseReductionBay().getTuner(), -20.0f);
    EXPECT_EQ (juce::MemoryBlock (p.getNoiseReductionBay().getChannelNoiseProfile (0)->getData(), 513 * 4), before);
}

TEST_F (StateTest, UnreadableBlobsLeaveTheProcessorAsItWas)
{
    P p;
    learnProfiles (p);
    p.setParameter (P::enhance, 0.4f);
    p.setParameter (P::bypassParameter, 1.0f);
    const auto good = stateOf (p);

    auto patched = [&good] (size_t at, uint8_t value)
    {
        auto b = good;
        static_cast<uint8_t*> (b.getData())[at] = value;
        return b;
    };

    struct Case
    {
        const char* what;
        juce::MemoryBlock block;
    };

    const Case cases[] = {
        { "8 bytes", juce::MemoryBlock (good.getData(), 8) },
        { "truncated", juce::MemoryBlock (good.getData(), good.getSize() / 2) },
        { "truncated by one", juce::MemoryBlock (good.getData(), good.getSize() - 2) },
        { "wrong magic", patched (0, 'W') },
        { "length 0",
          [&]
          {
              auto b = good;
              std::memset (static_cast<char*> (b.getData()) + 4, 0, 4);
              return b;
          }() },
        { "length that cuts the text", patched (4, (uint8_t) (static_cast<const uint8_t*> (good.getData())[4] - 1)) },
        { "not xml", blobOf ("just some text") },
        { "a declaration ahead", blobOf ("<?xml version=\"1.0\"?>" + textOf (good)) },
    };

    for (const auto& c : cases)
    {
        EXPECT_FALSE (p.restoreState (c.block.getData(), (int) c.block.getSize())) << c.what;
        p.setStateInformation (c.block.getData(), (int) c.block.getSize());
        EXPECT_EQ (stateOf (p), good) << c.what;
    }

    EXPECT_FALSE (p.restoreState (nullptr, 100));
    EXPECT_FALSE (p.restoreState (good.getData(), 0));
    EXPECT_TRUE (p.restoreState (good.getData(), (int) good.getSize()));
    EXPECT_EQ (stateOf (p), good);
}

TEST_F (StateTest, ReadableBlobsLoadWhatTheyHold)
{
    // Parameters 0 to 10 are read from any readable blob, an unreadable value counting as 0; the profiles
    // come along when the first two children read whole at the profile length, else the current ones stay.
    P source;
    learnProfiles (source);
    setDistinctPresetParameters (source);

    const auto good = stateOf (source);
    const auto text = textOf (good);

    auto withText = [&text] (const char* from, const char* to) { return blobOf (text.replace (from, to)); };
    auto withAttribute = [&good] (const char* name, const char* value)
    {
        auto element = StateBlob::read (good.getData(), good.getSize());
        element->setAttribute (name, value);
        return blobOf (StateBlob::toText (*element));
    };

    auto lengthPastTheEnd = good;
    static_cast<uint8_t*> (lengthPastTheEnd.getData())[7] = 0x7f;

    // A profile with one value missing, and one with a NaN (0x7fc00000) in place of bin 0.
    const auto firstData = text.indexOf ("values=\"") + 8;
    const auto nanProfile = text.substring (0, firstData) + "7fc00000" + text.substring (firstData + 8);
    const auto secondProfile = text.indexOf ("<buffer name=\"NoiseProfile1\"");

    struct Case
    {
        const char* what;
        juce::MemoryBlock block;
        int changedIndex; // the parameter read as another value than the source's, or -1
        float changedValue;
        bool profilesRestored;
    };

    const Case cases[] = {
        { "whole", good, -1, 0.0f, true },
        { "length field past the end", lengthPastTheEnd, -1, 0.0f, true },
        { "renamed root", blobOf (text.replace ("<NoiseProfile ", "<Preset ").replace ("</NoiseProfile>", "</Preset>")),
          -1, 0.0f, true },
        { "renamed children", withText ("buffer", "track"), -1, 0.0f, true },
        { "pretty-printed", withText ("><", ">\n  <"), -1, 0.0f, true },
        { "NaN value", withAttribute ("enhanceParam", "nan"), P::enhance, 0.0f, true },
        { "infinite value", withAttribute ("reductionParam", "inf"), P::amountBroadbandNR, 0.0f, true },
        { "beyond the float range", withAttribute ("reductionParam", "1e300"), P::amountBroadbandNR, 0.0f, true },
        { "huge exponent", withAttribute ("reductionParam", "1E9999999999"), P::amountBroadbandNR, 0.0f, true },
        { "empty value", withAttribute ("modeParam", ""), P::noiseReductionMode, 0.0f, true },
        { "text value", withAttribute ("reductionParam", "half"), P::amountBroadbandNR, 0.0f, true },
        { "number with a tail", withAttribute ("modeParam", "1.0x"), P::noiseReductionMode, 1.0f, true },
        { "missing value", withText (" declipParam=\"1\"", ""), P::declipper, 0.0f, true },
        { "NaN in a profile", blobOf (nanProfile), -1, 0.0f, true },
        { "short profile", withText ("length=\"513\"", "length=\"512\""), -1, 0.0f, false },
        { "profile without data", withText ("<data values=", "<other values="), -1, 0.0f, false },
        { "one child", blobOf (text.substring (0, secondProfile) + "</NoiseProfile>"), -1, 0.0f, false },
    };

    // What a parameter reads back after being set to a value.
    P reference;
    auto readBack = [&reference] (int index, float value)
    {
        reference.setParameter (index, value);
        return reference.getParameter (index);
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        P p;
        p.setParameter (P::bypassParameter, 1.0f);
        ASSERT_TRUE (p.restoreState (c.block.getData(), (int) c.block.getSize()));

        for (int i = 0; i < 11; ++i)
        {
            const auto expected = i == c.changedIndex ? c.changedValue : source.getParameter (i);
            EXPECT_EQ (p.getParameter (i), readBack (i, expected)) << source.getParameterName (i);
        }

        EXPECT_TRUE (p.isBypassed());

        for (int ch = 0; ch < 2; ++ch)
        {
            const auto* restored = p.getNoiseReductionBay().getChannelNoiseProfile (ch)->getData();
            const auto* learned = source.getNoiseReductionBay().getChannelNoiseProfile (ch)->getData();

            for (int k = 0; k < 513; ++k)
            {
                auto expected = c.profilesRestored ? learned[k] : -48.0f;

                // A NaN bin is installed at the empty profile's level.
                if (juce::String (c.what) == "NaN in a profile" && ch == 0 && k == 0)
                    expected = -48.0f;

                ASSERT_EQ (restored[k], expected) << "channel " << ch << ", bin " << k;
            }
        }
    }
}

} // namespace
