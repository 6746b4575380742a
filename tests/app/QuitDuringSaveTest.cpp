// A quit and window closes that arrive while a save runs: nothing is dropped and nothing is cut short. The
// save completes, then the media closes and the program quits. Quitting ends this process's message loop,
// so this program holds this one test.

#include "ApplicationTestSupport.h"
#include "StandaloneTestMain.h"
#include "TavEditorWindow.h"

#include "media/VideoFrameDecoder.h"

#include <gtest/gtest.h>

namespace
{
using namespace tavlin::test;

class QuitDuringSaveTest : public ApplicationTest
{
};

/** Does its work once, on the first tick at which the application shows its progress display. */
class WhileBusy : private juce::Timer
{
public:
    WhileBusy (TavlinApplication& a, std::function<void()> w) : app (a), work (std::move (w)) { startTimer (5); }
    ~WhileBusy() override { stopTimer(); }

    bool done = false;

private:
    void timerCallback() override
    {
        if (app.isIdle())
            return;

        stopTimer();
        done = true;
        work();
    }

    TavlinApplication& app;
    std::function<void()> work;
};
} // namespace

TEST_F (QuitDuringSaveTest, TheSaveCompletesThenTheMediaClosesAndTheProgramQuits)
{
    start();
    ASSERT_TRUE (app->openMediaFile (clipA, false).wasOk());
    ASSERT_TRUE (pumpUntil ([&] { return app->isIdle() && document().analysisFile.existsAsFile(); }, 30000));
    markChanged();

    const auto saved = root.getChildFile ("cleaned.mov");
    bool savingWhenAsked = false;
    auto* messages = juce::MessageManager::getInstance();

    // While the save runs: the media window's close button, Ctrl+Q, and the processing window's close button.
    WhileBusy requests (*app,
                        [&]
                        {
                            savingWhenAsked = !app->isIdle();
                            app->getMediaWindow()->closeButtonPressed();
                            EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::closeMedia);

                            app->getCommandManager().invokeDirectly (juce::StandardApplicationCommandIDs::quit, false);
                            EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::quit);

                            app->getEditorWindow()->closeButtonPressed();
                            EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::quit);

                            EXPECT_FALSE (messages->hasStopMessageBeenSent()) << "nothing is carried out mid-save";
                            EXPECT_EQ (document().openedFile, clipA);
                        });

    DialogAnswerer noQuestion (0);
    EXPECT_EQ (document().saveAs (saved, false, false, true), juce::FileBasedDocument::savedOk);
    ASSERT_TRUE (requests.done) << "the save never showed its progress";
    EXPECT_TRUE (savingWhenAsked);

    // The save returned whole: a movie of the source's length, its sound and picture both there.
    {
        std::unique_ptr<juce::AudioFormatReader> reader (app->getFormatManager()->createReaderFor (saved));
        ASSERT_NE (reader, nullptr) << saved.getFullPathName();
        EXPECT_NEAR ((double) reader->lengthInSamples / reader->sampleRate, 1.0, 0.1);

        // The source's 25 pictures a second for 1 s, at its 160 x 120.
        juce::String error;
        auto pictures = tavlin::media::VideoFrameDecoder::open (saved, -1, error);
        ASSERT_NE (pictures, nullptr) << error;
        EXPECT_EQ (pictures->getWidth(), 160);
        EXPECT_EQ (pictures->getHeight(), 120);
        int frames = 0;
        double last = 0.0;

        for (tavlin::media::VideoFrameDecoder::Frame frame; pictures->next (frame); ++frames)
        {
            EXPECT_TRUE (frame.picture.isValid());
            last = frame.seconds;
        }

        EXPECT_EQ (frames, 25);
        EXPECT_NEAR (last, 0.96, 0.01);
    }

    EXPECT_FALSE (messages->hasStopMessageBeenSent()) << "not before the save has returned";
    EXPECT_FALSE (document().hasChangedSinceSaved());

    // Then the remembered requests: the media closes without a question (it was just saved), the program quits.
    ASSERT_TRUE (pumpUntil ([&] { return messages->hasStopMessageBeenSent(); }, 10000)) << "the quit was dropped";
    EXPECT_EQ (document().openedFile, juce::File());
    EXPECT_EQ (app->getPendingRequest(), TavlinApplication::PendingRequest::none);
    EXPECT_FALSE (noQuestion.answered) << "nothing was left to ask about";
}
