#include "TavlinSettingsDocument.h"

TavlinSettingsDocument::TavlinSettingsDocument (TavAudioProcessor& processorToUse)
    : juce::FileBasedDocument (".tvp", "*", "Select a settings file to open...", "Save settings as..."),
      processor (processorToUse)
{
}

TavlinSettingsDocument::~TavlinSettingsDocument() = default;

juce::String TavlinSettingsDocument::getDocumentTitle()
{
    return getFile().getFileName();
}

juce::Result TavlinSettingsDocument::loadDocument (const juce::File&)
{
    return juce::Result::fail ("Presets are not available yet.");
}

juce::Result TavlinSettingsDocument::saveDocument (const juce::File&)
{
    return juce::Result::fail ("Presets are not available yet.");
}

juce::File TavlinSettingsDocument::getLastDocumentOpened()
{
    return {};
}

void TavlinSettingsDocument::setLastDocumentOpened (const juce::File&) {}
