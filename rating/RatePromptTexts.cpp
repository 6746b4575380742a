#include "RatePromptTexts.h"

RatePromptTexts::RatePromptTexts (const juce::File& f, const juce::StringArray& languages, bool useAll)
    : folder (f), preferredLanguages (languages), useAllAvailableLanguages (useAll)
{
}

void RatePromptTexts::choose()
{
    if (chosen)
        return;

    chosen = true;

    if (!folder.isDirectory())
        return;

    auto language = useAllAvailableLanguages ? preferredLanguages[0] : juce::String ("en");

    if (language.isEmpty())
        language = "en";

    const auto fileFor = [this] (const juce::String& name) { return folder.getChildFile (name + ".txt"); };

    if (!fileFor (language).existsAsFile())
        language = language.upToFirstOccurrenceOf ("-", false, false);

    // Names come from the environment: never let one step outside the folder.
    if (!language.containsOnly ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_"))
        return;

    if (fileFor (language).existsAsFile())
    {
        chosenFile = fileFor (language);
        strings = std::make_unique<juce::LocalisedStrings> (chosenFile, false);
    }
}

juce::File RatePromptTexts::getChosenFile()
{
    choose();
    return chosenFile;
}

juce::String RatePromptTexts::lookup (const juce::String& key, const juce::String& defaultText)
{
    choose();

    const auto text = strings != nullptr ? strings->translate (key, defaultText) : defaultText;
    return juce::translate (key, text);
}
