#include "UpdateFeed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::string repeated (const std::string& part, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += part;
    return s;
}

const std::string rssStart = R"(<rss version="2.0" xmlns:tavlin="https://www.tavlin.org/xml-namespaces/update">)";

std::string feedOf (const std::string& items)
{
    return rssStart + "<channel><title>Tavlin</title>" + items + "</channel></rss>";
}

std::string itemOf (const std::string& title, const std::string& version, const std::string& link = "")
{
    return "<item><title>" + title + "</title><link>" + link + "</link><enclosure url=\"https://h/t.tar.xz\""
           + " tavlin:version=\"" + version + "\"/></item>";
}

UpdateFeed::Result parse (const std::string& text)
{
    return UpdateFeed::parse (text.data(), text.size());
}

TEST (UpdateFeed, ReadsWhatAFeedMayHold)
{
    struct Case
    {
        const char* what;
        std::string text;
        juce::String version, title, downloadPage;
    };

    const Case cases[] = {
        { "declaration, style sheet, comments and line breaks around the feed",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<?xml-stylesheet href=\"f.xsl\"?>\n<!-- releases -->\n"
              + feedOf ("\n  " + itemOf ("Tavlin 5.1", "5.1", "https://h/d/") + "\n") + "\n<!-- end -->\n",
          "5.1", "Tavlin 5.1", "https://h/d/" },
        { "references and CDATA in the text",
          feedOf (itemOf ("<![CDATA[Tavlin <5.1> & more]]> &amp; &#8211; &#x263A;", "5.1", "https://h/d/?a=1&amp;b=2")),
          "5.1", juce::String::fromUTF8 ("Tavlin <5.1> & more & \xe2\x80\x93 \xe2\x98\xba"), "https://h/d/?a=1&b=2" },
        { "a comment inside the text", feedOf (itemOf ("Tavlin <!-- the newest --> 5.1", "5.1")), "5.1", "Tavlin  5.1",
          "https://h/t.tar.xz" },
        { "other elements and namespaces passed over",
          rssStart + "<channel><atom:link href=\"https://h/feed\" rel=\"self\"/><description>&lt;p&gt;</description>"
              + "<item><pubDate>Mon, 01 Jan 2024</pubDate><guid isPermaLink='false'>x</guid>"
              + "<enclosure tavlin:version='6.0' url='https://h/6.tar.xz'/></item></channel></rss>",
          "6.0", "", "https://h/6.tar.xz" },
        { "the newest of several; items without an enclosure or with a version too long passed over",
          feedOf (itemOf ("a", "5.2") + "<item><title>none</title></item>"
                  + itemOf ("b", "5." + std::string ((size_t) UpdateFeed::maxVersionLength, '9')) + itemOf ("c", "5.10")
                  + itemOf ("d", "5.9")),
          "5.10", "c", "https://h/t.tar.xz" },
        { "an address too long to take apart",
          feedOf (itemOf ("a", "5.1", "https://h/?" + std::string ((size_t) UpdateFeed::maxAddressLength, 'x'))), "5.1",
          "a", "https://h/t.tar.xz" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto result = parse (c.text);
        ASSERT_TRUE (result.newest.has_value()) << result.error;
        EXPECT_EQ (result.newest->version, c.version);
        EXPECT_EQ (result.newest->title, c.title);
        EXPECT_EQ (result.newest->downloadPage.toString (true), c.downloadPage);
    }
}

TEST (UpdateFeed, RefusesWhatCannotBeReadSafely)
{
    const std::string item = itemOf ("Tavlin", "5.1");

    struct Case
    {
        const char* what;
        std::string text;
    };

    const Case cases[] = {
        { "another root", "<feed><channel>" + item + "</channel></feed>" },
        { "DOCTYPE", "<!DOCTYPE rss>" + feedOf (item) },
        { "instruction inside the feed", rssStart + "<?x?><channel>" + item + "</channel></rss>" },
        { "entity other than the five", feedOf (itemOf ("Tavlin&nbsp;5", "5.1")) },
        { "'&' alone", feedOf (itemOf ("A & B", "5.1")) },
        { "invalid UTF-8", feedOf (itemOf ("\xff", "5.1")) },
        { "control character", feedOf (itemOf ("\x01", "5.1")) },
        { "unclosed comment", feedOf (itemOf ("<!-- ", "5.1")) },
        { "unclosed CDATA", feedOf (itemOf ("<![CDATA[ ", "5.1")) },
        { "mismatched end tag", rssStart + "<channel>" + item + "</item></rss>" },
        { "cut off", feedOf (item).substr (0, 200) },
        { "nesting too deep",
          feedOf (repeated ("<a>", UpdateFeed::maxDepth) + repeated ("</a>", UpdateFeed::maxDepth) + item) },
        { "too many elements", feedOf (repeated ("<a/>", UpdateFeed::maxElements) + item) },
        { "too large", feedOf (item + "<!--" + std::string (UpdateFeed::maxTextSize, ' ') + "-->") },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto result = parse (c.text);
        EXPECT_FALSE (result.newest.has_value());
        EXPECT_EQ (result.error, "The update feed could not be read.");
    }
}

TEST (UpdateFeed, ReadsNoByteBeyondTheGivenSize)
{
    // Every prefix of a feed is read from a buffer of exactly its size (checked by the sanitizer build);
    // none of the cut ones is accepted.
    const auto text =
        "<?xml version=\"1.0\"?><!--c-->" + feedOf (itemOf ("<![CDATA[T]]> &#x41;&amp;\xc3\xa9", "5.1", "https://h/"));

    for (size_t n = 0; n <= text.size(); ++n)
    {
        const std::vector<char> exact (text.begin(), text.begin() + (long) n);
        EXPECT_EQ (UpdateFeed::parse (exact.data(), exact.size()).newest.has_value(), n == text.size()) << n;
    }
}

} // namespace
