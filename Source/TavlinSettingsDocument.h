#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

class TavAudioProcessor;

/** A short-lived document for one preset command: a ".tvp" file holds exactly one state blob of the
    processor (see StateBlob), at most maxPresetBytes long.

    Loading hands the file to the processor; a file that is too large, unreadable or not a readable
    state blob changes nothing and fails with a text saying why. Saving writes the blob beside the target and
    then moves it into place, so a failed save leaves the previous file as it was and never a file that
    could not be loaded again.
*/
class TavlinSettingsDocument : public juce::FileBasedDocument
{
public:
    /** The largest preset file that loads, in bytes. */
    static constexpr juce::int64 maxPresetBytes = 65535;

    explicit TavlinSettingsDocument (TavAudioProcessor& processor);
    ~TavlinSettingsDocument() override;

    /** Loads a preset file as the load command does: a path that is not a regular file (a folder, a named
        pipe, a device) is refused before anything opens it, with the same one message as every other
        refusal ("Failed to open file..." and the reason, when showMessageOnFailure is set).
    */
    juce::Result loadPreset (const juce::File& file, bool showMessageOnFailure);

    /** "Load Preset...": the file chooser titled "Select a settings file to open...", then loadPreset with
        its message on failure.
    */
    void loadPresetInteractive();

    juce::String getDocumentTitle() override;
    juce::Result loadDocument (const juce::File& file) override;
    juce::Result saveDocument (const juce::File& file) override;
    juce::File getLastDocumentOpened() override;
    void setLastDocumentOpened (const juce::File& file) override;

private:
    TavAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavlinSettingsDocument)
};
