// The batch run inside the application in this process, on a virtual display (the suite runs under
// xvfb-run): the run's settings reach the processor, files open without messages, refused folders end the run
// before anything is opened.

#include "ApplicationBatchHost.h"
#include "ApplicationInProcess.h"
#include "MediaSession.h"
#include "StandaloneTestMain.h"
#include "TavlinDocument.h"

namespace
{
class ApplicationBatchHostTest : public tavlin::test::ApplicationInProcess
{
protected:
    void SetUp() override
    {
        ApplicationInProcess::SetUp();
        ASSERT_NO_FATAL_FAILURE (start());
    }
};

TEST_F (ApplicationBatchHostTest, GivesTheProcessorTheSettingsOfTheRunsStart)
{
    auto& processor = *app->getProcessor();
    processor.setParameter (TavAudioProcessor::amountBroadbandNR, 0.8f);
    processor.setParameter (TavAudioProcessor::humRemoval, 0.5f);
    const auto settings = state();

    ApplicationBatchHost host (*app->getDocument(), *app->getSession(), *app->getProcessor(), settings);
    processor.resetToDefaults();
    ASSERT_NE (state(), settings);

    host.applySettings();
    EXPECT_EQ (state(), settings);
    EXPECT_FALSE (host.isCancelKeyDown());
}

TEST_F (ApplicationBatchHostTest, OpensFilesWithoutMessages)
{
    const auto settings = state();
    ApplicationBatchHost host (*app->getDocument(), *app->getSession(), *app->getProcessor(), settings);
    app->getDocument()->showLoadErrors = true;

    EXPECT_FALSE (host.loadMedia (root.getChildFile ("in/missing.wav")));
    EXPECT_FALSE (app->getDocument()->showLoadErrors);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr) << "no message box";
}

TEST_F (ApplicationBatchHostTest, RefusedFoldersEndTheRunBeforeAnythingOpens)
{
    auto in = root.getChildFile ("in");
    ASSERT_TRUE (in.getChildFile ("take.wav").replaceWithText ("x"));

    EXPECT_FALSE (app->batchProcessDirectory (in, in.getChildFile ("out"), state()));
    EXPECT_TRUE (app->getLastBatchSummary().refused);
    EXPECT_FALSE (in.getChildFile ("out").exists());
    EXPECT_EQ (app->getDocument()->openedFile, juce::File());
    EXPECT_NE (app->getLastBatchSummary().describe(), "Batch File Processing has completed.");
}

TEST_F (ApplicationBatchHostTest, ProcessesATreeOfRealMediaIntoTheMirroredOutput)
{
    auto in = root.getChildFile ("in");
    ASSERT_TRUE (in.getChildFile ("sub").createDirectory());

    // A second of stereo sound as WAV, and a short movie with a picture and AAC sound.
    {
        juce::WavAudioFormat wav;
        auto stream = in.getChildFile ("song.wav").createOutputStream();
        ASSERT_NE (stream, nullptr);
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), 44100.0, 2, 16, {}, 0));
        ASSERT_NE (writer, nullptr);
        juce::ignoreUnused (stream.release());
        juce::AudioBuffer<float> sound (2, 44100);
        for (int i = 0; i < sound.getNumSamples(); ++i)
            for (int c = 0; c < 2; ++c)
                sound.setSample (
                    c, i, 0.25f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 440.0 * i / 44100.0));
        ASSERT_TRUE (writer->writeFromAudioSampleBuffer (sound, 0, sound.getNumSamples()));
    }

    const auto movie = in.getChildFile ("sub/clip.mp4");
    const auto command = "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                         "sine=frequency=300:duration=1 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest \""
                         + movie.getFullPathName() + "\"";
    ASSERT_EQ (std::system (command.toRawUTF8()), 0) << "the ffmpeg tool makes the movie";

    auto out = root.getChildFile ("out");
    EXPECT_TRUE (app->batchProcessDirectory (in, out, state()));
    EXPECT_EQ (app->getLastBatchSummary().describe(), "Batch File Processing has completed.");

    // Every copy counted as saved is complete by the time the batch returns, the WAV one from its writer
    // queue included.
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> song (formats.createReaderFor (out.getChildFile ("song.wav")));
    ASSERT_NE (song, nullptr) << "song.wav was saved as a WAVE file";
    EXPECT_EQ (song->numChannels, 2u);
    EXPECT_EQ (song->lengthInSamples, 44100);
    EXPECT_TRUE (out.getChildFile ("sub/clip.mp4").existsAsFile());
}
} // namespace
