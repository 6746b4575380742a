#include "ApplicationBatchHost.h"

#include "MediaSession.h"
#include "TavAudioProcessor.h"
#include "TavlinDocument.h"

#include "desktop/FileNameBytes.h"

#include <juce_gui_basics/juce_gui_basics.h>

ApplicationBatchHost::ApplicationBatchHost (TavlinDocument& documentToUse, MediaSession& sessionToUse,
                                            TavAudioProcessor& processorToUse, const juce::MemoryBlock& runSettings,
                                            std::function<bool()> stopRequested)
    : document (documentToUse), session (sessionToUse), processor (processorToUse), settings (runSettings),
      isStopRequested (std::move (stopRequested))
{
}

bool ApplicationBatchHost::loadMedia (const juce::File& file)
{
    document.showLoadErrors = false;
    return document.loadFrom (file, false).wasOk();
}

bool ApplicationBatchHost::isReadyToExport()
{
    // Opened, its unprocessed sound extracted, and no import, extraction or analysis still holding the
    // progress display.
    return session.hasMedia() && session.getHost().isIdle() && session.getPlayer().getExtractedFile().existsAsFile();
}

juce::String ApplicationBatchHost::getPreparationFailure()
{
    return session.getPlayer().getPreparationError();
}

void ApplicationBatchHost::applySettings()
{
    processor.setStateInformation (settings.getData(), (int) settings.getSize());
}

juce::File ApplicationBatchHost::getSavedFile (const juce::File& destination)
{
    // The document saves under the extension of the format it chose for the opened file.
    return tavlin::desktop::FileNameBytes::withExtension (destination,
                                                          TavlinDocument::getExtensionForFormat (document.formatIndex));
}

bool ApplicationBatchHost::saveMedia (const juce::File& destination)
{
    // A save returns only once its copy is complete at the destination.
    return document.saveAs (destination, false, false, true) == juce::FileBasedDocument::savedOk;
}

bool ApplicationBatchHost::isCancelKeyDown()
{
    // A quit asked for during the run stops it after the file at hand, as Escape does.
    return juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::escapeKey)
           || (isStopRequested != nullptr && isStopRequested());
}

void ApplicationBatchHost::runMessageLoop (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

double ApplicationBatchHost::getMillisecondCounter()
{
    return juce::Time::getMillisecondCounterHiRes();
}
