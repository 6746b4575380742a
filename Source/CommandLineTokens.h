#pragma once

#include <juce_core/juce_core.h>

/** Reads the command line that a second launch, or the desktop's request to open files, hands over. */
class CommandLineTokens
{
public:
    /** Splits at spaces, tabs, carriage returns and line feeds, keeping text between double quotes together;
        each token loses one leading and one trailing quote character (double or single).
    */
    static juce::StringArray tokenise (const juce::String& commandLine);

    /** The first token that is an absolute path (starting with "/" or "~"), or an empty string. */
    static juce::String firstAbsolutePath (const juce::String& commandLine);
};
