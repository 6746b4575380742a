#pragma once

#include "BusyDisplay.h"
#include "EditorPages.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class CreditsComponent;
class PanelHost;
class TavAudioProcessor;
class TavEditor;
class TavPreferences;

/** The processor's editor: the page set of the processing window, 780 x 400, showing one page at a time
    (0: the processing panel, 1: the credits page). It owns the preferences store, which lives longer than
    both pages, and forwards the busy display and the help tips to the panel.
*/
class TavUIEditor : public juce::AudioProcessorEditor, public EditorPages, public BusyDisplay
{
public:
    /** progress: the processor's progress value, shown by the panel's busy display. */
    TavUIEditor (TavAudioProcessor& processor, double* progress);
    ~TavUIEditor() override;

    /** Draws nothing: each page draws itself. */
    void paint (juce::Graphics&) override;

    /** Shows page 0 (the panel) or 1 (credits); any other number leaves the editor empty. */
    void showPage (int page) override;

    bool isBusy() const override;
    void setBusy (bool busy) override;
    void setBusyText (const juce::String& text) override;
    void setHelpTips (bool on) override;

    /** Gives both pages the application around them (LEARN's transport, the user guide); not owned. The
        window that shows the editor gives it; until then the pages have none.
    */
    void setHost (PanelHost* host);

    TavPreferences& getPreferences() noexcept { return *preferences; }

    /** "First Launch" as it was when the editor was built (true when it was not stored yet). */
    bool isFirstLaunch() const noexcept { return firstLaunch; }

    TavEditor& getMainPanel() noexcept { return *mainPanel; }
    CreditsComponent& getCreditsPage() noexcept { return *creditsPage; }

private:
    std::unique_ptr<TavPreferences> preferences;
    bool firstLaunch = true;
    std::unique_ptr<CreditsComponent> creditsPage;
    std::unique_ptr<TavEditor> mainPanel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavUIEditor)
};
