#include "PlayerHost.h"

#include "TemporaryFiles.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
/** The answers while no application runs and no test installed a host: nothing to play through, nothing
    open, nothing to report to.
*/
class NoApplicationHost : public PlayerHost
{
public:
    TavAudioProcessor* getProcessor() override { return nullptr; }
    juce::AudioFormatManager* getFormatManager() override { return nullptr; }
    juce::AudioDeviceManager* getDeviceManager() override { return nullptr; }
    juce::File getTemporaryFolder() override { return TemporaryFiles::getFolder(); }
    bool isLooping() override { return false; }
    bool isIdle() override { return true; }
    void showProgress (const juce::String&) override {}
    void setProgress (double) override {}
    void hideProgress() override {}

    void showWarning (const juce::String& title, const juce::String& message) override
    {
        juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
    }

    void analyzeAudioFile (const juce::File&) override {}
    void mediaPreparationFailed (const juce::File&, const juce::String&, bool) override {}

    bool isDocumentChanged() override { return false; }
    void setDocumentChanged (bool) override {}
    juce::Result closeMediaDocument() override { return juce::Result::ok(); }
    juce::Result openMediaFile (const juce::File&, bool) override { return juce::Result::fail ("No application."); }
    void analyzeSelection() override {}
};

PlayerHost* installedHost = nullptr;
} // namespace

PlayerHost& PlayerHost::get()
{
    if (installedHost != nullptr)
        return *installedHost;

    static NoApplicationHost none;
    return none;
}

bool PlayerHost::askOkCancel (const juce::String& title, const juce::String& message)
{
    return juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, title, message, "OK", "Cancel",
                                               nullptr, nullptr);
}

PlayerHost::Scope::Scope (PlayerHost& host) : previous (installedHost)
{
    installedHost = &host;
}

PlayerHost::Scope::~Scope()
{
    installedHost = previous;
}
