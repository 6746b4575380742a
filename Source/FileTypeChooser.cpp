#include "FileTypeChooser.h"

#include "FontFallback.h"
#include "SaveFormat.h"

namespace
{
std::unique_ptr<juce::Label> makeCaption (const juce::String& name, const juce::String& text)
{
    auto label = std::make_unique<juce::Label> (name, text);
    label->setFont (FontFallback::make ("Arial", 15.0f, juce::Font::bold));
    label->setJustificationType (juce::Justification::centredLeft);
    label->setEditable (false, false, false);
    return label;
}

void setUpBox (juce::ComboBox& box)
{
    box.setEditableText (false);
    box.setJustificationType (juce::Justification::centredLeft);
    box.setTextWhenNothingSelected ({});
    box.setTextWhenNoChoicesAvailable ("(no choices)");

    // Return belongs to "OK": a box holding the focus would open its list instead.
    box.setWantsKeyboardFocus (false);
}
} // namespace

FileTypeChooser::FileTypeChooser (int formatIndex, int qualityIndex)
{
    formatLabel = makeCaption ("format label", "Select an output file format:");
    addAndMakeVisible (*formatLabel);

    okButton = std::make_unique<juce::TextButton> ("OK");
    okButton->addListener (this);
    okButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff808080));
    okButton->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff464646));
    addAndMakeVisible (*okButton);

    formatBox = std::make_unique<juce::ComboBox> ("format box");
    setUpBox (*formatBox);
    formatBox->addListener (this);
    addAndMakeVisible (*formatBox);

    qualityBox = std::make_unique<juce::ComboBox> ("quality box");
    setUpBox (*qualityBox);
    qualityBox->addItemList (qualityNames, 1);
    qualityBox->addListener (this);
    addAndMakeVisible (*qualityBox);

    qualityLabel = makeCaption ("quality label", "Quality:");
    addAndMakeVisible (*qualityLabel);

    setLookAndFeel (&lookAndFeel);

    formatBox->clear (juce::dontSendNotification);

    for (int i = 0; i < SaveFormat::count; ++i)
        formatBox->addItem (SaveFormat::table[i].chooserName, i + 1);

    formatBox->setSelectedItemIndex (formatIndex, juce::sendNotificationAsync);
    qualityBox->setSelectedItemIndex (qualityIndex, juce::sendNotificationAsync);

    const juce::KeyPress returnKey (juce::KeyPress::returnKey);

    if (!okButton->isRegisteredForShortcut (returnKey))
        okButton->addShortcut (returnKey);

    updateQualityVisibility();
    setSize (300, 240);
}

FileTypeChooser::~FileTypeChooser()
{
    if (auto* source = keySource.getComponent())
        source->removeKeyListener (this);

    // The children go first; the look-and-feel they used goes after them.
    formatLabel.reset();
    okButton.reset();
    formatBox.reset();
    qualityBox.reset();
    qualityLabel.reset();
    setLookAndFeel (nullptr);
}

void FileTypeChooser::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xffeeeeee));
}

void FileTypeChooser::resized()
{
    formatLabel->setBounds (32, 24, 232, 24);
    formatBox->setBounds (56, 64, 192, 24);
    qualityLabel->setBounds (32, 104, 232, 24);
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

void FileTypeChooser::parentHierarchyChanged()
{
    auto* top = getTopLevelComponent();

    if (top == keySource.getComponent())
        return;

    if (auto* old = keySource.getComponent())
        old->removeKeyListener (this);

    keySource = top;

    if (top != nullptr && top != this)
        top->addKeyListener (this);
}

bool FileTypeChooser::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    // The button's own shortcut waits for the key to come up again; Return answers at once.
    if (key != juce::KeyPress (juce::KeyPress::returnKey) || !okButton->isShowing())
        return false;

    buttonClicked (okButton.get());
    return true;
}

void FileTypeChooser::comboBoxChanged (juce::ComboBox* box)
{
    if (box == formatBox.get())
        updateQualityVisibility();
}

void FileTypeChooser::updateQualityVisibility()
{
    const auto* format = SaveFormat::find (formatBox->getSelectedItemIndex());
    const bool withQuality = format != nullptr && format->hasQualityChoice;
    qualityBox->setVisible (withQuality);
    qualityLabel->setVisible (withQuality);
}

int FileTypeChooser::getSelectedFormatIndex() const
{
    return formatBox->getSelectedItemIndex();
}

int FileTypeChooser::getSelectedQualityIndex() const
{
    return qualityBox->getSelectedItemIndex();
}
