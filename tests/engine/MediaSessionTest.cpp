// The media session on its own, linked without any GUI module: what it tells its listeners from an opening
// to a closing, and a save through a processor that delays the sound by 300 samples and halves it, which
// comes out in step with the source to the sample.

#include "MediaSession.h"

#include "../platform/DelayGainTap.h"
#include "../platform/MediaFixtures.h"

#include "media/FFmpegAudioFormat.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
constexpr double rate = 44100.0;
constexpr int latency = 300;
constexpr float gain = 0.5f;

/** A processor that delays every channel by latency samples and scales it by gain. */
class DelayGainChain : public SessionProcessor
{
public:
    int getLatencyFor (double, int) const override { return latency; }
    void dispatchPendingMessages() override {}

    std::unique_ptr<SessionTap> makeTap (const tavlin::media::MediaComposition::Track& track) override
    {
        ++tapsMade;
        return std::make_unique<Tap> (track.trackID);
    }

    int tapsMade = 0;

private:
    struct Tap : SessionTap
    {
        explicit Tap (int trackToTap) : trackID (trackToTap) {}

        std::shared_ptr<const tavlin::media::AudioMix> audioMix() override
        {
            if (mix == nullptr)
                mix = client.makeMix (trackID, tap);

            return mix;
        }

        tavlin::media::AudioProcessingTap* getTap() const noexcept override { return tap.get(); }
        void reset() override {}

        int trackID;
        tavlin::test::DelayGainTap client { latency, gain };
        std::shared_ptr<tavlin::media::AudioProcessingTap> tap;
        std::shared_ptr<tavlin::media::AudioMix> mix;
    };
};

/** The surroundings of a session without the application: formats, a folder, sound driven by hand. */
class Host : public SessionHost
{
public:
    explicit Host (const juce::File& folder) : temp (folder)
    {
        temp.createDirectory();
        tavlin::media::FFmpegAudioFormat::registerFormats (formats);
    }

    juce::AudioFormatManager* getFormatManager() override { return &formats; }
    juce::AudioDeviceManager* getDeviceManager() override { return nullptr; }
    tavlin::media::MediaPlayer::Output getPlayerOutput() override { return tavlin::media::MediaPlayer::Output::manual; }
    juce::File getTemporaryFolder() override { return temp; }
    bool isLooping() override { return false; }
    bool isIdle() const override { return shown == 0; }
    void showProgress (const juce::String&) override { ++shown; }
    void setProgress (double) override {}
    void hideProgress() override { --shown; }
    void showWarning (const juce::String& title, const juce::String&) override { warnings.add (title); }
    bool askOkCancel (const juce::String& title, const juce::String&) override
    {
        warnings.add (title);
        return false;
    }
    bool isDocumentChanged() override { return false; }
    void setDocumentChanged (bool) override {}

    juce::AudioFormatManager formats;
    juce::File temp;
    int shown = 0;
    juce::StringArray warnings;
};

/** Writes down what the session tells, in order. */
class Events : public SessionListener
{
public:
    juce::StringArray names;
    juce::File waveform;
    std::vector<double> exportProgress;
    juce::String exportError;
    juce::File exported;

private:
    void mediaOpened() override { names.add ("opened"); }
    void mediaRefused (const juce::String& reason) override { names.add ("refused: " + reason); }

    void preferredPictureSizeChanged (bool hasPicture, int width, int height) override
    {
        names.add ("picture " + juce::String (hasPicture ? "yes " : "no ") + juce::String (width) + "x"
                   + juce::String (height));
    }

    void playbackRateChanged() override { names.add ("rate"); }

    void waveformReady (const juce::File& file) override
    {
        names.add ("waveform");
        waveform = file;
    }

    void waveformReleased() override { names.add ("waveform released"); }
    void playerReleased() override { names.add ("player released"); }
    void mediaRemoved() override { names.add ("removed"); }

    void preparationFailed (const juce::File&, const juce::String& reason, bool) override
    {
        names.add ("not ready: " + reason);
    }

    void exportProgressChanged (double value) override { exportProgress.push_back (value); }

    void exportFinished (const juce::File& destination, const juce::Result& result) override
    {
        names.add ("saved");
        exported = destination;
        exportError = result.getErrorMessage();
    }
};

bool pumpUntil (const std::function<bool()>& done, int limitMs = 20000)
{
    for (int waited = 0; waited < limitMs && !done(); waited += 10)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    return done();
}

class MediaSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session.addListener (&events);
        ASSERT_TRUE (tavlin::test::writeWav (wav, rate, 2, (int64_t) rate, 16,
                                             [] (int64_t n, int ch)
                                             { return tavlin::test::sineSample (n, ch, rate); }));
    }

    void TearDown() override
    {
        session.removeListener (&events);
        ProcessingAVPlayer::waitForAudioWriters (60000);
    }

    bool openAndWait()
    {
        return session.open (wav, true).wasOk() && pumpUntil ([&] { return events.names.contains ("waveform"); });
    }

    juce::ScopedJuceInitialiser_GUI juce;
    tavlin::test::ScratchFolder scratch;
    juce::File wav = scratch.file ("voice.wav");
    Host host { scratch.file ("private") };
    DelayGainChain chain;
    MediaSession session { host, chain };
    Events events;
};

TEST_F (MediaSessionTest, TellsItsListenersWhatHappensFromOpeningToClosing)
{
    ASSERT_TRUE (openAndWait());
    EXPECT_EQ (events.names, juce::StringArray ({ "opened", "picture no 0x0", "waveform" }));
    EXPECT_TRUE (events.waveform.existsAsFile());
    EXPECT_EQ (events.waveform.getParentDirectory(), host.temp);
    EXPECT_TRUE (session.hasMedia());
    EXPECT_EQ (chain.tapsMade, 1) << "one tap for playback";
    EXPECT_TRUE (host.isIdle());

    events.names.clear();
    EXPECT_FALSE (session.togglePlayPause()) << "it was paused, so it plays";
    EXPECT_TRUE (session.isPlaying());
    EXPECT_TRUE (session.togglePlayPause());
    EXPECT_EQ (events.names, juce::StringArray ({ "rate", "rate" }));

    events.names.clear();
    session.close();
    EXPECT_EQ (events.names, juce::StringArray ({ "player released", "waveform released", "removed" }));
    EXPECT_FALSE (events.waveform.exists()) << "the extracted sound goes with the media";
    EXPECT_FALSE (session.hasMedia());
    EXPECT_EQ (session.getCurrentTime(), 0.0);

    // A file without sound is refused, with its reason in the result, the warning and the listeners.
    events.names.clear();
    const auto notes = scratch.file ("notes.wav");
    ASSERT_TRUE (notes.replaceWithText ("These are not sounds, only words.\n"));
    const auto refused = session.open (notes, true);
    EXPECT_EQ (refused.getErrorMessage(), ProcessingAVPlayer::noAudioText);
    EXPECT_EQ (host.warnings, juce::StringArray (ProcessingAVPlayer::noAudioTitle));
    EXPECT_EQ (events.names, juce::StringArray ("refused: " + ProcessingAVPlayer::noAudioText));
    EXPECT_FALSE (session.hasMedia());
}

TEST_F (MediaSessionTest, SavesThroughTheProcessorInStepWithTheSource)
{
    // Without media, or in a format that does not exist, nothing is written and the result says why.
    const auto out = scratch.file ("copy.wav");
    EXPECT_EQ (session.save (out, 5, 9).getErrorMessage(), "No media is open.");
    EXPECT_EQ (events.names, juce::StringArray ("saved"));
    EXPECT_EQ (events.exportError, "No media is open.");

    ASSERT_TRUE (openAndWait());
    EXPECT_EQ (session.save (out, 9, 9).getErrorMessage(), "There is no save format 9.");
    EXPECT_FALSE (out.exists());

    events.names.clear();
    events.exportProgress.clear();
    const auto saved = session.save (out, 5, 9);
    ASSERT_TRUE (saved.wasOk()) << saved.getErrorMessage();
    EXPECT_EQ (events.names, juce::StringArray ("saved"));
    EXPECT_EQ (events.exported, out);
    EXPECT_EQ (events.exportError, juce::String());
    EXPECT_EQ (chain.tapsMade, 2) << "a tap of its own for the export";
    ASSERT_FALSE (events.exportProgress.empty());

    for (auto value : events.exportProgress)
    {
        EXPECT_GE (value, 0.0);
        EXPECT_LE (value, 1.0);
    }

    // The processor's delay is taken out: the copy is the source halved, sample for sample, as long.
    juce::AudioBuffer<float> source, copy;
    double copyRate = 0.0;
    ASSERT_TRUE (tavlin::test::readAll (host.formats, wav, source));
    ASSERT_TRUE (tavlin::test::readAll (host.formats, out, copy, &copyRate));
    EXPECT_EQ (copyRate, rate);
    ASSERT_EQ (copy.getNumChannels(), 2);
    ASSERT_EQ (copy.getNumSamples(), source.getNumSamples());
    float worst = 0.0f;

    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < copy.getNumSamples(); ++i)
            worst = std::max (worst, std::abs (copy.getSample (ch, i) - gain * source.getSample (ch, i)));

    EXPECT_LT (worst, 1.0f / 65536.0f) << "within the rounding to 24 bits";
    session.close();
}
} // namespace
