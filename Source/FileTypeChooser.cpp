#include "FileTypeChooser.h"

FileTypeChooser::FileTypeChooser (int formatIndex, int qualityIndex)
{
    okButton = std::make_unique<juce::TextButton> ("OK");
    okButton->addListener (this);
    okButton->addShortcut (juce::KeyPress (juce::KeyPress::returnKey));
    addAndMakeVisible (*okButton);

    formatBox = std::make_unique<juce::ComboBox>();
    formatBox->addItemList ({ "QuickTime", "MPEG-4", "M4V", "M4A (Audio Only)", "CoreAudio (Audio Only)",
                              "WAVE (Audio Only)", "AIFF (Audio Only)", "FLAC (Audio Only)", "MP3 (Audio Only)" },
                            1);
    formatBox->setSelectedItemIndex (formatIndex, juce::dontSendNotification);
    addAndMakeVisible (*formatBox);

    qualityBox = std::make_unique<juce::ComboBox>();
    qualityBox->addItemList ({ "1 (low/fast)", "2", "3", "4", "5", "6", "7", "8", "9", "10 (high/slow)" }, 1);
    qualityBox->setSelectedItemIndex (qualityIndex, juce::dontSendNotification);
    addAndMakeVisible (*qualityBox);

    setSize (300, 240);
}

FileTypeChooser::~FileTypeChooser() = default;

void FileTypeChooser::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xffeeeeee));
}

void FileTypeChooser::resized()
{
    formatBox->setBounds (56, 64, 192, 24);
    qualityBox->setBounds (56, 144, 192, 24);
    okButton->setBounds (168, 200, 112, 24);
}

void FileTypeChooser::buttonClicked (juce::Button* button)
{
    if (button != okButton.get())
        return;

    if (auto* dialog = findParentComponentOfClass<juce::DialogWindow>())
        dialog->exitModalState (1);

    exitModalState (1);
}

int FileTypeChooser::getSelectedFormatIndex() const
{
    return formatBox->getSelectedItemIndex();
}

int FileTypeChooser::getSelectedQualityIndex() const
{
    return qualityBox->getSelectedItemIndex();
}
