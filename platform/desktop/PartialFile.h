#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::desktop
{

/** A hidden file beside a destination, written first and moved over the destination once complete, so
    that a failed or interrupted save never leaves a half-written file under the destination's name.

    Its name is ".", the destination's name without its extension, ".partial-", 16 hexadecimal digits and
    the extension, shortened where needed to stay within the file system's 255-byte name limit. One that
    a crash left behind is removed by the first save into its folder in a later run.
*/
class PartialFile
{
public:
    /** Chooses the name (nothing is created yet); removes stale partial files in the folder once per run. */
    explicit PartialFile (const juce::File& destination);

    /** Removes the file unless it was moved into place. */
    ~PartialFile();

    const juce::File& getFile() const noexcept { return file; }
    const juce::File& getDestination() const noexcept { return destination; }

    /** Renames the file over the destination; false with a text when that fails. */
    bool moveIntoPlace (juce::String& error);

    /** The hidden name for a destination name and a number. */
    static juce::String nameFor (const juce::String& destinationName, juce::uint64 number);

    /** True for names that nameFor gives (and that earlier versions gave). */
    static bool isPartialName (const juce::String& name);

    /** Removes this user's partial files directly inside folder that no save of this process is writing
        and that have not changed for minimumIdleSeconds; returns how many.
    */
    static int removeStale (const juce::File& folder, int minimumIdleSeconds = defaultIdleSeconds);

    static constexpr int defaultIdleSeconds = 60;

private:
    juce::File destination, file;
    bool placed = false;

    JUCE_DECLARE_NON_COPYABLE (PartialFile)
};

} // namespace tavlin::desktop
