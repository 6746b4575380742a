#include "BatchProcessor.h"

#include <cstdlib>
#include <sys/stat.h>

namespace
{
bool isRegularFile (const juce::File& file)
{
    struct stat info;
    return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
}

juce::Array<juce::File> sortedChildren (const juce::File& folder, int whatToFind)
{
    auto children = folder.findChildFiles (whatToFind, false, "*", juce::File::FollowSymlinks::yes);
    std::sort (children.begin(), children.end(),
               [] (const juce::File& a, const juce::File& b) { return a.getFileName() < b.getFileName(); });
    return children;
}
} // namespace

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

    while (!existing.exists() && existing.getParentDirectory() != existing)
    {
        rest.insert (0, existing.getFileName());
        existing = existing.getParentDirectory();
    }

    juce::String path = existing.getFullPathName();

    if (auto* real = ::realpath (existing.getFullPathName().toRawUTF8(), nullptr))
    {
        path = juce::String::fromUTF8 (real);
        std::free (real);
    }

    for (auto& part : rest)
        path = juce::File (path).getChildFile (part).getFullPathName();

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
    auto candidate = folder.getChildFile (input.getFileName());

    for (int number = 2; claimed.count (savedFileFor (candidate).getFileName()) != 0; ++number)
        candidate = folder.getChildFile (input.getFileNameWithoutExtension() + " (" + juce::String (number) + ")"
                                         + input.getFileExtension());

    claimed.insert (savedFileFor (candidate).getFileName());
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

    for (auto& file : sortedChildren (input, juce::File::findFiles | juce::File::ignoreHiddenFiles))
        if (isRegularFile (file) && !processFile (file, output, claimed))
            return false;

    for (auto& folder : sortedChildren (input, juce::File::findDirectories))
    {
        const auto real = resolvedPath (folder);
        const auto isLink = real != juce::File (realInput).getChildFile (folder.getFileName()).getFullPathName();

        // A link to a folder of the input tree is left to the folder's own path; a link that leads back
        // to a folder of this run, or into the output tree, is not followed.
        if ((isLink && isWithin (real, inputRoot)) || visited.count (real) != 0 || isWithin (real, outputRoot))
            continue;

        if (!walk (folder, output.getChildFile (folder.getFileName())))
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

    if (!waitUntilReady())
    {
        if (summary.cancelled)
            return false;

        ++summary.notSaved;
        summary.problems.add ("\"" + file.getFullPathName() + "\" did not get ready to be saved in time.");
        return true;
    }

    host.applySettings();

    if (host.saveMedia (destination))
    {
        ++summary.saved;
    }
    else
    {
        ++summary.notSaved;
        summary.problems.add ("\"" + host.getSavedFile (destination).getFullPathName() + "\" could not be saved.");
    }

    return true;
}

bool BatchProcessor::waitUntilReady()
{
    const auto start = host.getMillisecondCounter();

    for (;;)
    {
        if (host.isCancelKeyDown())
        {
            summary.cancelled = true;
            return false;
        }

        if (host.isReadyToExport())
            return true;

        if (host.getMillisecondCounter() - start > readyTimeLimitMs)
            return false;

        host.runMessageLoop (waitSliceMs);
    }
}
