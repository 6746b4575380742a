#include "TavlinDocument.h"

#include "MediaControlsComponent.h"
#include "MediaWindow.h"
#include "PlayerHost.h"
#include "ProcessingAVPlayer.h"
#include "TavAudioProcessor.h"
#include "TavAudioTapProcessor.h"
#include "TavlinApplication.h"
#include "TransportComponent.h"

#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZNoiseAnalyzer.h"
#include "ZNoiseReductionBay.h"

#include "desktop/FileNameBytes.h"
#include "desktop/RegularFile.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

using tavlin::desktop::FileNameBytes;

namespace
{
constexpr float analysisSensitivity = 0.29f;
constexpr float analysisConfidence = 0.6f;

/** The path with every link in its folder resolved (the file itself need not exist). */
juce::String resolvedPath (const juce::File& file)
{
    char resolved[PATH_MAX];

    if (::realpath (file.getFullPathName().toRawUTF8(), resolved) != nullptr)
        return juce::String::fromUTF8 (resolved);

    if (::realpath (file.getParentDirectory().getFullPathName().toRawUTF8(), resolved) != nullptr)
        return juce::File (juce::String::fromUTF8 (resolved)).getChildFile (file.getFileName()).getFullPathName();

    return file.getFullPathName();
}

struct ProgressStep
{
    ProgressStep (PlayerHost& h, const juce::String& text) : host (h) { host.showProgress (text); }
    ~ProgressStep() { host.hideProgress(); }
    PlayerHost& host;
};
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
    return FileNameBytes::displayNameOf (getFile());
}

juce::File TavlinDocument::getLastDocumentOpened()
{
    return {};
}

void TavlinDocument::setLastDocumentOpened (const juce::File&) {}

//==============================================================================
juce::String TavlinDocument::getExtensionForFormat (int index)
{
    const auto* format = SaveFormat::find (index);
    return format != nullptr ? juce::String (format->extension) : juce::String();
}

int TavlinDocument::getFormatForExtension (const juce::String& extension)
{
    for (int i = 0; i < numFormats; ++i)
        if (extension.equalsIgnoreCase (SaveFormat::table[i].extension))
            return i;

    return 0;
}

bool TavlinDocument::isSameFile (const juce::File& a, const juce::File& b)
{
    if (a == juce::File() || b == juce::File())
        return false;

    struct stat sa, sb;

    if (::stat (a.getFullPathName().toRawUTF8(), &sa) == 0 && ::stat (b.getFullPathName().toRawUTF8(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;

    return resolvedPath (a) == resolvedPath (b);
}

juce::File TavlinDocument::getSuggestedSaveAsFile (const juce::File& defaultFile)
{
    auto suggested = FileNameBytes::withExtension (defaultFile, getExtensionForFormat (formatIndex));

    for (int n = 2; suggested.exists() && n < 100000; ++n)
    {
        auto sibling = FileNameBytes::siblingOf (suggested, FileNameBytes::stemOf (suggested) + " (" + juce::String (n)
                                                                + ")" + FileNameBytes::extensionOf (suggested));

        if (!sibling.exists())
            return sibling;
    }

    return suggested;
}

//==============================================================================
juce::Result TavlinDocument::openMedia (const juce::File& file, bool showErrors)
{
    showLoadErrors = showErrors;

    // The framework would refuse a folder or a missing file itself, without saying why unless asked to.
    if (auto regular = tavlin::desktop::RegularFile::check (file); regular.failed())
        return refuseToLoad (file, regular.getErrorMessage());

    return loadFrom (file, false);
}

juce::Result TavlinDocument::refuseToLoad (const juce::File& file, const juce::String& reason)
{
    if (showLoadErrors)
        showFailure (loadFailureTitle,
                     loadFailureText.replace ("FLNM", "\n" + FileNameBytes::forDisplay (file.getFullPathName()))
                         + "\n\n" + reason);

    return juce::Result::fail (loadFailure + " " + reason);
}

juce::Result TavlinDocument::loadDocument (const juce::File& file)
{
    // A named pipe or a device would hold whatever opens it.
    if (auto regular = tavlin::desktop::RegularFile::check (file); regular.failed())
        return refuseToLoad (file, regular.getErrorMessage());

    auto* transport = getTransport();

    if (transport == nullptr || !transport->loadMedia (file.getFullPathName(), showLoadErrors))
    {
        // One message says why: the player's own, else this one.
        auto* player = ProcessingAVPlayer::getInstance();

        if (player != nullptr && player->getLastLoadError().isNotEmpty())
            return juce::Result::fail (loadFailure);

        return refuseToLoad (file, loadFailure);
    }

    enterPlayerMode();
    openedFile = file;
    fileOfRecord = file;
    formatIndex = getFormatForExtension (FileNameBytes::extensionOf (file));
    return juce::Result::ok();
}

juce::FileBasedDocument::SaveResult TavlinDocument::saveMedia (bool saveAs)
{
    if (getFile() == openedFile || saveAs)
    {
        if (chooseSaveFormat() == 0)
            return userCancelledSave;

        return saveAsInteractive (true);
    }

    return save (true, true);
}

juce::Result TavlinDocument::saveDocument (const juce::File& file)
{
    const auto out = FileNameBytes::withExtension (file, getExtensionForFormat (formatIndex));

    if (isSameFile (out, openedFile))
    {
        showNoOverwrite();
        return juce::Result::fail (noOverwriteFailure);
    }

    if (out.exists() && !confirmReplace (out))
        return juce::Result::fail (userCancelledFailure);

    // An existing copy stays until the new one is complete: the export moves it into place only then, and
    // returns only after that.
    auto* transport = getTransport();

    if (transport == nullptr || !transport->exportMedia (out.getFullPathName(), formatIndex, qualityIndex))
    {
        auto* player = ProcessingAVPlayer::getInstance();
        const auto reason = player != nullptr ? player->getLastExportError() : juce::String();
        return juce::Result::fail (reason.isEmpty() ? saveFailure : saveFailure + " " + reason);
    }

    fileOfRecord = file;
    return juce::Result::ok();
}

void TavlinDocument::mediaPreparationFailed (const juce::File& media, const juce::String& reason, bool playable)
{
    if (openedFile == juce::File() || media != openedFile)
        return;

    const auto name = FileNameBytes::displayNameOf (media);

    if (!playable)
        unloadMedia();

    if (!showLoadErrors)
        return;

    if (playable)
        showFailure (preparationFailureTitle,
                     "The sound of \"" + name + "\" could not be prepared for its waveform and analysis.\n\n" + reason);
    else
        showFailure (loadFailureTitle,
                     loadFailureText.replace ("FLNM", "\n" + FileNameBytes::forDisplay (media.getFullPathName()))
                         + "\n\n" + reason);
}

juce::Result TavlinDocument::closeMedia()
{
    auto answer = savedOk;

    if (hasChangedSinceSaved() && getFile() != juce::File())
    {
        const auto choice = askApplyBeforeClosing();
        answer = choice == 1 ? saveMedia (false) : (choice == 2 ? savedOk : userCancelledSave);
    }

    if (answer == failedToWriteToFile)
        return juce::Result::fail (saveFailure);

    if (answer == userCancelledSave)
        return juce::Result::fail (closeCancelledFailure);

    unloadMedia();
    return juce::Result::ok();
}

void TavlinDocument::unloadMedia()
{
    if (auto* transport = getTransport())
        transport->loadMedia ({}, false);

    if (mainWindow != nullptr)
        mainWindow->setName ({});

    setFile ({});
    openedFile = juce::File();
    fileOfRecord = juce::File();

    if (analysisFile.existsAsFile())
        analysisFile.deleteFile();

    analysisFile = juce::File();
    setChangedFlag (false);
}

//==============================================================================
std::unique_ptr<juce::AudioFormatReader> TavlinDocument::createAnalysisReader()
{
    auto* formats = PlayerHost::get().getFormatManager();

    if (formats == nullptr || !analysisFile.existsAsFile())
        return nullptr;

    return std::unique_ptr<juce::AudioFormatReader> (formats->createReaderFor (analysisFile));
}

void TavlinDocument::readBlock (juce::AudioFormatReader* reader, juce::int64 startSample, int numSamples,
                                juce::AudioBuffer<float>& buffer)
{
    const auto n = juce::jmin (numSamples, buffer.getNumSamples());
    const auto channels = juce::jmin (2, buffer.getNumChannels());

    if (n <= 0 || channels <= 0)
        return;

    for (int c = 0; c < channels; ++c)
        buffer.clear (c, 0, n);

    if (reader == nullptr)
        return;

    // Before the start and past the end there is only silence.
    const auto from = juce::jmax<juce::int64> (0, startSample);
    const auto to = juce::jmin<juce::int64> (reader->lengthInSamples, startSample + n);

    if (to <= from)
        return;

    const auto offset = (int) (from - startSample);
    const auto count = (int) (to - from);
    float* targets[2] = { buffer.getWritePointer (0, offset),
                          channels > 1 ? buffer.getWritePointer (1, offset) : nullptr };

    if (reader->numChannels < 2 || targets[1] == nullptr)
    {
        reader->read (targets, 1, from, count);

        if (targets[1] != nullptr)
            juce::FloatVectorOperations::copy (targets[1], targets[0], count);
    }
    else
    {
        reader->read (targets, 2, from, count);
    }
}

bool TavlinDocument::readAnalysisSamples (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer)
{
    auto reader = createAnalysisReader();

    if (reader == nullptr)
        return false;

    readBlock (reader.get(), startSample, numSamples, buffer);
    return true;
}

void TavlinDocument::analyzeMedia (const juce::File& file)
{
    auto* processor = PlayerHost::get().getProcessor();
    analysisFile = file;

    if (processor == nullptr)
        return;

    processor->getLearnRegion() = {};

    // What the analyzer found in an earlier file must never be taken for this one's.
    auto& analyzer = processor->getNoiseAnalyzer();
    analyzer.prepare (0);
    analyzer.finish();

    if (!isAnalyzeEnabled())
        return;

    if (auto reader = createAnalysisReader())
        runAnalysis (*reader);
}

void TavlinDocument::runAnalysis (juce::AudioFormatReader& reader)
{
    auto& host = PlayerHost::get();
    auto* processor = host.getProcessor();
    auto& analyzer = processor->getNoiseAnalyzer();

    const auto hop = analyzer.getHopSize();
    const auto total = reader.lengthInSamples;
    juce::AudioBuffer<float> buffer (2, hop);

    analyzer.prepare (total);
    analyzer.setSensitivity (analysisSensitivity);

    {
        ProgressStep analyzing (host, "Analyzing...");
        double last = 0.0;

        for (juce::int64 position = 0; position < total; position += hop)
        {
            const double fraction = (double) position / (double) total;

            if (fraction - last > 0.05)
            {
                last = fraction;
                host.setProgress (fraction);
                juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
            }

            readBlock (&reader, position, hop, buffer);
            processor->feedNoiseAnalyzer (buffer);
        }
    }

    // The message loop ran meanwhile: the media may have gone.
    if (host.getProcessor() != processor)
        return;

    processor->finishNoiseAnalysis();

    if (analyzer.getConfidence() > analysisConfidence)
    {
        processor->getLearnRegion() = { analyzer.getStartSample(), analyzer.getLengthSamples() };
        learnFromRegion();
    }
}

void TavlinDocument::learnFromRegion()
{
    auto* processor = PlayerHost::get().getProcessor();

    if (processor == nullptr)
        return;

    auto& bay = processor->getNoiseReductionBay();
    const auto region = processor->getLearnRegion();

    // The bay sees the chain's input late by the stages ahead of it, and cuts what reaches it into frames
    // after a priming of zeros. Feeding starts early enough for the region's first sample to open a frame
    // at the bay, and learning covers exactly the frames that hold the region.
    constexpr juce::int64 block = TavAudioProcessor::chainBlockSize;
    constexpr juce::int64 frame = vesk::ZNoiseReductionBay::frameLength;
    const juce::int64 priming = vesk::ZNoiseReductionBay::primingFor ((int) block);
    const juce::int64 ahead =
        (juce::int64) processor->getDeclipper (0).getLatency() + processor->getClickAndCrackleBay().getLatency();

    const auto length = region.lengthSamples > 0 ? region.lengthSamples : 2 * (juce::int64) processor->getBlockSize();
    const auto frames = juce::jmax<juce::int64> (1, length / frame);
    const auto firstFrame = (ahead + priming + frame - 1) / frame;
    const auto feedStart = region.startSample + ahead + priming - frame * firstFrame;

    // Frame k is complete at the bay in the call that brings its input to frame k + frame - priming samples.
    const auto callCompleting = [&] (juce::int64 k) { return (frame * k + frame - priming + block - 1) / block - 1; };
    const auto startCall = callCompleting (firstFrame);
    const auto stopCall = callCompleting (firstFrame + frames - 1);

    auto reader = createAnalysisReader();
    juce::AudioBuffer<float> buffer (2, (int) block);
    juce::MidiBuffer midi;

    // A renderer may run ahead of a paused player: it waits while the pass drives the processor.
    const std::lock_guard<std::mutex> hold (TavAudioTapProcessor::getProcessorLock());
    const TavAudioProcessor::OfflineProcessing offline (*processor);
    processor->reset();

    for (juce::int64 call = 0; call <= stopCall; ++call)
    {
        if (call == startCall)
            bay.startLearning();

        // Learning ends at the frame this call completes.
        if (call == stopCall)
            bay.stopLearning();

        readBlock (reader.get(), feedStart + call * block, (int) block, buffer);
        processor->processBlockWithSize (buffer, midi, (int) block);
    }

    processor->reset();
}

//==============================================================================
double TavlinDocument::getPlayerPosition()
{
    auto* transport = getTransport();
    return transport != nullptr ? transport->getCurrentTime() : 0.0;
}

TransportComponent* TavlinDocument::getTransport()
{
    return mainWindow != nullptr ? mainWindow->getControls().transport.get() : nullptr;
}

int TavlinDocument::chooseSaveFormat()
{
    auto* app = TavlinApplication::getApp();
    return app != nullptr ? app->chooseSaveFileFormat() : 0;
}

void TavlinDocument::showNoOverwrite()
{
    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, noOverwriteTitle, noOverwriteText, "OK");
}

bool TavlinDocument::confirmReplace (const juce::File& out)
{
    return juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, replaceTitle,
                                               replaceText.replace ("DCNM", FileNameBytes::displayNameOf (out)), "OK",
                                               "Cancel", nullptr, nullptr);
}

int TavlinDocument::askApplyBeforeClosing()
{
    return juce::AlertWindow::showYesNoCancelBox (juce::MessageBoxIconType::QuestionIcon, applyTitle,
                                                  applyText.replace ("DCNM", getDocumentTitle()), "Yes", "No", "Cancel",
                                                  nullptr, nullptr);
}

bool TavlinDocument::isAnalyzeEnabled()
{
    return PlayerHost::get().isAnalyzeEnabled();
}

void TavlinDocument::showFailure (const juce::String& title, const juce::String& message)
{
    juce::Logger::writeToLog (title + " " + message);
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
}

void TavlinDocument::enterPlayerMode()
{
    if (auto* app = TavlinApplication::getApp())
        app->setPlayerMode (true);
}
