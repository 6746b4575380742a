#include "TavlinDocument.h"

#include "MediaWindow.h"
#include "TavAudioProcessor.h"

#include "desktop/FileNameBytes.h"
#include "desktop/RegularFile.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

using tavlin::desktop::FileNameBytes;

namespace
{
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
} // namespace

TavlinDocument::TavlinDocument (MediaSession& sessionToUse, TavAudioProcessor& processor, DocumentHost& hostToUse)
    : juce::FileBasedDocument ({}, "*", "Select a media file to open...", "Save media file as..."),
      session (sessionToUse), host (hostToUse), analysis (processor.getChain(), sessionToUse.getHost())
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

    // A refusal has told why already (when showLoadErrors is set): the session's own message.
    if (session.open (file, showLoadErrors).failed())
        return juce::Result::fail (loadFailure);

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
    if (const auto saved = session.save (out, formatIndex, qualityIndex); saved.failed())
        return juce::Result::fail (saveFailure + " " + saved.getErrorMessage());

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
    session.close();

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
bool TavlinDocument::readAnalysisSamples (juce::int64 startSample, int numSamples, juce::AudioBuffer<float>& buffer)
{
    return analysis.readSamples (analysisFile, startSample, numSamples, buffer);
}

void TavlinDocument::analyzeMedia (const juce::File& file)
{
    analysisFile = file;
    analysis.clearResults();

    if (isAnalyzeEnabled() && analysis.findNoise (file))
        learnFromRegion();
}

void TavlinDocument::learnFromRegion()
{
    analysis.learnFromRegion (analysisFile);
}

//==============================================================================
double TavlinDocument::getPlayerPosition()
{
    return session.getCurrentTime();
}

int TavlinDocument::chooseSaveFormat()
{
    return host.chooseSaveFormat();
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
    return host.isAnalyzeEnabled();
}

void TavlinDocument::showFailure (const juce::String& title, const juce::String& message)
{
    juce::Logger::writeToLog (title + " " + message);
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message, "OK");
}

void TavlinDocument::enterPlayerMode()
{
    host.enterPlayerMode();
}
