#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

class TavAudioProcessor;

/** A short-lived document for one preset command (".tvp" files holding the processor's state).

    For now loading and saving report that presets are not available yet; reading and writing the state
    come with the presets themselves.
*/
class TavlinSettingsDocument : public juce::FileBasedDocument
{
public:
    explicit TavlinSettingsDocument (TavAudioProcessor& processor);
    ~TavlinSettingsDocument() override;

    juce::String getDocumentTitle() override;
    juce::Result loadDocument (const juce::File& file) override;
    juce::Result saveDocument (const juce::File& file) override;
    juce::File getLastDocumentOpened() override;
    void setLastDocumentOpened (const juce::File& file) override;

private:
    TavAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavlinSettingsDocument)
};
