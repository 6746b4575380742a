#include "TavEditorWindow.h"

#include "TavAudioProcessor.h"
#include "TavUIEditor.h"
#include "TavlinApplication.h"
#include "WindowPlacement.h"

TavEditorWindow::TavEditorWindow (TavAudioProcessor& processor)
{
    setUsingNativeTitleBar (true);

    auto* editor = dynamic_cast<TavUIEditor*> (processor.createEditor());
    jassert (editor != nullptr);
    setContentOwned (editor, true);

    if (editor != nullptr)
        editor->showPage (0);

    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
        setBounds (WindowPlacement::placeEditorWindow (display->userArea, getWidth(), getHeight()));

    setVisible (true);

    if (auto* app = TavlinApplication::getApp())
        addKeyListener (app->getCommandManager().getKeyMappings());
}

TavEditorWindow::~TavEditorWindow()
{
    clearContentComponent();
}

void TavEditorWindow::closeButtonPressed()
{
    if (auto* app = TavlinApplication::getApp())
        app->systemRequestedQuit();
}
