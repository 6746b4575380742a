#include "ApplicationBatchHost.h"

#include "MediaControlsComponent.h"
#include "MediaWindow.h"
#include "ProcessingAVPlayer.h"
#include "TavAudioProcessor.h"
#include "TavlinApplication.h"
#include "TavlinDocument.h"
#include "TransportComponent.h"

#include "desktop/FileNameBytes.h"

#include <juce_gui_basics/juce_gui_basics.h>

ApplicationBatchHost::ApplicationBatchHost (TavlinApplication& application, const juce::MemoryBlock& runSettings)
    : app (application), settings (runSettings)
{
}

bool ApplicationBatchHost::loadMedia (const juce::File& file)
{
    auto* document = app.getDocument();

    if (document == nullptr)
        return false;

    document->showLoadErrors = false;
    return document->loadFrom (file, false).wasOk();
}

bool ApplicationBatchHost::isReadyToExport()
{
    // Opened, its unprocessed sound extracted, and no import, extraction or analysis still holding the
    // progress display.
    auto* window = app.getMediaWindow();
    auto* player = ProcessingAVPlayer::getInstance();
    return window != nullptr && window->getControls().transport->mediaLoaded && app.isIdle() && player != nullptr
           && player->getExtractedFile().existsAsFile();
}

juce::String ApplicationBatchHost::getPreparationFailure()
{
    auto* player = ProcessingAVPlayer::getInstance();
    return player != nullptr ? player->getPreparationError() : juce::String ("There is no player.");
}

void ApplicationBatchHost::applySettings()
{
    if (auto* processor = app.getProcessor())
        processor->setStateInformation (settings.getData(), (int) settings.getSize());
}

juce::File ApplicationBatchHost::getSavedFile (const juce::File& destination)
{
    // The document saves under the extension of the format it chose for the opened file.
    auto* document = app.getDocument();
    return document != nullptr ? tavlin::desktop::FileNameBytes::withExtension (
               destination, TavlinDocument::getExtensionForFormat (document->formatIndex))
                               : destination;
}

bool ApplicationBatchHost::saveMedia (const juce::File& destination)
{
    // A save returns only once its copy is complete at the destination.
    auto* document = app.getDocument();
    return document != nullptr
           && document->saveAs (destination, false, false, true) == juce::FileBasedDocument::savedOk;
}

bool ApplicationBatchHost::isCancelKeyDown()
{
    // A quit asked for during the run stops it after the file at hand, as Escape does.
    return juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::escapeKey)
           || app.getPendingRequest() == TavlinApplication::PendingRequest::quit;
}

void ApplicationBatchHost::runMessageLoop (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

double ApplicationBatchHost::getMillisecondCounter()
{
    return juce::Time::getMillisecondCounterHiRes();
}
