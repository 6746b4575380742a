#include "TemporaryFiles.h"

#include "desktop/PartialFile.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// A real folder (not a link), owned by this user; its mode is then narrowed to 0700.
bool isOwnFolder (const juce::File& folder)
{
    struct stat info;

    if (lstat (folder.getFullPathName().toRawUTF8(), &info) != 0)
        return false;

    if (!S_ISDIR (info.st_mode) || info.st_uid != geteuid())
        return false;

    if ((info.st_mode & 0777) != 0700 && chmod (folder.getFullPathName().toRawUTF8(), 0700) != 0)
        return false;

    return true;
}

bool isPlainFile (const juce::File& file)
{
    struct stat info;
    return lstat (file.getFullPathName().toRawUTF8(), &info) == 0 && !S_ISDIR (info.st_mode);
}

struct State
{
    std::mutex lock;
    juce::File fresh; // the folder made under a fresh name when the usual one was taken
    juce::Array<juce::File> shareCopies;

    static State& get()
    {
        static State state;
        return state;
    }
};
} // namespace

juce::File TemporaryFiles::getFolder()
{
    const auto parent = juce::File::getSpecialLocation (juce::File::tempDirectory);
    const auto name = "tavlin-" + juce::String ((int) geteuid());
    auto& state = State::get();
    const std::lock_guard<std::mutex> hold (state.lock);

    // Once the usual name was found taken, the fresh folder serves for as long as it stands.
    if (state.fresh != juce::File() && state.fresh.getParentDirectory() == parent && isOwnFolder (state.fresh))
        return state.fresh;

    auto folder = makePrivateFolder (parent, name);
    state.fresh = folder != parent.getChildFile (name) ? folder : juce::File();
    return folder;
}

juce::File TemporaryFiles::makePrivateFolder (const juce::File& parent, const juce::String& name)
{
    if (parent.getFullPathName().isEmpty() || name.isEmpty())
        return {};

    auto folder = parent.getChildFile (name);

    if (mkdir (folder.getFullPathName().toRawUTF8(), 0700) == 0 || errno == EEXIST)
        if (isOwnFolder (folder))
            return folder;

    // The usual name is taken by something that is not ours: make a fresh one.
    auto pattern = parent.getChildFile (name + "-XXXXXX").getFullPathName().toStdString();

    if (mkdtemp (pattern.data()) == nullptr)
        return {};

    return juce::File (juce::String (pattern.c_str()));
}

int TemporaryFiles::deleteStaleAudioFiles (const juce::File& folder)
{
    if (!folder.isDirectory())
        return 0;

    int deleted = 0;

    for (auto& file : folder.findChildFiles (juce::File::findFiles, false, "*.m4a"))
        if (file.deleteFile())
            ++deleted;

    return deleted;
}

int TemporaryFiles::deleteStaleTemporaries (const juce::File& folder)
{
    if (!folder.isDirectory())
        return 0;

    int deleted = deleteStaleAudioFiles (folder);

    for (auto& file : folder.findChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles, false, "temp_*"))
        if (isPlainFile (file) && file.deleteFile())
            ++deleted;

    return deleted + tavlin::desktop::PartialFile::removeStale (folder, 0);
}

void TemporaryFiles::addShareCopy (const juce::File& file)
{
    auto& state = State::get();
    const std::lock_guard<std::mutex> hold (state.lock);
    state.shareCopies.addIfNotAlreadyThere (file);
}

int TemporaryFiles::deleteShareCopies()
{
    juce::Array<juce::File> copies;

    {
        auto& state = State::get();
        const std::lock_guard<std::mutex> hold (state.lock);
        std::swap (copies, state.shareCopies);
    }

    int deleted = 0;

    for (auto& file : copies)
        if (isPlainFile (file) && file.deleteFile())
            ++deleted;

    return deleted;
}
