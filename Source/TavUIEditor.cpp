#include "TavUIEditor.h"

#include "CreditsComponent.h"
#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavPreferences.h"
#include "UpdateChecker.h"

TavUIEditor::TavUIEditor (TavAudioProcessor& processor, double* progress)
    : juce::AudioProcessorEditor (processor), preferences (std::make_unique<TavPreferences>())
{
    firstLaunch = preferences->getFirstLaunch();
    setBounds (0, 0, 780, 400);
    creditsPage = std::make_unique<CreditsComponent> (this, preferences.get());
    mainPanel = std::make_unique<TavEditor> (processor, this, preferences.get(), progress);
}

TavUIEditor::~TavUIEditor()
{
    removeAllChildren();
    creditsPage.reset();
    mainPanel.reset();
    preferences.reset();
}

void TavUIEditor::paint (juce::Graphics&) {}

void TavUIEditor::showPage (int page)
{
    removeAllChildren();

    if (page == 0)
    {
        addAndMakeVisible (*mainPanel);
    }
    else if (page == 1)
    {
        addAndMakeVisible (*creditsPage);
        // The page shows the stored switches every time it comes up.
        creditsPage->broughtToFront();
    }
}

bool TavUIEditor::isBusy() const
{
    return mainPanel->isBusy();
}

void TavUIEditor::setBusy (bool busy)
{
    mainPanel->setBusy (busy);
}

void TavUIEditor::setBusyText (const juce::String& text)
{
    mainPanel->setBusyText (text);
}

void TavUIEditor::setHelpTips (bool on)
{
    mainPanel->setTooltipsEnabled (on);
}

void TavUIEditor::setHost (PanelHost* host)
{
    mainPanel->setHost (host);
    creditsPage->setHost (host);
}

//==============================================================================
// The processor's editor is made here, beside its pages, so that the processor itself includes none of them.
juce::AudioProcessorEditor* TavAudioProcessor::createEditor()
{
    startBackgroundUpdateCheck();
    auto editor = std::make_unique<TavUIEditor> (*this, &getProgress());
    editor->showPage (0);
    return editor.release(); // the caller owns it
}
