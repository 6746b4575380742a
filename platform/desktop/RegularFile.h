#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::desktop
{

/** The check every way into the program makes before it opens a file.

    Opening a named pipe for reading waits for a writer, a device can give endless data or act when opened,
    and a folder is no document: all are refused by their kind, which stat tells without opening anything.
*/
class RegularFile
{
public:
    /** Ok for a regular file (a link to one included); otherwise fails with one text saying what it is. */
    static juce::Result check (const juce::File& file);

    static bool is (const juce::File& file) { return check (file).wasOk(); }
};

} // namespace tavlin::desktop
