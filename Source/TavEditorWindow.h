#pragma once

#include "TavDocumentWindow.h"

class TavAudioProcessor;

/** The processing window: the processor's editor in a native-titled window, centred on the main display
    with its top 64 px down (at the top of the display's user area when a low screen has no room for the
    media window below it).
*/
class TavEditorWindow : public TavDocumentWindow
{
public:
    explicit TavEditorWindow (TavAudioProcessor& processor);
    ~TavEditorWindow() override;

    /** Quits the way the application's Quit does: through the media document's close gate, so unsaved
        processing is never dropped without the question.
    */
    void closeButtonPressed() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavEditorWindow)
};
