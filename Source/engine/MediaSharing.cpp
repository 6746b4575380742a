#include "MediaSharing.h"

#include "TemporaryFiles.h"

#include "desktop/FileNameBytes.h"

using tavlin::desktop::FileNameBytes;

MediaSharing::MediaSharing (SessionHost& hostToUse, const OpenMedia& mediaToUse,
                            std::function<juce::Result (const juce::File&)> exportCopyToUse)
    : host (hostToUse), media (mediaToUse), exportCopy (std::move (exportCopyToUse))
{
}

void MediaSharing::showServicePicker()
{
    if (media.currentFile == juce::File())
        return;

    const auto folder = host.getTemporaryFolder();

    if (folder == juce::File() || !folder.isDirectory())
        return;

    // Named after the media; the content is always a QuickTime movie, and so is the ending. The name is
    // cut where needed to stay within the file system's limit, and the copy goes at quit.
    const auto n = shareCount++;
    const auto ending = "-" + juce::String (n) + ".mov";
    const auto name = FileNameBytes::truncated (FileNameBytes::stemOf (media.currentFile),
                                                FileNameBytes::maxNameBytes - (size_t) ending.length());
    saveTempURL = FileNameBytes::childOf (folder, name + ending);
    saveTempURL.create();
    TemporaryFiles::addShareCopy (saveTempURL);

    if (presentSharePicker == nullptr)
        return;

    juce::WeakReference<MediaSharing> self (this);
    presentSharePicker (
        [self] (const ShareService* service)
        {
            if (auto* sharing = self.get())
                sharing->sharingServicePickerDidChooseSharingService (service);
        });
}

void MediaSharing::sharingServicePickerDidChooseSharingService (const ShareService* service)
{
    if (service == nullptr || saveTempURL == juce::File())
        return;

    const auto file = saveTempURL;
    file.deleteFile();

    if (const auto saved = exportCopy (file); saved.failed())
    {
        host.showWarning ("Error writing to file...",
                          "The media could not be prepared for sharing.\n\n" + saved.getErrorMessage());
        return;
    }

    if (service->perform != nullptr && !service->perform (file))
        host.showWarning ("Sharing failed", "\"" + service->title + "\" could not be started.");
}
