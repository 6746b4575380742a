#pragma once

#include "PlayerHost.h"

#include <juce_gui_basics/juce_gui_basics.h>

class TavlinApplication;

/** The application's answers to the media engine: everything comes from the running TavlinApplication,
    which installs the host for its run.
*/
class ApplicationPlayerHost : public PlayerHost
{
public:
    /** app outlives the host. */
    explicit ApplicationPlayerHost (TavlinApplication& app);

    TavAudioProcessor* getProcessor() override;
    juce::AudioFormatManager* getFormatManager() override;
    juce::AudioDeviceManager* getDeviceManager() override;
    juce::File getTemporaryFolder() override;
    bool isLooping() override;
    bool isIdle() override;
    void showProgress (const juce::String& text) override;
    void setProgress (double value) override;
    void hideProgress() override;
    void showWarning (const juce::String& title, const juce::String& message) override;
    bool isAnalyzeEnabled() override;
    void analyzeAudioFile (const juce::File& file) override;
    void mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable) override;
    bool isDocumentChanged() override;
    void setDocumentChanged (bool changed) override;
    juce::Result closeMediaDocument() override;
    juce::Result openMediaFile (const juce::File& file, bool showErrors) override;
    void analyzeSelection() override;

private:
    TavlinApplication& app;

    JUCE_DECLARE_NON_COPYABLE (ApplicationPlayerHost)
};
