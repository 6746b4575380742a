#include "ProgressDisplay.h"

#include "BusyDisplay.h"

namespace
{
constexpr double reshowBelow = 0.95;
} // namespace

ProgressDisplay::ProgressDisplay (BusyDisplay* editorToUse, juce::Component* editorWindowToUse,
                                  juce::Component* mediaWindowToUse, double* progressToUse)
    : editor (editorToUse), editorWindow (editorWindowToUse), mediaWindow (mediaWindowToUse), progress (progressToUse)
{
}

bool ProgressDisplay::isBusy() const
{
    return editor != nullptr && editor->isBusy();
}

void ProgressDisplay::show (const juce::String& text, int paintMs)
{
    if (editor != nullptr)
    {
        editor->setBusy (true);
        editor->setBusyText (text);
    }

    blockClicks (true);

    if (auto* messages = juce::MessageManager::getInstanceWithoutCreating())
        messages->runDispatchLoopUntil (paintMs);
}

void ProgressDisplay::set (double value)
{
    if (value < reshowBelow && editor != nullptr && !editor->isBusy())
    {
        blockClicks (true);
        editor->setBusy (true);
    }

    if (progress != nullptr)
        *progress = value;

    if (mediaWindow != nullptr)
        mediaWindow->repaint();
}

void ProgressDisplay::hide()
{
    if (editor != nullptr)
        editor->setBusy (false);

    blockClicks (false);
}

void ProgressDisplay::blockClicks (bool block)
{
    for (auto* window : { editorWindow, mediaWindow })
        if (window != nullptr)
            window->setInterceptsMouseClicks (!block, !block);
}
