#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** The prompt's translated texts: one translation file "<language>.txt" (the framework's translation format,
    lines of "key" = "text") from an optional folder that ships beside the program. The file is chosen at
    the first lookup and kept.
*/
class RatePromptTexts
{
public:
    /** preferredLanguages in order of preference, as "de-AT" or "de"; with useAllAvailableLanguages false
        the texts are looked for in "en".
    */
    RatePromptTexts (const juce::File& folder, const juce::StringArray& preferredLanguages,
                     bool useAllAvailableLanguages);

    /** The chosen file's text for key, else defaultText; the application's own translations, when it has
        any, take precedence over both.
    */
    juce::String lookup (const juce::String& key, const juce::String& defaultText);

    /** The chosen translation file, or an empty File when none applies. */
    juce::File getChosenFile();

private:
    void choose();

    juce::File folder;
    juce::StringArray preferredLanguages;
    bool useAllAvailableLanguages;
    bool chosen = false;
    juce::File chosenFile;
    std::unique_ptr<juce::LocalisedStrings> strings;
};
