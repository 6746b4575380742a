#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TavPreferences;
class TavUIEditor;

/** The credits page, page 1 of the processing window.

    For now it shows its background, the version and the "Done" button back to the panel; the help-tips and
    analysis switches and the user-guide button come with the page itself.
*/
class CreditsComponent : public juce::Component, public juce::Button::Listener
{
public:
    CreditsComponent (TavUIEditor* editor, TavPreferences* preferences);
    ~CreditsComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;

private:
    juce::Image background;
    TavPreferences* preferences;
    TavUIEditor* editor;
    std::unique_ptr<juce::TextButton> doneButton;
    std::unique_ptr<juce::Label> versionLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CreditsComponent)
};
