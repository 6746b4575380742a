#include "TavEditorWindow.h"

#include "TavAudioProcessor.h"
#include "TavUIEditor.h"
#include "WindowHost.h"
#include "WindowPlacement.h"

TavEditorWindow::TavEditorWindow (TavAudioProcessor& processor, juce::ApplicationCommandManager& commandManager,
                                  WindowHost& host, PanelHost& panelHost)
    : TavDocumentWindow (commandManager, host)
{
    setUsingNativeTitleBar (true);

    auto* editor = dynamic_cast<TavUIEditor*> (processor.createEditor());
    jassert (editor != nullptr);
    setContentOwned (editor, true);

    if (editor != nullptr)
    {
        editor->setHost (&panelHost);
        editor->showPage (0);
    }

    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
        setBounds (WindowPlacement::placeEditorWindow (display->userArea, getWidth(), getHeight()));

    setVisible (true);
}

TavEditorWindow::~TavEditorWindow()
{
    clearContentComponent();
}

void TavEditorWindow::closeButtonPressed()
{
    getHost().requestQuit();
}
