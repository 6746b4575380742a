#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class EditorPages;
class PanelHost;
class TavPreferences;

/** The credits page, page 1 of the processing window: the version, the "Done" button back to the panel,
    the user-guide button and two switches that write straight into the preferences ("Hide help tips",
    the inverse of "Help Tips", and "Analyze Media"). Both switches are read again whenever the page
    comes to the front.
*/
class CreditsComponent : public juce::Component, public juce::Button::Listener
{
public:
    /** editor: the page set holding the page, for "Done" and the help tips. */
    CreditsComponent (EditorPages* editor, TavPreferences* preferences);
    ~CreditsComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void broughtToFront() override;
    void buttonClicked (juce::Button* button) override;

    /** The application around the page, which shows the user guide; not owned. Without one, "User Guide..."
        does nothing.
    */
    void setHost (PanelHost* newHost) noexcept { host = newHost; }

    juce::Button& getDoneButton() noexcept { return *doneButton; }
    juce::Button& getHideHelpTipsToggle() noexcept { return *hideHelpTipsToggle; }
    juce::Button& getUserGuideButton() noexcept { return *userGuideButton; }
    juce::Button& getAnalyzeToggle() noexcept { return *analyzeToggle; }
    juce::Label& getVersionLabel() noexcept { return *versionLabel; }

private:
    juce::Image background;
    TavPreferences* preferences;
    EditorPages* editor;
    PanelHost* host = nullptr;
    std::unique_ptr<juce::TextButton> doneButton;
    std::unique_ptr<juce::Label> versionLabel;
    std::unique_ptr<juce::ToggleButton> hideHelpTipsToggle;
    std::unique_ptr<juce::TextButton> userGuideButton;
    std::unique_ptr<juce::ToggleButton> analyzeToggle;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CreditsComponent)
};
