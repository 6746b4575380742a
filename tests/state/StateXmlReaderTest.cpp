#include "StateXmlReader.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::unique_ptr<juce::XmlElement> parse (const std::string& text)
{
    return StateXmlReader::parse (text.data(), text.size());
}

std::string repeated (const std::string& part, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += part;
    return s;
}

TEST (StateXmlReader, ReadsElementsAttributesAndReferences)
{
    struct Case
    {
        const char* what;
        std::string text;
        juce::String expectedValue; // of the attribute v on the root
    };

    const Case cases[] = {
        { "double quotes", R"(<r v="0.5"/>)", "0.5" },
        { "single quotes", "<r v='x\"y'/>", "x\"y" },
        { "white space around the parts", " \r\n\t<r \n v \t= \"1\" ></r >", "1" },
        { "predefined entities", R"(<r v="&amp;&lt;&gt;&quot;&apos;"/>)", "&<>\"'" },
        { "decimal and hexadecimal references", R"(<r v="&#65;&#x42;&#x43;"/>)", "ABC" },
        { "references the writer uses for control characters", R"(<r v="a&#9;b&#1;c"/>)", "a\tb\001c" },
        { "largest reference", R"(<r v="&#x10FFFF;"/>)", juce::String::charToString ((juce::juce_wchar) 0x10ffff) },
        { "UTF-8 of every length", "<r v=\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5\"/>",
          juce::String::fromUTF8 ("\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5") },
        { "literal tab and line break", "<r v=\"a\tb\nc\"/>", "a\tb\nc" },
        { "empty value", R"(<r v=""/>)", "" },
        { "anything after the element", std::string ("<r v=\"2\"/>\0<?x?>&#0;\xff", 21), "2" },
    };

    for (const auto& c : cases)
    {
        auto element = parse (c.text);
        ASSERT_NE (element, nullptr) << c.what;
        EXPECT_EQ (element->getTagName(), "r") << c.what;
        EXPECT_EQ (element->getStringAttribute ("v"), c.expectedValue) << c.what;
    }
}

TEST (StateXmlReader, KeepsTheTreeInOrder)
{
    auto root = parse (R"(<NoiseProfile a="1" b="2"><buffer name="x"><data values="00"/></buffer>)"
                       R"(<track/><buffer name="y"/></NoiseProfile>)");
    ASSERT_NE (root, nullptr);
    EXPECT_EQ (root->getNumAttributes(), 2);
    EXPECT_EQ (root->getAttributeName (1), "b");
    ASSERT_EQ (root->getNumChildElements(), 3);
    EXPECT_EQ (root->getChildElement (0)->getChildByName ("data")->getStringAttribute ("values"), "00");
    EXPECT_EQ (root->getChildElement (1)->getTagName(), "track");
    EXPECT_EQ (root->getChildElement (2)->getStringAttribute ("name"), "y");
}

std::string attributesNamedUpTo (int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += " a" + std::to_string (i) + "=\"\"";
    return s;
}

TEST (StateXmlReader, RefusesWhatAStateBlobCannotHold)
{
    using R = StateXmlReader;

    struct Case
    {
        const char* what;
        std::string text;
    };

    const Case cases[] = {
        // Structure
        { "empty", "" },
        { "white space only", "  \n" },
        { "text", "hello" },
        { "unclosed start tag", R"(<r v="1")" },
        { "unclosed element", "<r>" },
        { "unclosed child", "<r><c></r>" },
        { "mismatched end tag", "<r></s>" },
        { "end tag with attributes", R"(<r></r v="1">)" },
        { "text content", "<r>y</r>" },
        { "text between children", "<r><c/>y<c/></r>" },
        { "processing instruction in content, then text", "<a><?x?>y" },
        { "XML declaration", R"(<?xml version="1.0"?><r/>)" },
        { "comment", "<r><!-- c --></r>" },
        { "CDATA", "<r><![CDATA[x]]></r>" },
        { "DOCTYPE", "<!DOCTYPE r><r/>" },
        { "entity declaration", R"(<!DOCTYPE a [<!ENTITY e SYSTEM "e">]><a>&e;</a>)" },
        { "attribute without value", "<r v/>" },
        { "unquoted value", "<r v=1/>" },
        { "unclosed value", R"(<r v="1/>)" },
        { "attributes run together", R"(<r a="1"b="2"/>)" },
        { "duplicate attribute", R"(<r a="1" a="2"/>)" },
        { "'<' in a value", R"(<r v="<"/>)" },
        { "name starting with a digit", "<1r/>" },
        { "non-ASCII name", "<r\xc3\xa9/>" },
        // References
        { "undeclared entity", R"(<r v="&e;"/>)" },
        { "reference without ';'", R"(<r v="&amp"/>)" },
        { "'&' alone", R"(<r v="a & b"/>)" },
        { "'&#' at the end", "<r v=\"&#" },
        { "'&#X' at the end", "<r v=\"&#X" },
        { "upper-case X", R"(<r v="&#X41;"/>)" },
        { "empty reference", R"(<r v="&#;"/>)" },
        { "reference to 0", R"(<r v="&#0;"/>)" },
        { "reference to a surrogate", R"(<r v="&#xD800;"/>)" },
        { "reference beyond Unicode", R"(<r v="&#x110000;"/>)" },
        { "reference with too many digits", R"(<r v="&#00000065;"/>)" },
        { "huge reference", R"(<r v="&#99999999999999999999;"/>)" },
        // UTF-8
        { "unfinished sequence at the end", "<\xba\xfa" },
        { "sequence cut by the end", "<r v=\"\xe2\x82" },
        { "lone continuation byte", "<r v=\"\x80\"/>" },
        { "overlong form", "<r v=\"\xc0\xaf\"/>" },
        { "overlong three-byte form", "<r v=\"\xe0\x80\xaf\"/>" },
        { "surrogate", "<r v=\"\xed\xa0\x80\"/>" },
        { "beyond Unicode", "<r v=\"\xf4\x90\x80\x80\"/>" },
        { "invalid lead byte", "<r v=\"\xff\"/>" },
        { "control character", "<r v=\"\x01\"/>" },
        { "zero byte in a value", std::string ("<r v=\"a\0b\"/>", 12) },
        // Limits
        { "nesting too deep", repeated ("<a>", R::maxDepth) + "<a/>" + repeated ("</a>", R::maxDepth) },
        { "10,000 open tags", repeated ("<a>", 10000) },
        { "too many elements", "<r>" + repeated ("<c/>", R::maxElements) + "</r>" },
        { "too many attributes", "<r" + attributesNamedUpTo (R::maxAttributes + 1) + "/>" },
        { "name too long", "<" + std::string (R::maxNameLength + 1, 'n') + "/>" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parse (c.text), nullptr) << c.what;

    EXPECT_EQ (StateXmlReader::parse (nullptr, 10), nullptr);
}

TEST (StateXmlReader, ReadsUpToEachLimit)
{
    using R = StateXmlReader;

    const std::string cases[] = {
        repeated ("<a>", R::maxDepth - 1) + "<a/>" + repeated ("</a>", R::maxDepth - 1),
        "<r>" + repeated ("<c/>", R::maxElements - 1) + "</r>",
        "<r" + attributesNamedUpTo (R::maxAttributes) + "/>",
        "<" + std::string (R::maxNameLength, 'n') + "/>",
    };

    for (const auto& text : cases)
        EXPECT_NE (parse (text), nullptr) << text.substr (0, 80);
}

TEST (StateXmlReader, ReadsNoByteBeyondTheGivenSize)
{
    // Every prefix of a whole blob text is read from a buffer of exactly its size (checked by the
    // sanitizer build); none of the cut ones is accepted.
    const std::string text = "<NoiseProfile a=\"&#x41;\xc3\xa9\" b='2'><buffer name=\"n\"><data values=\"c2400000\"/>"
                             "</buffer></NoiseProfile>";

    for (size_t n = 0; n <= text.size(); ++n)
    {
        std::vector<char> exact (text.begin(), text.begin() + (long) n);
        auto element = StateXmlReader::parse (exact.data(), exact.size());
        EXPECT_EQ (element != nullptr, n == text.size()) << n;
    }
}

} // namespace
