#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <set>

/** The walk of a batch run: every media file of an input folder tree is opened, given the batch's settings
    and saved as a processed copy at the same place in an output folder tree.

    Files are taken in name order, hidden ones skipped; folders after the files, hidden ones included.
    The output tree may not be the input tree or lie inside it, and no folder is entered twice, so a folder
    link can neither lead the walk round in a loop nor into the output tree. Two inputs of one folder that
    would be saved under the same name get distinct names ("clip.mov", "clip (2).mov"). Each file is saved
    only once the application says it is ready to be, within a time limit (or given up as soon as the
    application knows it never will be); Escape cancels the run before the file in hand is saved. File
    names are handled as bytes, so names that are not valid UTF-8 keep their extension.

    What the walk needs of the application comes through a Host, so that it runs without media or windows
    in tests. Message thread only.
*/
class BatchProcessor
{
public:
    /** The application's side of a batch run. */
    class Host
    {
    public:
        virtual ~Host() = default;

        /** Opens file as the media document, showing no messages; false when it does not open as media. */
        virtual bool loadMedia (const juce::File& file) = 0;

        /** True once the opened file can be saved: opened, its sound extracted and analysed. */
        virtual bool isReadyToExport() = 0;

        /** Why the opened file can never be ready, once that is known; empty while it may still become so. */
        virtual juce::String getPreparationFailure() { return {}; }

        /** Gives the processor the settings of the moment the run started. */
        virtual void applySettings() = 0;

        /** The file a save to destination writes (the document may give it its format's extension). */
        virtual juce::File getSavedFile (const juce::File& destination) = 0;

        /** Saves a processed copy of the opened file to destination, showing a message when that fails. */
        virtual bool saveMedia (const juce::File& destination) = 0;

        /** True while the user holds the Escape key down. */
        virtual bool isCancelKeyDown() = 0;

        /** Runs the message loop for about ms milliseconds. */
        virtual void runMessageLoop (int ms) = 0;

        /** A clock in milliseconds. */
        virtual double getMillisecondCounter() = 0;
    };

    /** What a run did. */
    struct Summary
    {
        int saved = 0; ///< copies written
        int notSaved = 0; ///< media files that could not be saved
        int skipped = 0; ///< files that do not open as media
        bool cancelled = false; ///< Escape ended the run
        bool refused = false; ///< the folders were refused before anything was done
        juce::StringArray problems; ///< one line for each file or folder that went wrong

        /** True when every media file was saved and every folder could be used. */
        bool completed() const noexcept { return !cancelled && !refused && problems.isEmpty(); }

        /** The closing message of the run. */
        juce::String describe() const;
    };

    static constexpr int waitSliceMs = 10;
    static constexpr double defaultReadyTimeLimitMs = 10.0 * 60.0 * 1000.0;

    explicit BatchProcessor (Host& host, double readyTimeLimitMs = defaultReadyTimeLimitMs);

    /** Processes the tree under input into output; false when the run was refused, cancelled, or a folder
        of the output tree could not be used, which ends the run.
    */
    bool processDirectory (const juce::File& input, const juce::File& output);

    const Summary& getSummary() const noexcept { return summary; }

    /** Empty when output may receive the copies of input's tree, else why not: input must be a folder and
        output neither input nor inside it (folder links resolved).
    */
    static juce::String checkFolders (const juce::File& input, const juce::File& output);

    /** The path with every folder link resolved, for a path that need not exist yet. */
    static juce::String resolvedPath (const juce::File& file);

    /** True when path is folder or lies inside it (both resolved). */
    static bool isWithin (const juce::String& path, const juce::String& folder);

    /** The destination in folder for an input named inputName: the input's name, or, when the file it would
        be saved as is already claimed in this run, the first of "name (2)", "name (3)", ... whose saved file
        is not. The saved file's name is claimed.
    */
    static juce::File chooseDestination (const juce::File& folder, const juce::File& input,
                                         const std::function<juce::File (const juce::File&)>& savedFileFor,
                                         std::set<juce::String>& claimed);

private:
    bool walk (const juce::File& input, const juce::File& output);
    bool processFile (const juce::File& file, const juce::File& outputFolder, std::set<juce::String>& claimed);
    bool waitUntilReady (const juce::File& file);

    Host& host;
    const double readyTimeLimitMs;
    Summary summary;
    juce::String inputRoot, outputRoot;
    std::set<juce::String> visited;

    JUCE_DECLARE_NON_COPYABLE (BatchProcessor)
};
