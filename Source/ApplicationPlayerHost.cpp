#include "ApplicationPlayerHost.h"

// Stands in until the application object lands: answers as an application without media support would.

ApplicationPlayerHost& ApplicationPlayerHost::getInstance()
{
    static ApplicationPlayerHost host;
    return host;
}

TavAudioProcessor* ApplicationPlayerHost::getProcessor()
{
    return nullptr;
}
juce::AudioFormatManager* ApplicationPlayerHost::getFormatManager()
{
    return nullptr;
}
juce::AudioDeviceManager* ApplicationPlayerHost::getDeviceManager()
{
    return nullptr;
}
juce::File ApplicationPlayerHost::getTemporaryFolder()
{
    return {};
}
bool ApplicationPlayerHost::isLooping()
{
    return true;
}
bool ApplicationPlayerHost::isIdle()
{
    return true;
}
void ApplicationPlayerHost::showProgress (const juce::String&) {}
void ApplicationPlayerHost::setProgress (double) {}
void ApplicationPlayerHost::hideProgress() {}
void ApplicationPlayerHost::showWarning (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
}
void ApplicationPlayerHost::analyzeAudioFile (const juce::File&) {}
juce::Result ApplicationPlayerHost::closeMediaDocument()
{
    return juce::Result::ok();
}
juce::Result ApplicationPlayerHost::openMediaFile (const juce::File&, bool)
{
    return juce::Result::fail ("No application.");
}
void ApplicationPlayerHost::analyzeSelection() {}
