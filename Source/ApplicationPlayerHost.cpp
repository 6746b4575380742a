#include "ApplicationPlayerHost.h"

#include "TavlinApplication.h"
#include "TavlinDocument.h"
#include "TemporaryFiles.h"

ApplicationPlayerHost::ApplicationPlayerHost (TavlinApplication& application) : app (application) {}

TavAudioProcessor* ApplicationPlayerHost::getProcessor()
{
    return app.getProcessor();
}

juce::AudioFormatManager* ApplicationPlayerHost::getFormatManager()
{
    return app.getFormatManager();
}

juce::AudioDeviceManager* ApplicationPlayerHost::getDeviceManager()
{
    return &app.getDeviceManager();
}

juce::File ApplicationPlayerHost::getTemporaryFolder()
{
    return TemporaryFiles::getFolder();
}

bool ApplicationPlayerHost::isLooping()
{
    return app.isLooping();
}

bool ApplicationPlayerHost::isIdle()
{
    return app.isIdle();
}

void ApplicationPlayerHost::showProgress (const juce::String& text)
{
    app.showProgress (text);
}

void ApplicationPlayerHost::setProgress (double value)
{
    app.setProgress (value);
}

void ApplicationPlayerHost::hideProgress()
{
    app.hideProgress();
}

void ApplicationPlayerHost::showWarning (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
}

bool ApplicationPlayerHost::isAnalyzeEnabled()
{
    return app.isAnalyzeEnabled();
}

void ApplicationPlayerHost::analyzeAudioFile (const juce::File& file)
{
    app.analyzeAudioFile (file);
}

void ApplicationPlayerHost::mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable)
{
    if (auto* document = app.getDocument())
        document->mediaPreparationFailed (media, reason, playable);
}

bool ApplicationPlayerHost::isDocumentChanged()
{
    auto* document = app.getDocument();
    return document != nullptr && document->hasChangedSinceSaved();
}

void ApplicationPlayerHost::setDocumentChanged (bool changed)
{
    if (auto* document = app.getDocument())
        document->setChangedFlag (changed);
}

juce::Result ApplicationPlayerHost::closeMediaDocument()
{
    return app.closeMediaDocument();
}

juce::Result ApplicationPlayerHost::openMediaFile (const juce::File& file, bool showErrors)
{
    return app.openMediaFile (file, showErrors);
}

void ApplicationPlayerHost::analyzeSelection()
{
    app.analyzeSelection();
}
