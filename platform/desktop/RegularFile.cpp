#include "RegularFile.h"

#include "FileNameBytes.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tavlin::desktop
{

juce::Result RegularFile::check (const juce::File& file)
{
    if (file.getFullPathName().isEmpty())
        return juce::Result::fail ("No file was given.");

    const auto name = "\"" + FileNameBytes::displayNameOf (file) + "\"";
    struct stat info;

    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return juce::Result::fail (name + " cannot be opened: " + juce::String (std::strerror (errno)) + ".");

    if (S_ISREG (info.st_mode))
        return juce::Result::ok();

    const char* kind = S_ISDIR (info.st_mode)                             ? "a folder"
                       : S_ISFIFO (info.st_mode)                          ? "a named pipe"
                       : S_ISCHR (info.st_mode) || S_ISBLK (info.st_mode) ? "a device"
                       : S_ISSOCK (info.st_mode)                          ? "a socket"
                                                                          : "something else";
    return juce::Result::fail (name + " is not a regular file: it is " + kind + ".");
}

} // namespace tavlin::desktop
