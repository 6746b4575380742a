#include "StateBlob.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

juce::XmlElement sampleElement()
{
    juce::XmlElement root ("NoiseProfile");
    root.setAttribute ("a", "0.57499998807907104492");
    root.setAttribute ("quote", "x\"<&>'\ty");
    auto* child = root.createNewChildElement ("buffer");
    child->setAttribute ("name", juce::String::fromUTF8 ("Bruit \xc3\xa9"));
    child->createNewChildElement ("data")->setAttribute ("values", "c2400000");
    root.createNewChildElement ("empty");
    return root;
}

juce::MemoryBlock blobOf (const juce::String& text, uint32_t length, bool terminate = true)
{
    juce::MemoryOutputStream out;
    out.writeInt ((int) StateBlob::magic);
    out.writeInt ((int) length);
    out << text;
    if (terminate)
        out.writeByte (0);
    return out.getMemoryBlock();
}

TEST (StateBlob, WritesHeaderOneLineOfTextAndATerminator)
{
    auto element = sampleElement();
    juce::MemoryBlock block (65536, true);
    StateBlob::write (element, block);

    const juce::String expectedText = juce::String::fromUTF8 (
        "<NoiseProfile a=\"0.57499998807907104492\" quote=\"x&quot;&lt;&amp;&gt;&apos;&#9;y\">"
        "<buffer name=\"Bruit \xc3\xa9\"><data values=\"c2400000\"/></buffer><empty/></NoiseProfile>");
    const auto textBytes = expectedText.getNumBytesAsUTF8();

    ASSERT_EQ (block.getSize(), textBytes + 9);
    const auto* bytes = static_cast<const uint8_t*> (block.getData());
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (uint32_t) textBytes);
    EXPECT_EQ (std::memcmp (bytes + 8, expectedText.toRawUTF8(), textBytes), 0);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);

    auto back = StateBlob::read (block.getData(), block.getSize());
    ASSERT_NE (back, nullptr);
    EXPECT_TRUE (back->isEquivalentTo (&element, false));
}

TEST (StateBlob, RefusesWhatIsNotAWholeBlob)
{
    const juce::String text = "<NoiseProfile a=\"1\"/>";
    const auto n = (uint32_t) text.getNumBytesAsUTF8();
    auto good = blobOf (text, n);

    struct Case
    {
        const char* what;
        juce::MemoryBlock block;
    };

    auto wrongMagic = good;
    static_cast<char*> (wrongMagic.getData())[3] = '?';

    const Case cases[] = {
        { "empty", {} },
        { "header only", juce::MemoryBlock (good.getData(), 8) },
        { "truncated text", juce::MemoryBlock (good.getData(), 8 + n / 2) },
        { "wrong magic", wrongMagic },
        { "length 0", blobOf (text, 0) },
        { "length that cuts the text", blobOf (text, n - 1) },
        { "not xml", blobOf ("hello", 5) },
        { "unclosed element", blobOf ("<NoiseProfile a=\"1\"", 19) },
        { "unclosed root", blobOf ("<NoiseProfile><buffer/>", 23) },
    };

    for (const auto& c : cases)
        EXPECT_EQ (StateBlob::read (c.block.getData(), c.block.getSize()), nullptr) << c.what;

    EXPECT_EQ (StateBlob::read (nullptr, 100), nullptr);
}

TEST (StateBlob, ReadsTheTextThatIsThereWhateverTheLengthField)
{
    const juce::String text = "<NoiseProfile a=\"1\"/>";
    const auto n = (uint32_t) text.getNumBytesAsUTF8();

    struct Case
    {
        const char* what;
        juce::MemoryBlock block;
    };

    // The text is min (length, size - 8) bytes: a length past the end reads to the end, terminator and all.
    const Case cases[] = {
        { "exact length", blobOf (text, n) },
        { "exact length, no terminator", blobOf (text, n, false) },
        { "length past the end", blobOf (text, n + 2) },
        { "largest length", blobOf (text, 0xffffffffu) },
        { "text followed by more", blobOf (text + "<other/>", n) },
    };

    for (const auto& c : cases)
    {
        auto element = StateBlob::read (c.block.getData(), c.block.getSize());
        ASSERT_NE (element, nullptr) << c.what;
        EXPECT_EQ (element->getStringAttribute ("a"), "1") << c.what;
    }
}

} // namespace
