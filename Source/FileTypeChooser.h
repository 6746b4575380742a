#pragma once

#include "TavLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The panel of the "Select File Format for Save" dialog: one of the nine save formats and, for FLAC and
    MP3, one of ten quality steps. "OK" (or Return) ends the dialog with 1; the caller reads the two
    selected indices.
*/
class FileTypeChooser : public juce::Component,
                        public juce::Button::Listener,
                        public juce::ComboBox::Listener,
                        private juce::KeyListener
{
public:
    FileTypeChooser (int formatIndex, int qualityIndex);
    ~FileTypeChooser() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** "OK" ends the enclosing dialog's modal state, and this panel's, with 1. */
    void buttonClicked (juce::Button*) override;

    void comboBoxChanged (juce::ComboBox*) override;

    /** Listens for Return on the window the panel sits in, wherever the focus is in it. */
    void parentHierarchyChanged() override;

    /** The quality controls show only for a format with a quality choice (FLAC, MP3). */
    void updateQualityVisibility();

    int getSelectedFormatIndex() const;
    int getSelectedQualityIndex() const;

    juce::ComboBox& getFormatBox() noexcept { return *formatBox; }
    juce::ComboBox& getQualityBox() noexcept { return *qualityBox; }
    juce::Label& getQualityLabel() noexcept { return *qualityLabel; }
    juce::Label& getFormatLabel() noexcept { return *formatLabel; }
    juce::TextButton& getOkButton() noexcept { return *okButton; }

    static inline const juce::StringArray qualityNames { "1 (low/fast)",  "2", "3", "4", "5", "6", "7", "8", "9",
                                                         "10 (high/slow)" };

    using juce::Component::keyPressed;

private:
    bool keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent) override;

    TavLookAndFeel lookAndFeel;
    juce::Component::SafePointer<juce::Component> keySource;
    std::unique_ptr<juce::Label> formatLabel;
    std::unique_ptr<juce::TextButton> okButton;
    std::unique_ptr<juce::ComboBox> formatBox;
    std::unique_ptr<juce::ComboBox> qualityBox;
    std::unique_ptr<juce::Label> qualityLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FileTypeChooser)
};
