#include "ApplicationPlayerHost.h"

#include "TavlinApplication.h"
#include "TavlinDocument.h"
#include "TemporaryFiles.h"

namespace
{
TavlinApplication* app()
{
    return TavlinApplication::getApp();
}
} // namespace

ApplicationPlayerHost& ApplicationPlayerHost::getInstance()
{
    static ApplicationPlayerHost host;
    return host;
}

TavAudioProcessor* ApplicationPlayerHost::getProcessor()
{
    return app() != nullptr ? app()->getProcessor() : nullptr;
}

juce::AudioFormatManager* ApplicationPlayerHost::getFormatManager()
{
    return app() != nullptr ? app()->getFormatManager() : nullptr;
}

juce::AudioDeviceManager* ApplicationPlayerHost::getDeviceManager()
{
    return app() != nullptr ? &app()->getDeviceManager() : nullptr;
}

juce::File ApplicationPlayerHost::getTemporaryFolder()
{
    return TemporaryFiles::getFolder();
}

bool ApplicationPlayerHost::isLooping()
{
    return app() != nullptr && app()->isLooping();
}

bool ApplicationPlayerHost::isIdle()
{
    return app() == nullptr || app()->isIdle();
}

void ApplicationPlayerHost::showProgress (const juce::String& text)
{
    if (app() != nullptr)
        app()->showProgress (text);
}

void ApplicationPlayerHost::setProgress (double value)
{
    if (app() != nullptr)
        app()->setProgress (value);
}

void ApplicationPlayerHost::hideProgress()
{
    if (app() != nullptr)
        app()->hideProgress();
}

void ApplicationPlayerHost::showWarning (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
}

bool ApplicationPlayerHost::isAnalyzeEnabled()
{
    return app() != nullptr && app()->isAnalyzeEnabled();
}

void ApplicationPlayerHost::analyzeAudioFile (const juce::File& file)
{
    if (app() != nullptr)
        app()->analyzeAudioFile (file);
}

void ApplicationPlayerHost::mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable)
{
    if (auto* document = app() != nullptr ? app()->getDocument() : nullptr)
        document->mediaPreparationFailed (media, reason, playable);
}

void ApplicationPlayerHost::audioWriteFinished (const juce::File& destination, bool succeeded,
                                                const juce::String& error)
{
    if (auto* document = app() != nullptr ? app()->getDocument() : nullptr)
        document->audioWriteFinished (destination, succeeded, error);
    else if (!succeeded)
        juce::Logger::writeToLog ("Writing " + destination.getFullPathName() + " failed: " + error);
}

bool ApplicationPlayerHost::isDocumentChanged()
{
    auto* document = app() != nullptr ? app()->getDocument() : nullptr;
    return document != nullptr && document->hasChangedSinceSaved();
}

void ApplicationPlayerHost::setDocumentChanged (bool changed)
{
    if (auto* document = app() != nullptr ? app()->getDocument() : nullptr)
        document->setChangedFlag (changed);
}

juce::Result ApplicationPlayerHost::closeMediaDocument()
{
    return app() != nullptr ? app()->closeMediaDocument() : juce::Result::ok();
}

juce::Result ApplicationPlayerHost::openMediaFile (const juce::File& file, bool showErrors)
{
    return app() != nullptr ? app()->openMediaFile (file, showErrors) : juce::Result::fail ("No application.");
}

void ApplicationPlayerHost::analyzeSelection()
{
    if (app() != nullptr)
        app()->analyzeSelection();
}
