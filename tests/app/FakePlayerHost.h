#pragma once

// A host for the media engine without the application: a real processor and format manager, sound driven
// by hand, and a record of everything the engine asked of the application and told it.

#include "../platform/MediaFixtures.h"
#include "DocumentHost.h"
#include "MediaSession.h"
#include "MediaViewHost.h"
#include "SessionHost.h"
#include "TavAudioProcessor.h"
#include "TavSessionProcessor.h"

#include "gui/VideoPictureImage.h"
#include "media/FFmpegAudioFormat.h"

#include <functional>
#include <vector>

namespace player_test
{

class FakePlayerHost : public SessionHost,
                       public MediaViewHost,
                       public DocumentHost,
                       public SessionListener,
                       private juce::ChangeListener
{
public:
    explicit FakePlayerHost (const juce::File& temporaryFolder) : temp (temporaryFolder)
    {
        temp.createDirectory();
        tavlin::media::FFmpegAudioFormat::registerFormats (formats);
        processor.addChangeListener (this); // as the application does: any change message marks the document
    }

    ~FakePlayerHost() override { processor.removeChangeListener (this); }

    // What the session asks.
    juce::AudioFormatManager* getFormatManager() override { return &formats; }
    juce::AudioDeviceManager* getDeviceManager() override { return deviceManager; }
    tavlin::media::MediaPlayer::Output getPlayerOutput() override { return output; }
    juce::File getTemporaryFolder() override { return temp; }
    bool isLooping() override { return looping; }
    bool isIdle() const override { return !busy; }

    void showProgress (const juce::String& text) override
    {
        busy = true;
        progressTexts.add (text);
    }

    void setProgress (double value) override { lastProgress = value; }
    void hideProgress() override { busy = false; }

    void showWarning (const juce::String& title, const juce::String& message) override
    {
        warnings.push_back ({ title, message });
    }

    bool askOkCancel (const juce::String& title, const juce::String& message) override
    {
        questions.push_back ({ title, message });
        return false;
    }

    bool isDocumentChanged() override { return documentChanged; }
    void setDocumentChanged (bool changed) override { documentChanged = changed; }

    // What the media view asks.
    juce::Result closeMediaDocument() override
    {
        ++closeCalls;
        return closeResult;
    }

    juce::Result openMediaFile (const juce::File& file, bool) override
    {
        opened.add (file);
        return juce::Result::ok();
    }

    void analyzeSelection() override
    {
        ++selections;

        if (onAnalyzeSelection != nullptr)
            onAnalyzeSelection();
    }

    // What the document asks.
    int chooseSaveFormat() override { return 0; }
    void enterPlayerMode() override {}
    bool isAnalyzeEnabled() override { return false; }

    // What the session tells.
    void waveformReady (const juce::File& file) override { analyzed.add (file); }

    void preparationFailed (const juce::File& media, const juce::String& reason, bool playable) override
    {
        preparationFailures.push_back ({ media, reason, playable });
    }

    void exportFinished (const juce::File& destination, const juce::Result& result) override
    {
        exports.push_back ({ destination, result });
    }

    /** Why the last save failed; empty after one that succeeded, or before any. */
    juce::String lastExportError() const
    {
        return exports.empty() || exports.back().result.wasOk() ? juce::String()
                                                                : exports.back().result.getErrorMessage();
    }

    /** The names in the temporary folder, sorted. */
    juce::StringArray listTemporaryFolder() const
    {
        juce::StringArray names;

        for (const auto& f : temp.findChildFiles (juce::File::findFilesAndDirectories, false, "*"))
            names.add (f.getFileName());

        names.sort (false);
        return names;
    }

    struct Warning
    {
        juce::String title, message;
    };

    struct PreparationFailure
    {
        juce::File media;
        juce::String reason;
        bool playable;
    };

    struct Export
    {
        juce::File destination;
        juce::Result result;
    };

    TavAudioProcessor processor;
    TavSessionProcessor chain { processor.getChain() };
    juce::AudioFormatManager formats;
    juce::File temp;
    tavlin::media::MediaPlayer::Output output = tavlin::media::MediaPlayer::Output::manual;
    juce::AudioDeviceManager* deviceManager = nullptr;
    bool looping = false;
    bool busy = false;
    bool documentChanged = false;
    juce::StringArray progressTexts;
    double lastProgress = 0.0;
    std::vector<Warning> warnings, questions;
    std::vector<Export> exports;
    std::vector<PreparationFailure> preparationFailures;
    juce::Array<juce::File> analyzed, opened;
    int closeCalls = 0;
    int selections = 0;
    juce::Result closeResult = juce::Result::ok();
    std::function<void()> onAnalyzeSelection;

private:
    void changeListenerCallback (juce::ChangeBroadcaster*) override { documentChanged = true; }
};

/** A media session on the fake host, which hears everything the session tells. */
class FakeSession : public MediaSession
{
public:
    explicit FakeSession (FakePlayerHost& hostToUse) : MediaSession (hostToUse, hostToUse.chain), host (hostToUse)
    {
        addListener (&host);
    }

    ~FakeSession() { removeListener (&host); }

private:
    FakePlayerHost& host;
};

inline void pump (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

inline bool pumpUntil (const std::function<bool()>& done, int limitMs = 20000)
{
    for (int waited = 0; waited < limitMs && !done(); waited += 10)
        pump (10);

    return done();
}

/** Movies made with the ffmpeg tool: a test picture with a tone, or a black picture that flashes white for
    one frame at flashSeconds with a beep starting there.
*/
inline bool makeMovie (const juce::File& file, double seconds = 2.0, int sampleRate = 44100)
{
    return tavlin::test::runFfmpeg ("-f lavfi -i testsrc=size=160x120:rate=25:duration=" + juce::String (seconds)
                                    + " -f lavfi -i sine=frequency=440:sample_rate=" + juce::String (sampleRate)
                                    + ":duration=" + juce::String (seconds) + " -c:v mpeg4 -q:v 3 -c:a aac -shortest "
                                    + file.getFullPathName().quoted());
}

inline bool makeFlashAndBeepMovie (const juce::File& file, double flashSeconds, int sampleRate = 44100)
{
    const auto at = juce::String (flashSeconds, 3);
    const auto until = juce::String (flashSeconds + 0.039, 3);
    return tavlin::test::runFfmpeg (
        "-f lavfi -i color=c=black:size=160x120:rate=25:duration=3 -f lavfi -i "
        "aevalsrc=if(gte(t\\,"
        + at + ")*lt(t\\," + juce::String (flashSeconds + 0.2, 3) + ")\\,0.5*sin(2*PI*1000*t)\\,0):s="
        + juce::String (sampleRate) + ":d=3 -vf drawbox=c=white:t=fill:enable=between(t\\," + at + "\\," + until
        + ") -c:v mpeg4 -q:v 2 -c:a aac -b:a 192k -shortest " + file.getFullPathName().quoted());
}

/** True for the flash of a flash movie: a picture white in its middle. */
inline bool isWhite (const tavlin::media::VideoPicture& picture)
{
    const auto image = tavlin::media::toImage (picture);
    return image.isValid() && image.getPixelAt (image.getWidth() / 2, image.getHeight() / 2).getBrightness() > 0.8f;
}

} // namespace player_test
