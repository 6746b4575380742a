#pragma once

#include "CustomBoundsConstrainer.h"
#include "SharePicker.h"
#include "TavAudioTapProcessor.h"

#include "gui/VideoFrameComponent.h"
#include "media/MediaAsset.h"
#include "media/MediaComposition.h"
#include "media/MediaExportSession.h"
#include "media/MediaPlayer.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <functional>
#include <memory>

class MediaContainerComponent;
class PlayerHost;

/** The application's one media player.

    It opens a media file (decoding it through the audio-format readers when the media layer finds no sound
    in it), builds the playback composition with the picture delayed by the processor's latency, plays the
    sound through the processor's tap, sizes the media window to the media, and tells the media view when
    the position or the rate changes. Right after each opening it extracts the unprocessed sound into a
    temporary file for the waveform and the analysis.

    The temporary files of an opening (the decoded "TempCleanAudioP.wav" and the extracted sound) belong to
    the player and are deleted when the media is closed or replaced.

    Everything runs on the message thread.
*/
class ProcessingAVPlayer
{
public:
    /** Makes the player and, when there is none yet, the process-wide reference to it. */
    explicit ProcessingAVPlayer (PlayerHost& host);
    ~ProcessingAVPlayer();

    /** The one player, or null. */
    static ProcessingAVPlayer* getInstance() noexcept;

    /** Binds the media view that shows the media; makes the window's resize rule. */
    void setMCC (MediaContainerComponent* mediaView);

    /** Starts opening a file, or a copy of asset when one is given. True once the asynchronous loading has
        started; false, with a warning when showErrors is set (and its text in getLastLoadError), for a path
        that is not a regular file, for media without sound that can be decoded and for more than 2 channels.
        A file that opens but then cannot be made ready is told to the host (mediaPreparationFailed).
    */
    bool loadMovie (const juce::File& url, const tavlin::media::MediaAsset* asset, bool showErrors);

    /** Why the last loadMovie refused its file; empty after one that was accepted. */
    const juce::String& getLastLoadError() const noexcept { return lastLoadError; }

    /** Why the media opened last could not be made ready (set up for playback, its sound extracted); empty
        while it is being prepared or once it is ready.
    */
    const juce::String& getPreparationError() const noexcept { return preparationError; }

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

    /** Extracts the unprocessed sound of a newly set-up composition into a temporary file, shows it as the
        waveform and hands it to the analysis.
    */
    bool analyzeAsset (const tavlin::media::MediaComposition& asset, const juce::File& url);

    /** Decodes source through the host's audio-format readers into a WAV file at target. False, with no
        file left at target, when no reader or writer can be made or the sound cannot be read completely.
    */
    static bool importWithAudioFormatReader (PlayerHost& host, const juce::File& source, const juce::File& target);

    /** A new name in the host's temporary folder: "temp_", hexadecimal digits, "." and the ending. The
        file itself is not created.
    */
    static juce::File makeTemporaryFile (PlayerHost& host, const juce::String& ending);

    /** The window height for a picture of a natural height: halved up to four times while the window,
        whose top is at windowTop, would reach below limit.
    */
    static int videoWindowHeight (int naturalHeight, int windowTop, int limit);

    //==============================================================================
    tavlin::media::MediaPlayer* getPlayer() const noexcept { return player.get(); }
    tavlin::media::VideoFrameComponent* getPlayerLayer() const noexcept { return playerLayer.get(); }
    TavAudioTapProcessor* getTapProcessor() const noexcept { return atp.get(); }
    const tavlin::media::MediaAsset* getOrigAsset() const noexcept { return origAsset.get(); }
    CustomBoundsConstrainer* getConstrainer() const noexcept { return constrainer.get(); }
    juce::Time getLastPlayStopTime() const noexcept { return lastPlayStopTime; }

    /** The temporary files of the current media (each may be an empty File). */
    const juce::File& getImportedFile() const noexcept { return importedFile; }
    const juce::File& getExtractedFile() const noexcept { return extractedFile; }

    //==============================================================================
    // Saving and sharing (ProcessingAVPlayerExport.cpp)

    /** Saves the processed media to url in one of the nine save formats (0 ".mov" to 8 ".mp3"; quality 0..9
        for FLAC and MP3). The sound is rendered through the processor, exclusively, into a temporary M4A
        file, then remuxed with the picture (formats 0 to 2) or alone (3, 4), or converted to 24-bit WAV or
        AIFF on a writer queue (5, 6), or to 16-bit FLAC or MP3 (7, 8); every copy lines up with the source
        to the sample and has its length. The destination is replaced only by a complete copy. Returns once
        the copy is complete at url (true), or with a text in getLastExportError when it was not made (false).
        The two flags have no effect.
    */
    bool exportAsset (const juce::File& url, bool performAsync, bool bogusPass, int format, int quality);

    /** Converts processed (from offset on) into a 24-bit WAV or AIFF file at url with the rate and channels of
        opened, on a new writer queue "assetWriterQueue", and waits for it with the message loop running and
        the progress shown. True only when the writer reports its copy complete at url; a writer that writes
        nothing more for writerStallLimitMs is called off and leaves the destination as it was.
    */
    bool exportAssetAsAudioFormat (const juce::File& processed, const tavlin::media::MediaAsset& opened,
                                   const juce::File& url, tavlin::media::MediaTime offset,
                                   tavlin::media::MediaFileType fileType);

    /** Hands a running session's progress to the progress display; logs how a finished one ended. */
    void updateProgress (const tavlin::media::MediaExportSession& session);

    /** The share button's action: names the share file after the media with a running number and shows
        the services that can take it.
    */
    void showServicePicker (juce::Component* sender);

    /** A share service was chosen (null: the picker was dismissed): exports a QuickTime movie into the
        share file and hands it to the service.
    */
    void sharingServicePickerDidChooseSharingService (const SharePicker::Service* service);

    /** Waits until every WAV and AIFF conversion started so far has ended (a save waits for its own; only
        one called off can still be running); false when the time ran out first (-1: no limit).
    */
    static bool waitForAudioWriters (int timeoutMs = -1);

    const juce::String& getLastExportError() const noexcept { return lastExportError; }
    const juce::File& getShareFile() const noexcept { return saveTempURL; }
    int getShareCount() const noexcept { return shareCount; }

    /** How the share picker is shown: SharePicker::show unless a test puts its own. */
    std::function<void (juce::Component*, SharePicker::Chosen)> presentSharePicker { SharePicker::show };

    /** Milliseconds an export waits after playback stopped before it renders. */
    static constexpr int settleTimeMs = 5000;

    static inline const juce::String noAudioTitle { "No Audio" };
    static inline const juce::String noAudioText { "This media file does not contain any audio tracks." };
    static inline const juce::String cannotOpenTitle { "Failed to open file..." };

    /** Opens the stream a WAV or AIFF copy is written into (null: the file itself). A test may give a stream
        that fails, to see how a failed write is reported.
    */
    std::function<std::unique_ptr<juce::OutputStream> (const juce::File&)> openAudioWriterStream;

    /** How long (in ms) a WAV or AIFF writer may write nothing before its save is given up. */
    int writerStallLimitMs = 60000;

    static inline const juce::String importEnding { "TempCleanAudioP.wav" };
    static inline const juce::String extractedVideoEnding { "TempCleanAudio.m4a" };
    static inline const juce::String extractedAudioEnding { "TempCleanAudio.wav" };

private:
    void setUpWhenIdle (uint32_t opening, const juce::File& url);
    void preparationFailed (const juce::File& media, const juce::String& reason, bool playable);
    void rateChanged();
    void playerItemDidReachEnd();
    void sendTimeMessage();
    void releasePlayer();
    void deleteTemporaryFiles();
    void restoreWindowConstrainer();
    juce::ResizableWindow* getWindow() const;

    PlayerHost& host;
    std::unique_ptr<tavlin::media::MediaPlayer> player;
    std::unique_ptr<tavlin::media::VideoFrameComponent> playerLayer;
    MediaContainerComponent* mcc = nullptr;
    std::unique_ptr<tavlin::media::MediaAsset> origAsset;
    std::unique_ptr<tavlin::media::MediaAsset> loadingAsset;
    std::unique_ptr<TavAudioTapProcessor> atp;
    int timeObserverToken = 0, rateObserverToken = 0, endObserverToken = 0;
    int shareCount = 0;
    juce::Time lastPlayStopTime;
    juce::File saveTempURL;
    std::unique_ptr<CustomBoundsConstrainer> constrainer;

    // The window's own resize rule, given back when the media goes.
    juce::Component::SafePointer<juce::ResizableWindow> constrainedWindow;
    juce::ComponentBoundsConstrainer* windowConstrainer = nullptr;

    juce::File importedFile, extractedFile;
    juce::String lastLoadError, preparationError;

    // Saving (ProcessingAVPlayerExport.cpp)
    bool runExportSession (tavlin::media::MediaExportSession& session, const juce::String& logSuffix);
    bool settleAfterPlayback();
    juce::String lastExportError;

    // Counts openings and closings, so a completion for media since replaced is ignored.
    uint32_t generation = 0;

    JUCE_DECLARE_WEAK_REFERENCEABLE (ProcessingAVPlayer)
    JUCE_DECLARE_NON_COPYABLE (ProcessingAVPlayer)
};
