#include "TavlinDocument.h"

#include "MediaControlsComponent.h"
#include "MediaWindow.h"
#include "TavAudioProcessor.h"
#include "TavlinApplication.h"
#include "TransportComponent.h"

namespace
{
TransportComponent* transportOf (MediaWindow* window)
{
    return window != nullptr ? window->getControls().transport.get() : nullptr;
}
} // namespace

TavlinDocument::TavlinDocument()
    : juce::FileBasedDocument ({}, "*", "Select a media file to open...", "Save media file as...")
{
}

TavlinDocument::~TavlinDocument() = default;

void TavlinDocument::setMainWindow (MediaWindow* window)
{
    mainWindow = window;
}

juce::String TavlinDocument::getDocumentTitle()
{
    return getFile().getFileName();
}

juce::Result TavlinDocument::loadDocument (const juce::File& file)
{
    auto* transport = transportOf (mainWindow);

    if (transport == nullptr || !transport->loadMedia (file.getFullPathName(), showLoadErrors))
        return juce::Result::fail ("Unable to load document.");

    openedFile = file;

    if (auto* app = TavlinApplication::getApp())
        app->setPlayerMode (true);

    return juce::Result::ok();
}

juce::Result TavlinDocument::saveDocument (const juce::File&)
{
    return juce::Result::fail ("Unable to save file.");
}

juce::File TavlinDocument::getLastDocumentOpened()
{
    return {};
}

void TavlinDocument::setLastDocumentOpened (const juce::File&) {}

juce::FileBasedDocument::SaveResult TavlinDocument::saveMedia (bool)
{
    return failedToWriteToFile;
}

juce::Result TavlinDocument::closeMedia()
{
    auto answer = savedOk;

    if (hasChangedSinceSaved() && getFile() != juce::File())
    {
        auto choice = juce::AlertWindow::showYesNoCancelBox (
            juce::MessageBoxIconType::QuestionIcon, "Apply Tavlin before closing?",
            "Do you want to save a copy of \"" + getDocumentTitle() + "\" with the current Tavlin settings?", "Yes",
            "No", "Cancel", nullptr, nullptr);

        answer = choice == 1 ? saveMedia (false) : (choice == 2 ? savedOk : userCancelledSave);
    }

    if (answer == failedToWriteToFile)
        return juce::Result::fail ("Unable to save file.");

    if (answer == userCancelledSave)
        return juce::Result::fail ("User Cancelled.");

    if (auto* transport = transportOf (mainWindow))
        transport->loadMedia ({}, false);

    if (mainWindow != nullptr)
        mainWindow->setName ({});

    setChangedFlag (false);
    setFile ({});
    openedFile = juce::File();
    analysisFile.deleteFile();
    return juce::Result::ok();
}

void TavlinDocument::analyzeMedia (const juce::File& file)
{
    if (auto* app = TavlinApplication::getApp())
        if (auto* processor = app->getProcessor())
            processor->getLearnRegion() = {};

    analysisFile = file;
}

void TavlinDocument::learnFromRegion() {}

bool TavlinDocument::readAnalysisSamples (juce::int64, int, juce::AudioBuffer<float>&)
{
    return false;
}

double TavlinDocument::getPlayerPosition()
{
    auto* transport = transportOf (mainWindow);
    return transport != nullptr ? transport->getCurrentTime() : 0.0;
}
