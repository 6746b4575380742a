#include "TavEditor.h"

#include "TavPreferences.h"
#include "TavlinResources.h"

TavEditor::TavEditor (TavAudioProcessor&, TavUIEditor* ownerToUse, TavPreferences* preferencesToUse, double* progress)
    : owner (ownerToUse), preferences (preferencesToUse)
{
    progressBar = std::make_unique<juce::ProgressBar> (*progress);
    addChildComponent (*progressBar);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xff000000));
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xff0080f0));

    setTooltipsEnabled (preferences == nullptr || preferences->getHelpTips());

    setSize (780, 400);
    setLookAndFeel (&lookAndFeel);
    backgroundImage = juce::ImageFileFormat::loadFrom (TavlinResources::panel_background_png,
                                                       (size_t) TavlinResources::panel_background_pngSize);
}

TavEditor::~TavEditor()
{
    progressBar.reset();
    tooltipWindow.reset();
    setLookAndFeel (nullptr);
}

void TavEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
    g.drawImageAt (backgroundImage, 0, 0);
}

void TavEditor::resized()
{
    progressBar->setBounds (290, 32, 196, 196);
}

void TavEditor::setTooltipsEnabled (bool on)
{
    if (on)
        tooltipWindow = std::make_unique<juce::TooltipWindow> (nullptr, 700);
    else
        tooltipWindow.reset();
}

void TavEditor::setBusy (bool busy)
{
    progressBar->setVisible (busy);
}

bool TavEditor::isBusy() const
{
    return progressBar->isVisible();
}

void TavEditor::setBusyText (const juce::String& text)
{
    progressBar->setTextToDisplay (text);
}
