#pragma once

#include "MediaExporter.h"
#include "MediaImporter.h"
#include "MediaSharing.h"
#include "OpenMedia.h"
#include "SessionHost.h"
#include "SessionListener.h"
#include "SessionProcessor.h"
#include "SoundExtractor.h"

#include "media/MediaAsset.h"
#include "media/MediaComposition.h"
#include "media/MediaExportSession.h"
#include "media/MediaPlayer.h"

#include <memory>

/** The media session's player.

    It opens a media file (decoding it through the audio-format readers when the media layer finds no sound
    in it), builds the playback composition with the picture delayed by the processor's latency, plays the
    sound through the processor's tap, and tells the session's listeners what happens: the opening, the
    picture's size, the time and rate, the extracted sound. Right after each opening it extracts the
    unprocessed sound into a temporary file for the waveform and the analysis (SoundExtractor); it saves
    (MediaExporter) and shares (MediaSharing) the processed media.

    The temporary files of an opening (the decoded "TempCleanAudioP.wav" and the extracted sound) belong to
    the player and are deleted when the media is closed or replaced.

    Everything runs on the message thread.
*/
class ProcessingAVPlayer
{
public:
    ProcessingAVPlayer (SessionHost& host, SessionProcessor& processor, juce::ListenerList<SessionListener>& listeners);
    ~ProcessingAVPlayer();

    /** Starts opening a file, or a copy of asset when one is given. True once the asynchronous loading has
        started; false, with a warning when showErrors is set (and its text in getLastLoadError), for a path
        that is not a regular file, for media without sound that can be decoded and for more than 2 channels.
        A file that opens but then cannot be made ready is told to the listeners (preparationFailed).
    */
    bool loadMovie (const juce::File& url, const tavlin::media::MediaAsset* asset, bool showErrors);

    /** Why the last loadMovie refused its file; empty after one that was accepted. */
    const juce::String& getLastLoadError() const noexcept { return lastLoadError; }

    /** Why the media opened last could not be made ready (set up for playback, its sound extracted); empty
        while it is being prepared or once it is ready.
    */
    const juce::String& getPreparationError() const noexcept { return media.preparationError; }

    /** Decodes the asset's file into a new "TempCleanAudioP.wav" temporary file and re-opens the asset on it. */
    bool juceImportWithAVAsset (tavlin::media::MediaAsset& asset);

    /** The playback set-up, run once the asset's values are loaded. */
    void setUpPlaybackOfAsset (const tavlin::media::MediaComposition& composition, const juce::File& url,
                               const juce::StringArray& keys);

    /** The playback composition of an asset: its sound at 0 and its picture delayed by videoOffset. */
    static tavlin::media::MediaComposition makePlaybackComposition (const tavlin::media::MediaAsset& asset,
                                                                    tavlin::media::MediaTime videoOffset);

    /** The picture's delay for an asset: the latency the processor will have once the player's tap is
        prepared for the asset's sample rate, as an exact sample count.
    */
    tavlin::media::MediaTime videoOffsetFor (const tavlin::media::MediaAsset& asset) const;

    /** Unloads the media and deletes its temporary files. */
    void removeMovie();

    /** Seconds that can be played: the loaded range of a ready item, else 0. */
    double playableDuration() const;

    /** Channels and sample rate of the asset's first audio track; 1 and 44100 without one. */
    static int assetChannels (const tavlin::media::MediaAsset& asset);
    static double assetSampleRate (const tavlin::media::MediaAsset& asset);

    /** Extracts the unprocessed sound of a newly set-up composition into a temporary file and tells the
        listeners it is ready for the waveform and the analysis.
    */
    bool analyzeAsset (const tavlin::media::MediaComposition& asset, const juce::File& url);

    /** Decodes source through the host's audio-format readers into a WAV file at target (see MediaImporter). */
    static bool importWithAudioFormatReader (SessionHost& host, const juce::File& source, const juce::File& target);

    /** A new name in the host's temporary folder (see MediaImporter). */
    static juce::File makeTemporaryFile (SessionHost& host, const juce::String& ending);

    //==============================================================================
    tavlin::media::MediaPlayer* getPlayer() const noexcept { return media.player.get(); }
    SessionTap* getTapProcessor() const noexcept { return media.tap.get(); }
    const tavlin::media::MediaAsset* getOrigAsset() const noexcept { return media.origAsset.get(); }
    juce::Time getLastPlayStopTime() const noexcept { return media.lastPlayStopTime; }

    /** The media file opened last by path; the share file is named after it. */
    void setCurrentFile (const juce::File& file) { media.currentFile = file; }
    const juce::File& getCurrentFile() const noexcept { return media.currentFile; }

    /** The temporary files of the current media (each may be an empty File). */
    const juce::File& getImportedFile() const noexcept { return importedFile; }
    const juce::File& getExtractedFile() const noexcept { return extractedFile; }

    //==============================================================================
    // Saving and sharing

    /** Saves the processed media to url in one of the nine save formats (0 ".mov" to 8 ".mp3"; quality 0..9
        for FLAC and MP3); see MediaExporter. True once the copy is complete at url. The two flags have no
        effect.
    */
    bool exportAsset (const juce::File& url, bool performAsync, bool bogusPass, int format, int quality);

    /** The same, with why the copy was not made. */
    juce::Result exportMedia (const juce::File& url, int format, int quality);

    /** Converts processed (from offset on) into a 24-bit WAV or AIFF file at url with the rate and channels of
        opened, on a new writer queue "assetWriterQueue", and waits for it (see AudioWriterQueue).
    */
    bool exportAssetAsAudioFormat (const juce::File& processed, const tavlin::media::MediaAsset& opened,
                                   const juce::File& url, tavlin::media::MediaTime offset,
                                   tavlin::media::MediaFileType fileType);

    /** Hands a running session's progress to the progress display; logs how a finished one ended. */
    void updateProgress (const tavlin::media::MediaExportSession& session);

    /** The share button's action: names the share file after the media with a running number and shows
        the services that can take it.
    */
    void showServicePicker();

    /** A share service was chosen (null: the picker was dismissed): exports a QuickTime movie into the
        share file and hands it to the service.
    */
    void sharingServicePickerDidChooseSharingService (const ShareService* service);

    /** Waits until every WAV and AIFF conversion started so far has ended; false when the time ran out
        first (-1: no limit).
    */
    static bool waitForAudioWriters (int timeoutMs = -1);

    MediaExporter& getExporter() noexcept { return exporter; }
    MediaSharing& getSharing() noexcept { return sharing; }

    static inline const juce::String noAudioTitle { "No Audio" };
    static inline const juce::String noAudioText { "This media file does not contain any audio tracks." };
    static inline const juce::String cannotOpenTitle { "Failed to open file..." };

    static inline const juce::String importEnding { MediaImporter::importEnding };
    static inline const juce::String extractedVideoEnding { SoundExtractor::videoEnding };
    static inline const juce::String extractedAudioEnding { SoundExtractor::audioEnding };

private:
    void setUpWhenIdle (uint32_t opening, const juce::File& url);
    void preparationFailed (const juce::File& media, const juce::String& reason, bool playable);
    void rateChanged();
    void playerItemDidReachEnd();
    void releasePlayer();
    void deleteTemporaryFiles();

    SessionHost& host;
    SessionProcessor& processor;
    juce::ListenerList<SessionListener>& listeners;
    OpenMedia media;
    std::unique_ptr<tavlin::media::MediaAsset> loadingAsset;
    int timeObserverToken = 0, rateObserverToken = 0, endObserverToken = 0;
    juce::File importedFile, extractedFile;
    juce::String lastLoadError;

    SoundExtractor extractor;
    MediaExporter exporter;
    MediaSharing sharing;

    JUCE_DECLARE_WEAK_REFERENCEABLE (ProcessingAVPlayer)
    JUCE_DECLARE_NON_COPYABLE (ProcessingAVPlayer)
};
