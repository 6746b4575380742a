#include "TemporaryFiles.h"

#include <cerrno>
#include <cstdlib>
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
} // namespace

juce::File TemporaryFiles::getFolder()
{
    static const juce::File folder = makePrivateFolder (juce::File::getSpecialLocation (juce::File::tempDirectory),
                                                        "tavlin-" + juce::String ((int) geteuid()));
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
