#include "CommandLineTokens.h"

namespace
{
bool isQuote (juce::juce_wchar c)
{
    return c == '"' || c == '\'';
}
} // namespace

juce::StringArray CommandLineTokens::tokenise (const juce::String& commandLine)
{
    juce::StringArray tokens;
    tokens.addTokens (commandLine, " \t\r\n", "\"");
    tokens.removeEmptyStrings (false);

    for (auto& token : tokens)
    {
        if (isQuote (token[0]))
            token = token.substring (1);

        if (token.isNotEmpty() && isQuote (token.getLastCharacter()))
            token = token.dropLastCharacters (1);
    }

    return tokens;
}

juce::String CommandLineTokens::firstAbsolutePath (const juce::String& commandLine)
{
    for (auto& token : tokenise (commandLine))
        if (token.startsWithChar ('/') || token.startsWithChar ('~'))
            return token;

    return {};
}
