#include "TavlinSettingsDocument.h"

#include "StateBlob.h"
#include "TavAudioProcessor.h"

#include "desktop/FileNameBytes.h"
#include "desktop/PartialFile.h"
#include "desktop/RegularFile.h"

namespace
{
// getStateInformation replaces the whole block; one it leaves alone still holds these zero bytes.
constexpr size_t initialBlockBytes = 65536;
} // namespace

TavlinSettingsDocument::TavlinSettingsDocument (TavAudioProcessor& processorToUse)
    : juce::FileBasedDocument (".tvp", "*", "Select a settings file to open...", "Save settings as..."),
      processor (processorToUse)
{
}

TavlinSettingsDocument::~TavlinSettingsDocument() = default;

juce::Result TavlinSettingsDocument::loadPreset (const juce::File& file, bool showMessageOnFailure)
{
    // The framework would call a folder a file that does not exist; the check says what it is.
    auto regular = tavlin::desktop::RegularFile::check (file);

    if (regular.wasOk())
        return loadFrom (file, showMessageOnFailure);

    if (showMessageOnFailure)
        juce::AlertWindow::showMessageBoxAsync (
            juce::MessageBoxIconType::WarningIcon, "Failed to open file...",
            juce::String ("There was an error while trying to load the file: FLNM")
                    .replace ("FLNM", "\n" + tavlin::desktop::FileNameBytes::forDisplay (file.getFullPathName()))
                + "\n\n" + regular.getErrorMessage());

    return regular;
}

void TavlinSettingsDocument::loadPresetInteractive()
{
    juce::FileChooser chooser ("Select a settings file to open...", getLastDocumentOpened(), "*");

    if (chooser.browseForFileToOpen())
        loadPreset (chooser.getResult(), true);
}

juce::String TavlinSettingsDocument::getDocumentTitle()
{
    return getFile().getFileName();
}

juce::Result TavlinSettingsDocument::loadDocument (const juce::File& file)
{
    if (!file.exists())
        return juce::Result::fail ("The preset file could not be found.");

    // A named pipe or a device would hold the read below forever.
    if (auto regular = tavlin::desktop::RegularFile::check (file); regular.failed())
        return regular;

    if (file.getSize() > maxPresetBytes)
        return juce::Result::fail ("The file is too large to be a Tavlin preset (at most "
                                   + juce::String (maxPresetBytes) + " bytes).");

    juce::MemoryBlock data;

    if (!file.loadFileAsData (data) || (juce::int64) data.getSize() != file.getSize())
        return juce::Result::fail ("The preset file could not be read.");

    if (!processor.restoreState (data.getData(), (int) data.getSize()))
        return juce::Result::fail ("The file does not hold Tavlin settings.");

    return juce::Result::ok();
}

juce::Result TavlinSettingsDocument::saveDocument (const juce::File& file)
{
    juce::MemoryBlock block (initialBlockBytes, true);
    processor.getStateInformation (block);

    if (StateBlob::read (block.getData(), block.getSize()) == nullptr)
        return juce::Result::fail ("Tavlin could not produce its settings.");

    if ((juce::int64) block.getSize() > maxPresetBytes)
        return juce::Result::fail ("The settings are too large for a preset file.");

    if (file.isDirectory())
        return juce::Result::fail ("A folder of that name is in the way.");

    // Written beside the target first, so a failure leaves the target as it was.
    tavlin::desktop::PartialFile temporary (file);

    {
        juce::FileOutputStream out (temporary.getFile());

        if (!out.openedOk() || !out.write (block.getData(), block.getSize()))
            return juce::Result::fail ("The preset file could not be written.");

        out.flush();

        if (out.getStatus().failed())
            return juce::Result::fail ("The preset file could not be written: " + out.getStatus().getErrorMessage());
    }

    juce::String error;

    if (temporary.getFile().getSize() != (juce::int64) block.getSize() || !temporary.moveIntoPlace (error))
        return juce::Result::fail ("The preset file could not be written." + (error.isEmpty() ? "" : " " + error));

    return juce::Result::ok();
}

juce::File TavlinSettingsDocument::getLastDocumentOpened()
{
    return {};
}

void TavlinSettingsDocument::setLastDocumentOpened (const juce::File&) {}
