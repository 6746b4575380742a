#include "TavUIEditor.h"

#include "CreditsComponent.h"
#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavPreferences.h"

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
}

void TavUIEditor::showPage (int page)
{
    removeAllChildren();

    juce::Component* shown = page == 0 ? static_cast<juce::Component*> (mainPanel.get())
                                       : (page == 1 ? static_cast<juce::Component*> (creditsPage.get()) : nullptr);

    if (shown != nullptr)
        addAndMakeVisible (shown);
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
