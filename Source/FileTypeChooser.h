#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The panel of the "Select File Format for Save" dialog: one of the nine save formats and, for FLAC and
    MP3, one of ten quality steps.

    For now it offers the two lists and "OK" in plain style; the chooser's own look and layout come with the
    chooser itself.
*/
class FileTypeChooser : public juce::Component, public juce::Button::Listener
{
public:
    FileTypeChooser (int formatIndex, int qualityIndex);
    ~FileTypeChooser() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** "OK" ends the enclosing dialog's modal state, and this panel's, with 1. */
    void buttonClicked (juce::Button*) override;

    int getSelectedFormatIndex() const;
    int getSelectedQualityIndex() const;

private:
    std::unique_ptr<juce::TextButton> okButton;
    std::unique_ptr<juce::ComboBox> formatBox;
    std::unique_ptr<juce::ComboBox> qualityBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FileTypeChooser)
};
