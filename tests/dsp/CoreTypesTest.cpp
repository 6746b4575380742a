#include "ProcessorType.h"
#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"
#include "ZNumberText.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

using namespace vesk;

namespace
{
uint32_t bitsOf (float x)
{
    uint32_t bits;
    std::memcpy (&bits, &x, sizeof (bits));
    return bits;
}

float floatFromBits (uint32_t bits)
{
    float x;
    std::memcpy (&x, &bits, sizeof (x));
    return x;
}

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    return juce::parseXML (text);
}
} // namespace

TEST (ZBufferTest, LengthIsRoundedUpForStorageAndZeroed)
{
    ZBuffer five (5, "x");
    EXPECT_EQ (five.getLength(), 5);
    EXPECT_EQ (five.getAllocatedLength(), 8);

    for (int i = 0; i < 8; ++i)
        EXPECT_EQ (bitsOf (five.getData()[i]), 0u);

    ZBuffer eight (8, "x");
    EXPECT_EQ (eight.getAllocatedLength(), 8);
}

TEST (ZBufferTest, ImproperLengthsAreRefused)
{
    for (int length : { 0, -1, -4, std::numeric_limits<int>::max(), std::numeric_limits<int>::max() - 2 })
    {
        try
        {
            ZBuffer buffer (length, "x");
            FAIL() << "length " << length << " was accepted";
        }
        catch (const vesk_juce::vj_dsp_exception& e)
        {
            EXPECT_EQ (e.getMessage(), "Error Trying to create a buffer of improper size.");
        }
    }
}

TEST (ZBufferTest, RefusedSetLengthLeavesTheBufferAsItWas)
{
    ZBuffer buffer (6, "keep");
    buffer.getData()[5] = 3.5f;
    auto* storage = buffer.getData();

    for (int length : { 0, -7, std::numeric_limits<int>::max() })
    {
        EXPECT_THROW (buffer.setLength (length), vesk_juce::vj_dsp_exception);
        EXPECT_EQ (buffer.getLength(), 6);
        EXPECT_EQ (buffer.getAllocatedLength(), 8);
        EXPECT_EQ (buffer.getData(), storage);
        EXPECT_EQ (buffer.getData()[5], 3.5f);
    }

    buffer.setLength (13);
    EXPECT_EQ (buffer.getLength(), 13);
    EXPECT_EQ (buffer.getAllocatedLength(), 16);
}

TEST (ZBufferTest, RangeOperationsAndPeak)
{
    ZBuffer a (512, "a"), b (1024, "b");

    for (int i = 0; i < 1024; ++i)
        b.getData()[i] = (float) i + 1.0f;

    a.copyFrom (b);
    EXPECT_EQ (a.getData()[511], 512.0f);

    b.clear();
    b.copyFrom (a);
    EXPECT_EQ (b.getData()[511], 512.0f);
    EXPECT_EQ (b.getData()[512], 0.0f);

    b.clearRange ({ 10, 20 });
    EXPECT_EQ (b.getData()[9], 10.0f);
    EXPECT_EQ (b.getData()[10], 0.0f);
    EXPECT_EQ (b.getData()[19], 0.0f);
    EXPECT_EQ (b.getData()[20], 21.0f);

    a.copyRangeFrom (b, { 20, 23 }, 100);
    EXPECT_EQ (a.getData()[100], 21.0f);
    EXPECT_EQ (a.getData()[102], 23.0f);
    EXPECT_EQ (a.getData()[103], 104.0f);

    ZBuffer peak (2, "p");
    peak.getData()[0] = -0.75f;
    peak.getData()[1] = 0.5f;
    EXPECT_EQ (peak.getPeak(), 0.75f);
    peak.clear();
    EXPECT_EQ (peak.getPeak(), 0.0f);
}

TEST (ZBufferTest, XmlFormMatchesTheFixedLayout)
{
    ZBuffer buffer (2, "NoiseProfile0");
    buffer.getData()[0] = 1.0f;
    buffer.getData()[1] = -0.5f;

    auto xml = buffer.createXml();
    EXPECT_EQ (
        xml->toString (juce::XmlElement::TextFormat().withoutHeader().singleLine()),
        "<buffer name=\"NoiseProfile0\" length=\"2\" samplerate=\"0\"><data values=\"3f800000bf000000\"/></buffer>");
}

TEST (ZBufferTest, XmlRoundTripIsBitExact)
{
    const uint32_t patterns[] = { 0x7fc00001u, 0xffa00123u, 0x80000000u, 0x00000001u, 0x7f800000u,
                                  0xff800000u, 0x3f800000u, 0x00000000u, 0x807fffffu };
    const int count = (int) std::size (patterns);

    ZBuffer source (count, "NoiseProfile1");
    for (int i = 0; i < count; ++i)
        source.getData()[i] = floatFromBits (patterns[i]);

    auto xml = parse (source.createXml()->toString());
    ASSERT_NE (xml, nullptr);

    ZBuffer restored (513, "other");
    ASSERT_TRUE (restored.restoreFromXml (*xml));
    EXPECT_EQ (restored.getLength(), count);
    EXPECT_STREQ (restored.getName(), "NoiseProfile1");

    for (int i = 0; i < count; ++i)
        EXPECT_EQ (bitsOf (restored.getData()[i]), patterns[i]) << "sample " << i;

    // Same length: the storage is kept and overwritten.
    auto* storage = restored.getData();
    ASSERT_TRUE (restored.restoreFromXml (*xml));
    EXPECT_EQ (restored.getData(), storage);
}

TEST (ZBufferTest, SampleRateIsWrittenAsThePlainNumber)
{
    auto xml = parse ("<buffer name=\"r\" length=\"1\" samplerate=\"44100\"><data values=\"3f800000\"/></buffer>");
    ZBuffer buffer (1, "r");
    ASSERT_TRUE (buffer.restoreFromXml (*xml));
    EXPECT_EQ (buffer.getSampleRate(), 44100.0f);
    EXPECT_EQ (buffer.createXml()->getStringAttribute ("samplerate"), "44100");

    xml->setAttribute ("samplerate", "22050.5");
    ASSERT_TRUE (buffer.restoreFromXml (*xml));
    EXPECT_EQ (buffer.createXml()->getStringAttribute ("samplerate"), "22050.5");
}

TEST (ZBufferTest, AnUnreadableSampleRateCountsAsZeroAndTheSamplesStillLoad)
{
    for (auto* rate : { "1E9999999999", "1e300", "-1e39", "nan", "inf", "", "rate" })
    {
        juce::XmlElement xml ("buffer");
        xml.setAttribute ("length", 1);
        xml.setAttribute ("samplerate", rate);
        xml.createNewChildElement ("data")->setAttribute ("values", "3f800000");

        ZBuffer buffer (1, "r");
        ASSERT_TRUE (buffer.restoreFromXml (xml)) << rate;
        EXPECT_EQ (buffer.getSampleRate(), 0.0f) << rate;
        EXPECT_EQ (buffer.getData()[0], 1.0f) << rate;
    }
}

TEST (NumberTextTest, ReadsTheLeadingNumberWhenAFloatCanHoldIt)
{
    struct Case
    {
        const char* text;
        std::optional<float> expected;
    };

    const Case cases[] = {
        { "0.57499998807907104492", 0.574999988f },
        { "-0", -0.0f },
        { " \t44100", 44100.0f },
        { "+0.5", 0.5f },
        { "0.5x", 0.5f },
        { "1e-3", 0.001f },
        { "1e", 1.0f },
        { "3.4028234e38", std::numeric_limits<float>::max() },
        { "1e-60", 0.0f },
        { "", {} },
        { "x0.5", {} },
        { "+-1", {} },
        { "nan", {} },
        { "-inf", {} },
        { "infinity", {} },
        { "1e39", {} },
        { "-1e300", {} },
        { "1E9999999999", {} },
        { "0x10", 0.0f },
    };

    for (const auto& c : cases)
    {
        const auto value = readFiniteFloat (c.text);
        ASSERT_EQ (value.has_value(), c.expected.has_value()) << c.text;

        if (value)
        {
            EXPECT_EQ (bitsOf (*value), bitsOf (*c.expected)) << c.text;
        }
    }
}

TEST (ZBufferTest, MalformedXmlLeavesTheBufferUnchanged)
{
    struct Case
    {
        const char* what;
        const char* xml;
    };

    const Case cases[] = {
        { "no data child", "<buffer name=\"n\" length=\"2\" samplerate=\"0\"/>" },
        { "no values", "<buffer name=\"n\" length=\"2\"><data/></buffer>" },
        { "missing length", "<buffer name=\"n\"><data values=\"3f800000\"/></buffer>" },
        { "zero length", "<buffer name=\"n\" length=\"0\"><data values=\"\"/></buffer>" },
        { "negative length", "<buffer name=\"n\" length=\"-2\"><data values=\"3f8000003f800000\"/></buffer>" },
        { "huge length", "<buffer name=\"n\" length=\"2000000000\"><data values=\"3f800000\"/></buffer>" },
        { "length over the limit", "<buffer name=\"n\" length=\"99999999\"><data values=\"3f800000\"/></buffer>" },
        { "length not a number", "<buffer name=\"n\" length=\"2x\"><data values=\"3f8000003f800000\"/></buffer>" },
        { "too few digits", "<buffer name=\"n\" length=\"2\"><data values=\"3f800000bf00000\"/></buffer>" },
        { "not hexadecimal", "<buffer name=\"n\" length=\"2\"><data values=\"3f800000bf00000g\"/></buffer>" },
        { "sign in digits", "<buffer name=\"n\" length=\"1\"><data values=\"-f800000\"/></buffer>" },
    };

    for (const auto& c : cases)
    {
        ZBuffer buffer (3, "before");
        buffer.getData()[0] = 0.25f;
        buffer.getData()[2] = -2.0f;
        auto* storage = buffer.getData();

        auto xml = parse (c.xml);
        ASSERT_NE (xml, nullptr) << c.what;
        EXPECT_FALSE (buffer.restoreFromXml (*xml)) << c.what;
        EXPECT_EQ (buffer.getLength(), 3) << c.what;
        EXPECT_EQ (buffer.getData(), storage) << c.what;
        EXPECT_STREQ (buffer.getName(), "before") << c.what;
        EXPECT_EQ (buffer.getData()[0], 0.25f) << c.what;
        EXPECT_EQ (buffer.getData()[2], -2.0f) << c.what;
    }
}

TEST (ZDSPObjectTest, NamesAreKeptWholeAndOwnNameIsSafe)
{
    ZDSPObject object;
    EXPECT_EQ (object.getName(), nullptr);

    object.setName ("a name longer than eight characters");
    EXPECT_STREQ (object.getName(), "a name longer than eight characters");

    object.setName (object.getName());
    EXPECT_STREQ (object.getName(), "a name longer than eight characters");

    object.setName (nullptr);
    EXPECT_STREQ (object.getName(), "");

    ZBuffer buffer (1, "first");
    buffer.setName (buffer.getName());
    EXPECT_STREQ (buffer.getName(), "first");

    static_assert (!std::is_copy_constructible_v<ZDSPObject>);
    static_assert (!std::is_copy_constructible_v<ZBuffer>);
    static_assert (!std::is_copy_assignable_v<ZBuffer>);
}

TEST (VjExceptionTest, WhatCarriesMessageFileAndLine)
{
    vesk_juce::vj_dsp_exception e ("A", "f", 7);
    EXPECT_STREQ (e.what(), "A, at File: f, Line: 7");
    EXPECT_EQ (e.what(), e.what());

    try
    {
        ZBuffer buffer (0, "x");
        FAIL() << "a zero length was accepted";
    }
    catch (const std::exception& thrown)
    {
        EXPECT_TRUE (juce::String (thrown.what())
                         .startsWith ("Error Trying to create a buffer of improper size., "
                                      "at File: zdsp/common/ZBuffer, Line: "));
    }
}

TEST (ProcessorTypeTest, EachReadableKeyOverwritesTheCode)
{
    using Keys = std::map<std::string, int>;

    struct Case
    {
        Keys keys;
        int expected;
    };

    const Case cases[] = {
        { {}, 1 },
        { { { "hw.optional.sse", 1 }, { "hw.optional.sse2", 1 } }, 4 },
        { { { "hw.optional.sse", 1 } }, 3 },
        { { { "hw.optional.sse", 1 }, { "hw.optional.sse2", 0 }, { "sysctl.proc_native", 1 } }, 1 },
        { { { "sysctl.proc_native", 0 } }, 2 },
        { { { "hw.optional.sse2", 1 }, { "sysctl.proc_native", 0 } }, 2 },
        { { { "hw.optional.altivec", 1 } }, 2 },
        { { { "hw.optional.altivec", 1 }, { "hw.optional.sse", 0 } }, 1 },
        { { { "hw.optional.altivec", 0 }, { "sysctl.proc_native", 1 } }, 1 },
    };

    for (const auto& c : cases)
    {
        int reads = 0;
        auto reader = [&] (const char* key) -> std::optional<int>
        {
            ++reads;
            auto found = c.keys.find (key);
            return found != c.keys.end() ? std::optional<int> (found->second) : std::nullopt;
        };

        EXPECT_EQ (computeProcessorType (reader), c.expected);
        EXPECT_EQ (reads, 4);
    }
}

TEST (ProcessorTypeTest, ThisMachineReportsSSE2AndGetsTheAcceleratedKernels)
{
#if defined(__x86_64__)
    EXPECT_EQ (readProcessorKey ("hw.optional.sse"), std::optional<int> (1));
    EXPECT_EQ (readProcessorKey ("hw.optional.sse2"), std::optional<int> (1));
    EXPECT_EQ (readProcessorKey ("hw.optional.altivec"), std::nullopt);
    EXPECT_EQ (readProcessorKey ("sysctl.proc_native"), std::nullopt);
    EXPECT_EQ (getProcessorType(), processorSSE2);
    EXPECT_EQ (getProcessorType(), processorSSE2);
    EXPECT_STREQ (ZGain::create (false)->getName(), "ZGainAccelerate");
#else
    GTEST_FAIL() << "expected an x86-64 machine";
#endif
    EXPECT_STREQ (ZGain::create (true)->getName(), "ZGain");
}
