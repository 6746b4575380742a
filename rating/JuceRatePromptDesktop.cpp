#include "JuceRatePromptDesktop.h"

JuceRatePromptDesktop::~JuceRatePromptDesktop()
{
    // Deleting the window ends its modal state; the weak reference drops the answer that follows.
    visibleAlert.reset();
}

juce::Component* JuceRatePromptDesktop::findMainWindow()
{
    if (auto* active = juce::TopLevelWindow::getActiveTopLevelWindow();
        active != nullptr && active->isShowing() && dynamic_cast<juce::AlertWindow*> (active) == nullptr)
        return active;

    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
    {
        auto* window = juce::TopLevelWindow::getTopLevelWindow (i);

        if (window->isShowing() && dynamic_cast<juce::AlertWindow*> (window) == nullptr)
            return window;
    }

    return nullptr;
}

bool JuceRatePromptDesktop::hasMainWindow()
{
    return findMainWindow() != nullptr;
}

int JuceRatePromptDesktop::answerForResult (int windowResult)
{
    switch (windowResult)
    {
        case rateResult:
            return RatePromptAlert::rated;
        case cancelResult:
            return RatePromptAlert::declined;
        default:
            return RatePromptAlert::remindLater;
    }
}

void JuceRatePromptDesktop::showAlert (const RatePromptAlert& alert, std::function<void (int)> onAnswer)
{
    auto* mainWindow = findMainWindow();

    visibleAlert = std::make_unique<juce::AlertWindow> (alert.title, alert.message,
                                                        juce::MessageBoxIconType::QuestionIcon, mainWindow);
    visibleAlert->addButton (alert.rateButton, rateResult, juce::KeyPress (juce::KeyPress::returnKey));
    visibleAlert->addButton (alert.cancelButton, cancelResult);

    if (alert.remindButton.isNotEmpty())
        visibleAlert->addButton (alert.remindButton, remindResult);

    if (mainWindow != nullptr)
        visibleAlert->centreAroundComponent (mainWindow, visibleAlert->getWidth(), visibleAlert->getHeight());

    juce::WeakReference<JuceRatePromptDesktop> self (this);

    visibleAlert->enterModalState (true,
                                   juce::ModalCallbackFunction::create (
                                       [self, onAnswer = std::move (onAnswer)] (int result)
                                       {
                                           if (self == nullptr)
                                               return;

                                           // The window goes once this callback has returned.
                                           std::unique_ptr<juce::AlertWindow> closing = std::move (self->visibleAlert);
                                           juce::ignoreUnused (closing);
                                           onAnswer (answerForResult (result));
                                       }),
                                   false);
}

void JuceRatePromptDesktop::openURL (const juce::URL& url)
{
    url.launchInDefaultBrowser();
}

void JuceRatePromptDesktop::log (const juce::String& line)
{
    juce::Logger::writeToLog (line);
}
