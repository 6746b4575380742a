#pragma once

#include "TavDocumentWindow.h"

class PanelHost;
class TavAudioProcessor;

/** The processing window: the processor's editor in a native-titled window, centred on the main display
    with its top 64 px down (at the top of the display's user area when a low screen has no room for the
    media window below it).
*/
class TavEditorWindow : public TavDocumentWindow
{
public:
    /** Shows the processor's editor, whose pages ask panelHost for what they need of the application;
        panelHost outlives the window.
    */
    TavEditorWindow (TavAudioProcessor& processor, juce::ApplicationCommandManager& commandManager, WindowHost& host,
                     PanelHost& panelHost);
    ~TavEditorWindow() override;

    /** Quits the way the application's Quit does: through the media document's close gate, so unsaved
        processing is never dropped without the question.
    */
    void closeButtonPressed() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavEditorWindow)
};
