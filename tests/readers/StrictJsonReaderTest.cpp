#include "StrictJsonReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using R = StrictJsonReader;

std::string repeated (const std::string& part, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += part;
    return s;
}

juce::Result parse (const std::string& text, juce::var& result)
{
    return R::parse (text.data(), text.size(), result);
}

TEST (StrictJsonReader, ReadsJsonAsTheFrameworkDoes)
{
    const std::string cases[] = {
        "{}",
        " [ ] ",
        "\r\n\t{\"a\" : [1, -0, 0.5, -1.5e-3, 2E+2, 123456789012345678, true, false, null]}\n",
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one case, split to end the raw string
        R"({"s": "\"\\\/\b\f\n\r\t\u00e9\ud83c\udfb5", "t": "caf)"
        "\xc3\xa9 \xf0\x9f\x8e\xb5\"}",
        R"([{"a": {"b": [[], {}]}}, "x"])",
    };

    for (const auto& text : cases)
    {
        SCOPED_TRACE (text);
        juce::var ours, framework;
        ASSERT_TRUE (parse (text, ours).wasOk());
        ASSERT_TRUE (juce::JSON::parse (juce::String::fromUTF8 (text.data(), (int) text.size()), framework).wasOk());
        EXPECT_EQ (juce::JSON::toString (ours, true), juce::JSON::toString (framework, true));
    }
}

TEST (StrictJsonReader, RefusesWhatIsNotJsonOrBeyondTheLimits)
{
    struct Case
    {
        const char* what;
        std::string text;
    };

    const Case cases[] = {
        { "empty", "" },
        { "a number alone", "1" },
        { "unclosed", "{\"a\": [1, 2" },
        { "trailing comma", "[1,]" },
        { "something after the value", "{} x" },
        { "two values", "{}{}" },
        { "name without quotes", "{a: 1}" },
        { "single quotes", "['a']" },
        { "missing colon", "{\"a\" 1}" },
        { "leading zero", "[01]" },
        { "point without digits", "[1.]" },
        { "exponent without digits", "[1e]" },
        { "minus alone", "[-]" },
        { "space after minus", "[- 1]" },
        { "NaN", "[NaN]" },
        { "comment", "[1 /* c */]" },
        { "unknown literal", "[nul]" },
        { "control character in a string", "[\"\x01\"]" },
        { "zero character escaped", R"(["\u0000"])" },
        { "unknown escape", R"(["\a"])" },
        { "short unicode escape", R"(["\u12"])" },
        { "invalid UTF-8", "[\"\xff\"]" },
        { "UTF-8 cut by the end", "[\"\xe2\x82" },
        { "integer too long", "[" + std::string ((size_t) R::maxIntegerDigits + 1, '9') + "]" },
        { "exponent too long", "[1e" + std::string ((size_t) R::maxExponentDigits + 1, '9') + "]" },
        { "nesting too deep", repeated ("[", R::maxDepth + 1) + repeated ("]", R::maxDepth + 1) },
        { "100,000 open brackets", repeated ("[", 100000) },
        { "too many values", "[" + repeated ("0,", R::maxValues - 1) + "0]" },
        { "too many names", "{" + repeated ("\"a\":0,", R::maxValues / 2) + "\"a\":0}" },
        { "too large", "[\"" + std::string (R::maxTextSize, 'x') + "\"]" },
    };

    for (const auto& c : cases)
    {
        juce::var result ("unchanged");
        EXPECT_TRUE (parse (c.text, result).failed()) << c.what;
        EXPECT_TRUE (result.isVoid()) << c.what;
    }
}

TEST (StrictJsonReader, ReadsUpToEachLimit)
{
    const std::string cases[] = {
        repeated ("[", R::maxDepth) + repeated ("]", R::maxDepth),
        "[" + repeated ("0,", R::maxValues - 2) + "0]",
        "[" + std::string ((size_t) R::maxIntegerDigits, '9') + "e-" + std::string ((size_t) R::maxExponentDigits, '9')
            + "]",
    };

    for (const auto& text : cases)
    {
        juce::var result;
        EXPECT_TRUE (parse (text, result).wasOk()) << text.substr (0, 80);
    }
}

TEST (StrictJsonReader, ReadsNoByteBeyondTheGivenSize)
{
    // Every prefix is read from a buffer of exactly its size (checked by the sanitizer build); only the
    // whole text is accepted.
    const std::string text = R"({"results": [{"a": "\u00e9)"
                             "\xc3\xa9\", \"b\": -1.5e3, \"c\": [true, null]}]}";

    for (size_t n = 0; n <= text.size(); ++n)
    {
        const std::vector<char> exact (text.begin(), text.begin() + (long) n);
        juce::var result;
        EXPECT_EQ (R::parse (exact.data(), exact.size(), result).wasOk(), n == text.size()) << n;
    }
}

} // namespace
