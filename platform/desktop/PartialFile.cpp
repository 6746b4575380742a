#include "PartialFile.h"

#include "FileNameBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tavlin::desktop
{

namespace
{
const std::string marker = ".partial-";
constexpr size_t hexDigits = 16;

/** The partial files being written in this process, and the folders swept in this run. */
struct Registry
{
    std::mutex lock;
    std::set<std::string> live, swept;

    static Registry& get()
    {
        static Registry registry;
        return registry;
    }
};

bool isHex (char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}
} // namespace

PartialFile::PartialFile (const juce::File& destinationToUse) : destination (destinationToUse)
{
    const auto folder = FileNameBytes::parentOf (destination);
    auto& registry = Registry::get();
    bool firstInFolder;

    {
        const std::lock_guard<std::mutex> hold (registry.lock);
        firstInFolder = registry.swept.insert (FileNameBytes::bytesOf (folder.getFullPathName())).second;
    }

    if (firstInFolder)
        removeStale (folder);

    const auto number = (juce::uint64) juce::Random::getSystemRandom().nextInt64();
    file = FileNameBytes::siblingOf (destination, nameFor (FileNameBytes::nameOf (destination), number));

    const std::lock_guard<std::mutex> hold (registry.lock);
    registry.live.insert (FileNameBytes::bytesOf (file.getFullPathName()));
}

PartialFile::~PartialFile()
{
    if (!placed)
        ::unlink (file.getFullPathName().toRawUTF8());

    auto& registry = Registry::get();
    const std::lock_guard<std::mutex> hold (registry.lock);
    registry.live.erase (FileNameBytes::bytesOf (file.getFullPathName()));
}

bool PartialFile::moveIntoPlace (juce::String& error)
{
    if (::rename (file.getFullPathName().toRawUTF8(), destination.getFullPathName().toRawUTF8()) != 0)
    {
        error = "\"" + FileNameBytes::displayNameOf (destination)
                + "\" could not be put in place: " + juce::String (std::strerror (errno)) + ".";
        return false;
    }

    placed = true;
    return true;
}

juce::String PartialFile::nameFor (const juce::String& destinationName, juce::uint64 number)
{
    const auto name = FileNameBytes::bytesOf (destinationName);
    const auto dot = name.rfind ('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr (0, dot);
    std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr (dot);

    char digits[hexDigits + 1];
    std::snprintf (digits, sizeof (digits), "%016llx", (unsigned long long) number);

    // The extension is kept when it fits; the stem gives way first.
    const size_t fixed = 1 + marker.size() + hexDigits;

    if (fixed + extension.size() > FileNameBytes::maxNameBytes)
        extension.clear();

    const auto stemRoom = FileNameBytes::maxNameBytes - fixed - extension.size();
    stem = FileNameBytes::bytesOf (FileNameBytes::truncated (FileNameBytes::textOf (stem), stemRoom));

    return FileNameBytes::textOf ("." + stem + marker + digits + extension);
}

bool PartialFile::isPartialName (const juce::String& text)
{
    const auto name = FileNameBytes::bytesOf (text);

    if (name.empty() || name[0] != '.')
        return false;

    const auto at = name.rfind (marker);

    if (at == std::string::npos || at == 0)
        return false;

    auto i = at + marker.size();
    const auto digitsStart = i;

    while (i < name.size() && isHex (name[i]))
        ++i;

    const auto digits = i - digitsStart;

    if (digits == 0 || digits > hexDigits)
        return false;

    // Nothing but an extension may follow.
    return i == name.size() || (name[i] == '.' && name.find ('.', i + 1) == std::string::npos);
}

int PartialFile::removeStale (const juce::File& folder, int minimumIdleSeconds)
{
    const auto path = FileNameBytes::bytesOf (folder.getFullPathName());
    std::unique_ptr<DIR, int (*) (DIR*)> dir (::opendir (path.c_str()), ::closedir);

    if (dir == nullptr)
        return 0;

    auto& registry = Registry::get();
    const auto now = std::time (nullptr);
    int removed = 0;
    const auto prefix = path.back() == '/' ? path : path + "/";

    while (const auto* entry = ::readdir (dir.get()))
    {
        const std::string name (entry->d_name);

        if (!isPartialName (FileNameBytes::textOf (name)))
            continue;

        const auto full = prefix + name;
        struct stat info;

        // Only plain files of this user that have been left alone for a while.
        if (::lstat (full.c_str(), &info) != 0 || !S_ISREG (info.st_mode) || info.st_uid != ::geteuid()
            || now - info.st_mtime < minimumIdleSeconds)
            continue;

        const std::lock_guard<std::mutex> hold (registry.lock);

        if (registry.live.count (full) == 0 && ::unlink (full.c_str()) == 0)
            ++removed;
    }

    return removed;
}

} // namespace tavlin::desktop
