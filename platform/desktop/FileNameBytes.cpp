#include "FileNameBytes.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace tavlin::desktop
{

namespace
{
size_t nameStart (const std::string& path)
{
    const auto slash = path.rfind ('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

/** The length of the valid UTF-8 sequence at i, or 0 when none starts there. */
size_t sequenceLength (const std::string& s, size_t i)
{
    const auto byte = (unsigned char) s[i];

    if (byte < 0x80)
        return 1;

    size_t length;
    uint32_t value;

    if ((byte & 0xe0) == 0xc0)
        length = 2, value = byte & 0x1fu;
    else if ((byte & 0xf0) == 0xe0)
        length = 3, value = byte & 0x0fu;
    else if ((byte & 0xf8) == 0xf0)
        length = 4, value = byte & 0x07u;
    else
        return 0;

    if (i + length > s.size())
        return 0;

    for (size_t k = 1; k < length; ++k)
    {
        const auto next = (unsigned char) s[i + k];

        if ((next & 0xc0) != 0x80)
            return 0;

        value = (value << 6) | (next & 0x3fu);
    }

    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t smallest[] = { 0, 0, 0x80, 0x800, 0x10000 };

    if (value < smallest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;

    return length;
}
} // namespace

std::string FileNameBytes::bytesOf (const juce::String& text)
{
    // Up to the terminating zero: the framework's own byte count decodes, and stops early on some bytes.
    return std::string (text.toRawUTF8());
}

juce::String FileNameBytes::textOf (const std::string& bytes)
{
    // Copied as they are, also where they are not UTF-8 (which fromUTF8 requires); without an end pointer the
    // framework would re-encode them.
    const auto* start = bytes.data();
    return bytes.empty() ? juce::String()
                         : juce::String (juce::CharPointer_UTF8 (start), juce::CharPointer_UTF8 (start + bytes.size()));
}

juce::String FileNameBytes::nameOf (const juce::File& file)
{
    const auto path = bytesOf (file.getFullPathName());
    return textOf (path.substr (nameStart (path)));
}

juce::String FileNameBytes::extensionOf (const juce::File& file)
{
    const auto name = bytesOf (nameOf (file));
    const auto dot = name.rfind ('.');
    return dot == std::string::npos ? juce::String() : textOf (name.substr (dot));
}

juce::String FileNameBytes::stemOf (const juce::File& file)
{
    const auto name = bytesOf (nameOf (file));
    const auto dot = name.rfind ('.');
    return textOf (dot == std::string::npos || dot == 0 ? name : name.substr (0, dot));
}

juce::File FileNameBytes::parentOf (const juce::File& file)
{
    const auto path = bytesOf (file.getFullPathName());
    const auto start = nameStart (path);

    if (start <= 1)
        return juce::File ("/");

    return juce::File (textOf (path.substr (0, start - 1)));
}

juce::File FileNameBytes::childOf (const juce::File& folder, const juce::String& name)
{
    auto path = bytesOf (folder.getFullPathName());

    if (path.empty() || path.back() != '/')
        path += '/';

    return juce::File (textOf (path + bytesOf (name)));
}

juce::File FileNameBytes::siblingOf (const juce::File& file, const juce::String& name)
{
    return childOf (parentOf (file), name);
}

juce::File FileNameBytes::withExtension (const juce::File& file, const juce::String& extension)
{
    auto name = bytesOf (nameOf (file));
    const auto dot = name.rfind ('.');

    if (dot != std::string::npos)
        name.resize (dot);

    const auto added = bytesOf (extension);

    if (!added.empty() && added[0] != '.')
        name += '.';

    return siblingOf (file, textOf (name + added));
}

juce::String FileNameBytes::truncated (const juce::String& text, size_t maxBytes)
{
    auto bytes = bytesOf (text);

    if (bytes.size() <= maxBytes)
        return text;

    // Back to the start of the character that would be cut.
    size_t end = maxBytes;

    while (end > 0 && ((unsigned char) bytes[end] & 0xc0) == 0x80)
        --end;

    bytes.resize (end);
    return textOf (bytes);
}

bool FileNameBytes::isValidUtf8 (const juce::String& text)
{
    const auto bytes = bytesOf (text);

    for (size_t i = 0; i < bytes.size();)
    {
        const auto n = sequenceLength (bytes, i);

        if (n == 0)
            return false;

        i += n;
    }

    return true;
}

juce::String FileNameBytes::forDisplay (const juce::String& text)
{
    const auto bytes = bytesOf (text);
    std::string shown;

    for (size_t i = 0; i < bytes.size();)
    {
        const auto n = sequenceLength (bytes, i);

        if (n == 0)
        {
            shown += "\xef\xbf\xbd";
            ++i;
        }
        else
        {
            shown.append (bytes, i, n);
            i += n;
        }
    }

    return textOf (shown);
}

juce::Array<juce::File> FileNameBytes::listFolder (const juce::File& folder, bool wantFolders, bool includeHidden)
{
    juce::Array<juce::File> found;
    const auto path = bytesOf (folder.getFullPathName());
    std::unique_ptr<DIR, int (*) (DIR*)> dir (::opendir (path.c_str()), ::closedir);

    if (dir == nullptr)
        return found;

    std::vector<std::string> names;
    const auto prefix = path.back() == '/' ? path : path + "/";

    while (const auto* entry = ::readdir (dir.get()))
    {
        const std::string name (entry->d_name);

        if (name == "." || name == ".." || (!includeHidden && name[0] == '.'))
            continue;

        struct stat info;
        const auto full = prefix + name;
        const bool isFolder = ::stat (full.c_str(), &info) == 0 && S_ISDIR (info.st_mode);

        if (isFolder == wantFolders)
            names.push_back (name);
    }

    std::sort (names.begin(), names.end());

    for (const auto& name : names)
        found.add (childOf (folder, textOf (name)));

    return found;
}

} // namespace tavlin::desktop
