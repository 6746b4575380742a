#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace tavlin::desktop
{

/** File names as the file system keeps them: bytes, which need not be valid UTF-8.

    juce::String keeps such bytes as they are, but its character functions (and so File::getFileExtension,
    withFileExtension, getFileNameWithoutExtension...) misread them: "clip\xff\xfe.wav" has no ".wav" to them.
    These work on the bytes, split at '/' and '.', and agree with the framework's functions on every valid
    name. Paths are absolute, as juce::File keeps them.
*/
class FileNameBytes
{
public:
    /** The longest name the file systems in use take, in bytes. */
    static constexpr size_t maxNameBytes = 255;

    /** The bytes of a text, as they are stored. */
    static std::string bytesOf (const juce::String& text);

    /** A text holding exactly these bytes. */
    static juce::String textOf (const std::string& bytes);

    /** The last part of the path. */
    static juce::String nameOf (const juce::File& file);

    /** From the name's last '.' on, the point included; empty when the name has none. */
    static juce::String extensionOf (const juce::File& file);

    /** The name without its extension. */
    static juce::String stemOf (const juce::File& file);

    static juce::File parentOf (const juce::File& file);
    static juce::File childOf (const juce::File& folder, const juce::String& name);
    static juce::File siblingOf (const juce::File& file, const juce::String& name);

    /** The file with its extension replaced (a point is added when extension lacks one; empty: none). */
    static juce::File withExtension (const juce::File& file, const juce::String& extension);

    /** The text cut to at most maxBytes bytes, never inside a character. */
    static juce::String truncated (const juce::String& text, size_t maxBytes);

    static bool isValidUtf8 (const juce::String& text);

    /** A text that can be shown: invalid bytes become U+FFFD. */
    static juce::String forDisplay (const juce::String& text);

    /** The file's name for messages and titles. */
    static juce::String displayNameOf (const juce::File& file) { return forDisplay (nameOf (file)); }

    /** The entries directly inside folder, read as bytes, sorted by name. wantFolders chooses folders (links
        to folders included) or everything else; hidden entries (a leading '.') only when asked.
    */
    static juce::Array<juce::File> listFolder (const juce::File& folder, bool wantFolders, bool includeHidden);
};

} // namespace tavlin::desktop
