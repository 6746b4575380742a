#include "BatchProcessor.h"

#include "desktop/FileNameBytes.h"
#include "desktop/RegularFile.h"

#include <cstdlib>

using tavlin::desktop::FileNameBytes;

juce::String BatchProcessor::Summary::describe() const
{
    if (cancelled)
        return "Batch File Processing was canceled.";

    if (refused)
        return problems.joinIntoString ("\n");

    if (completed())
        return "Batch File Processing has completed.";

    juce::String text = "Batch File Processing did not complete: ";

    if (notSaved > 0)
        text << notSaved << " of " << (saved + notSaved) << " files could not be saved.";
    else
        text << "part of the output could not be written.";

    constexpr int maxLines = 8;

    for (int i = 0; i < juce::jmin (maxLines, problems.size()); ++i)
        text << "\n" << problems[i];

    if (problems.size() > maxLines)
        text << "\n(" << (problems.size() - maxLines) << " more)";

    return text;
}

BatchProcessor::BatchProcessor (Host& hostToUse, double timeLimitMs) : host (hostToUse), readyTimeLimitMs (timeLimitMs)
{
}

bool BatchProcessor::processDirectory (const juce::File& input, const juce::File& output)
{
    summary = {};
    visited.clear();

    auto refusal = checkFolders (input, output);

    if (refusal.isNotEmpty())
    {
        summary.refused = true;
        summary.problems.add (refusal);
        return false;
    }

    inputRoot = resolvedPath (input);
    outputRoot = resolvedPath (output);
    return walk (input, output);
}

juce::String BatchProcessor::checkFolders (const juce::File& input, const juce::File& output)
{
    if (!input.isDirectory())
        return "The input folder \"" + input.getFullPathName() + "\" does not exist.";

    if (isWithin (resolvedPath (output), resolvedPath (input)))
        return "The output folder cannot be the input folder or lie inside it. Please choose an output folder "
               "outside \""
               + input.getFullPathName() + "\".";

    return {};
}

juce::String BatchProcessor::resolvedPath (const juce::File& file)
{
    // The nearest part of the path that exists is resolved; the rest is appended as it stands.
    juce::StringArray rest;
    auto existing = file;

    while (!existing.exists() && FileNameBytes::parentOf (existing) != existing)
    {
        rest.insert (0, FileNameBytes::nameOf (existing));
        existing = FileNameBytes::parentOf (existing);
    }

    juce::String path = existing.getFullPathName();

    if (auto* real = ::realpath (existing.getFullPathName().toRawUTF8(), nullptr))
    {
        path = FileNameBytes::textOf (real);
        std::free (real);
    }

    for (auto& part : rest)
        path = FileNameBytes::childOf (juce::File (path), part).getFullPathName();

    return path;
}

bool BatchProcessor::isWithin (const juce::String& path, const juce::String& folder)
{
    const auto withSeparator = folder.endsWithChar ('/') ? folder : folder + "/";
    return path == folder || path.startsWith (withSeparator);
}

juce::File BatchProcessor::chooseDestination (const juce::File& folder, const juce::File& input,
                                              const std::function<juce::File (const juce::File&)>& savedFileFor,
                                              std::set<juce::String>& claimed)
{
    auto candidate = FileNameBytes::childOf (folder, FileNameBytes::nameOf (input));

    for (int number = 2; claimed.count (FileNameBytes::nameOf (savedFileFor (candidate))) != 0; ++number)
        candidate = FileNameBytes::childOf (folder, FileNameBytes::stemOf (input) + " (" + juce::String (number) + ")"
                                                        + FileNameBytes::extensionOf (input));

    claimed.insert (FileNameBytes::nameOf (savedFileFor (candidate)));
    return candidate;
}

bool BatchProcessor::walk (const juce::File& input, const juce::File& output)
{
    if (summary.cancelled)
        return false;

    const auto realInput = resolvedPath (input);
    visited.insert (realInput);

    if (!output.createDirectory())
    {
        summary.problems.add ("The folder \"" + output.getFullPathName() + "\" could not be created.");
        return false;
    }

    if (isWithin (resolvedPath (output), inputRoot))
    {
        summary.problems.add ("The folder \"" + output.getFullPathName() + "\" leads into the input folder.");
        return false;
    }

    std::set<juce::String> claimed;

    // Named pipes, devices and the like are no media: they are never opened.
    for (auto& file : FileNameBytes::listFolder (input, false, false))
        if (tavlin::desktop::RegularFile::is (file) && !processFile (file, output, claimed))
            return false;

    for (auto& folder : FileNameBytes::listFolder (input, true, true))
    {
        const auto real = resolvedPath (folder);
        const auto isLink =
            real != FileNameBytes::childOf (juce::File (realInput), FileNameBytes::nameOf (folder)).getFullPathName();

        // A link to a folder of the input tree is left to the folder's own path; a link that leads back
        // to a folder of this run, or into the output tree, is not followed.
        if ((isLink && isWithin (real, inputRoot)) || visited.count (real) != 0 || isWithin (real, outputRoot))
            continue;

        if (!walk (folder, FileNameBytes::childOf (output, FileNameBytes::nameOf (folder))))
            return false;
    }

    return true;
}

bool BatchProcessor::processFile (const juce::File& file, const juce::File& outputFolder,
                                  std::set<juce::String>& claimed)
{
    if (!host.loadMedia (file))
    {
        ++summary.skipped;
        return true;
    }

    // The name is chosen once the document knows the file, and so its format.
    auto destination = chooseDestination (
        outputFolder, file, [this] (const juce::File& f) { return host.getSavedFile (f); }, claimed);

    if (!waitUntilReady (file))
        return !summary.cancelled;

    host.applySettings();

    if (host.saveMedia (destination))
    {
        ++summary.saved;
    }
    else
    {
        ++summary.notSaved;
        summary.problems.add ("\"" + FileNameBytes::forDisplay (host.getSavedFile (destination).getFullPathName())
                              + "\" could not be saved.");
    }

    return true;
}

bool BatchProcessor::waitUntilReady (const juce::File& file)
{
    const auto start = host.getMillisecondCounter();
    const auto name = "\"" + FileNameBytes::forDisplay (file.getFullPathName()) + "\"";

    for (;;)
    {
        if (host.isCancelKeyDown())
        {
            summary.cancelled = true;
            return false;
        }

        if (host.isReadyToExport())
            return true;

        const auto failure = host.getPreparationFailure();

        if (failure.isNotEmpty() || host.getMillisecondCounter() - start > readyTimeLimitMs)
        {
            ++summary.notSaved;
            summary.problems.add (failure.isNotEmpty() ? name + " could not be prepared: " + failure
                                                       : name + " did not get ready to be saved in time.");
            return false;
        }

        host.runMessageLoop (waitSliceMs);
    }
}
