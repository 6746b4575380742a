#pragma once

#include "OpenMedia.h"
#include "SessionHost.h"
#include "ShareService.h"

#include <functional>

/** Sharing the open media: a file named after it with a running number, in the temporary folder, that a
    chosen service is handed once the processed media has been saved into it (always as a QuickTime movie,
    with the picture when the media has one). The share files go at quit. Message thread only.
*/
class MediaSharing
{
public:
    /** exportCopy saves the processed media into a file as a QuickTime movie. */
    MediaSharing (SessionHost& host, const OpenMedia& media,
                  std::function<juce::Result (const juce::File& destination)> exportCopy);

    /** Names the share file after the media with the next number, makes it empty, and shows the services
        that can take it (presentSharePicker).
    */
    void showServicePicker();

    /** A service was chosen (null: the picker was dismissed): saves the copy into the share file and hands
        it to the service.
    */
    void sharingServicePickerDidChooseSharingService (const ShareService* service);

    /** How the services are shown: the share button presents them under itself; nothing shows without one. */
    std::function<void (ShareChosen chosen)> presentSharePicker;

    const juce::File& getShareFile() const noexcept { return saveTempURL; }
    int getShareCount() const noexcept { return shareCount; }

private:
    SessionHost& host;
    const OpenMedia& media;
    std::function<juce::Result (const juce::File&)> exportCopy;
    int shareCount = 1;
    juce::File saveTempURL;

    JUCE_DECLARE_WEAK_REFERENCEABLE (MediaSharing)
    JUCE_DECLARE_NON_COPYABLE (MediaSharing)
};
