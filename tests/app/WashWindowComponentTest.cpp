#include "EditorTestSupport.h"

#include "TavAudioProcessor.h"
#include "TavEditor.h"
#include "TavUIEditor.h"
#include "WashWindowComponent.h"

#include "ZBuffer.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace
{
using namespace editor_test;
constexpr int N = WashWindowComponent::size;

/** The panel's wash window on a real processor, with a fake clock that each render moves on. */
class WashWindowComponentTest : public ::testing::Test
{
protected:
    WashWindowComponentTest()
    {
        editor = std::make_unique<TavUIEditor> (processor, &processor.getProgress());
        wash().setClock ([this] { return nowMs; });
        wash().stopTimer(); // the test renders by hand
    }

    WashWindowComponent& wash() { return editor->getMainPanel().getWashWindow(); }
    vesk::ZNoiseReductionBay& bay() { return processor.getNoiseReductionBay(); }

    void render()
    {
        nowMs += 1000;
        wash().renderImage();
    }

    void fillDisplay (float spectrumDb, float profileDb)
    {
        auto* s = bay().getSpectrumBuffer();
        auto* p = bay().getNoiseProfileBuffer();
        juce::FloatVectorOperations::fill (s->getData(), spectrumDb, s->getLength());
        juce::FloatVectorOperations::fill (p->getData(), profileDb, p->getLength());
    }

    juce::Colour pixel (int x, int row) { return wash().getImage().getPixelAt (x, N - 1 - row); }

    juce::ScopedJuceInitialiser_GUI juce;
    ScopedSettingsFolder settings;
    TavAudioProcessor processor;
    std::unique_ptr<TavUIEditor> editor;
    juce::int64 nowMs = 5000000;
};

TEST_F (WashWindowComponentTest, StartsBlackAndEmpty)
{
    EXPECT_EQ (wash().getBounds(), juce::Rectangle<int> (290, 32, 196, 196));
    EXPECT_TRUE (wash().getDisplayText().isEmpty());
    EXPECT_EQ (wash().getWriteColumn(), 0);
    EXPECT_EQ (wash().getHistoryValue (17, 50), -96.0f);
    EXPECT_EQ (wash().getProfileValue (150), -48.0f);
    EXPECT_EQ (wash().getNumChildComponents(), 1); // the round mask
    bool clicks = true, childClicks = false;
    wash().getChildComponent (0)->getInterceptsMouseClicks (clicks, childClicks);
    EXPECT_FALSE (clicks);
    EXPECT_TRUE (childClicks);

    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            ASSERT_EQ (wash().getImage().getPixelAt (x, y).getAlpha(), 0);

    // The first render: black everywhere but the half-transparent white divider.
    render();

    for (int row = 0; row < N; ++row)
    {
        ASSERT_EQ (pixel (0, row), juce::Colours::black) << row;
        ASSERT_EQ (pixel (97, row), juce::Colours::black) << row;
        ASSERT_EQ (pixel (98, row).getAlpha(), 128) << row;
        ASSERT_GE (pixel (98, row).getPerceivedBrightness(), 0.98f) << row; // white, stored premultiplied
    }

    // Painted: black inside, the outermost pixel ring left alone, the caption in white.
    juce::Image painted (juce::Image::ARGB, N, N, true);
    {
        juce::Graphics g (painted);
        wash().setDisplayText ("Tuner : -20dB");
        wash().paint (g);
    }
    EXPECT_EQ (painted.getPixelAt (0, 0).getAlpha(), 0);
    EXPECT_EQ (painted.getPixelAt (195, 100).getAlpha(), 0);
    EXPECT_EQ (painted.getPixelAt (20, 20), juce::Colours::black);

    int bright = 0;
    for (int y = 82; y < 114; ++y)
        for (int x = 0; x < N; ++x)
            bright += painted.getPixelAt (x, y).getBrightness() > 0.4f ? 1 : 0;
    EXPECT_GT (bright, 50);
}

TEST_F (WashWindowComponentTest, RenderPeriodByBlockSizeAndThrottle)
{
    struct Case
    {
        juce::int64 blockSize;
        juce::int64 periodMs;
    };

    for (const auto& c : { Case { 512, 100 }, Case { 8191, 100 }, Case { 8192, 300 }, Case { 16384, 300 } })
    {
        wash().attachToProcessor (c.blockSize);
        EXPECT_EQ (wash().getRenderIntervalMs(), c.periodMs) << c.blockSize;
        EXPECT_EQ (wash().getTimerInterval(), (int) c.periodMs) << c.blockSize;
    }

    // Two renders within the period draw and advance once.
    wash().attachToProcessor (512);
    render();
    const auto column = wash().getWriteColumn();
    nowMs += 99;
    wash().renderImage();
    EXPECT_EQ (wash().getWriteColumn(), column);
    nowMs += 1;
    wash().renderImage();
    EXPECT_EQ (wash().getWriteColumn(), (column + 1) % N);
}

TEST_F (WashWindowComponentTest, ColumnStepMapsBinsToRows)
{
    auto* s = bay().getSpectrumBuffer();
    auto* p = bay().getNoiseProfileBuffer();
    ASSERT_EQ (s->getLength(), 513);
    ASSERT_EQ (p->getLength(), 513);

    for (int b = 0; b < 513; ++b)
    {
        s->getData()[b] = -0.1f * (float) b;
        p->getData()[b] = -50.0f - 0.01f * (float) b;
    }

    s->getData()[3] = -200.0f; // the spectrum is copied without a floor ...
    p->getData()[5] = -200.0f; // ... the profile is floored at -96 dB

    render();
    render();
    ASSERT_EQ (wash().getWriteColumn(), 2);
    wash().pushSpectrumColumn();
    EXPECT_EQ (wash().getWriteColumn(), 2); // the step never moves on

    for (int row = 0; row < N; ++row)
    {
        const auto bin = row < 98 ? row : 97 + (row - 97) * 4;
        const auto expectedSpectrum = bin == 3 ? -200.0f : -0.1f * (float) bin;
        const auto expectedProfile = bin == 5 ? -96.0f : -50.0f - 0.01f * (float) bin;

        ASSERT_EQ (wash().getHistoryValue (2, row), expectedSpectrum) << "row " << row;
        ASSERT_EQ (wash().getProfileValue (row), expectedProfile) << "row " << row;
        ASSERT_EQ (wash().getHistoryValue (1, row), -96.0f) << "row " << row;
    }

    EXPECT_EQ (wash().getHistoryValue (2, 98), s->getData()[101]);
    EXPECT_EQ (wash().getHistoryValue (2, 195), s->getData()[489]);

    // The render shows that column at the left edge and moves on.
    render();
    EXPECT_EQ (wash().getWriteColumn(), 3);
    EXPECT_NE (pixel (0, 10), juce::Colours::black);
    EXPECT_EQ (pixel (1, 10), juce::Colours::black);
}

TEST_F (WashWindowComponentTest, RightHalfByModeAndAmount)
{
    struct Case
    {
        int mode;
        float reductionDb;
        float valueDb; // every bin of the spectrum
        float profileDb; // every bin of the profile
        int row;
        int rightAlpha; // the right half's alpha at that row
    };

    const auto dimmed = [] (float o, float t, float f)
    {
        const auto w = (o + 96.0f) / (t + 96.0f);
        return (int) juce::Colours::black.withAlpha ((w * f) * (w * f)).getAlpha();
    };

    juce::ColourGradient heat (juce::Colours::black, 0.0f, 0.0f, juce::Colour (0xffffff00), 1.0f, 0.0f, false);
    heat.addColour (0.25, juce::Colour (0xffff4500));

    const Case cases[] = {
        { 0, 15.0f, -60.0f, -40.0f, 50, 255 }, // off: unchanged
        { 1, 0.0f, -60.0f, -40.0f, 50, dimmed (-60, -40, 1.0f) }, // on, no reduction: w squared
        { 1, 15.0f, -60.0f, -40.0f, 50, dimmed (-60, -40, 0.5f) }, // on, half the range
        { 1, 30.0f, -60.0f, -40.0f, 50, 0 }, // on, full reduction: gone
        { 1, 30.0f, -60.0f, -40.0f, 0, 255 }, // row 0 is never dimmed
        { 1, 30.0f, -30.0f, -40.0f, 50, 255 }, // above the profile: kept
        { 1, 30.0f, -40.0f, -40.0f, 120, 255 }, // at the profile: kept
        { 2, 15.0f, -60.0f, -40.0f, 50, 255 }, // noise only: below the profile stays
        { 2, 15.0f, -60.0f, -40.0f, 0, 255 },
        { 2, 15.0f, -30.0f, -40.0f, 150, 0 }, // ... and the rest is gone
        { 2, 15.0f, -40.0f, -40.0f, 150, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "mode " << c.mode << ", " << c.reductionDb << " dB, value " << c.valueDb
                                         << ", profile " << c.profileDb << ", row " << c.row);

        bay().setMode (c.mode);
        bay().setReduction (c.reductionDb);
        wash().attachToProcessor (512);
        fillDisplay (c.valueDb, c.profileDb);
        wash().pushSpectrumColumn();
        fillDisplay (-96.0f, -48.0f);

        // Left edge first, then 100 renders later the same column at x = 99, in the right half.
        render();
        const auto left = pixel (0, c.row);
        EXPECT_EQ (left.getAlpha(), 255);
        EXPECT_EQ (left, heat.getColourAtPosition ((c.valueDb + 96.0) / 96.0));

        for (int i = 0; i < 99; ++i)
            render();

        EXPECT_EQ (pixel (99, c.row).getAlpha(), c.rightAlpha);
        EXPECT_EQ (pixel (98, c.row).getAlpha(), 128);
    }
}

TEST_F (WashWindowComponentTest, OneColumnOfHeatColours)
{
    struct Stop
    {
        float valueDb;
        juce::uint32 argb;
    };

    for (const auto& stop : { Stop { -96.0f, 0xff000000 }, Stop { -72.0f, 0xffff4500 }, Stop { 0.0f, 0xffffff00 },
                              Stop { 12.0f, 0xffffff00 }, Stop { -150.0f, 0xff000000 } })
    {
        fillDisplay (stop.valueDb, -48.0f);
        wash().pushSpectrumColumn();
        render();
        EXPECT_EQ (pixel (0, 40), juce::Colour (stop.argb)) << stop.valueDb;
    }
}

/** Counts the column steps that reach it. */
struct CountingWashWindow : public WashWindowComponent
{
    CountingWashWindow (TavAudioProcessor* processorToUse, std::atomic<int>& c)
        : WashWindowComponent (processorToUse), processor (processorToUse), count (c)
    {
    }

    // Overriding the column step, it unregisters before its own part goes: the base class only can once this
    // part is gone, while a step running on the audio thread could still be in it.
    ~CountingWashWindow() override { processor->setWashWindow (nullptr); }

    void pushSpectrumColumn() override
    {
        count.fetch_add (1);
        WashWindowComponent::pushSpectrumColumn();
    }

    TavAudioProcessor* processor;
    std::atomic<int>& count;
};

// Wash windows come and go while the audio thread runs blocks; the sanitizer build reports any column
// step that reaches a freed window.
TEST_F (WashWindowComponentTest, NoColumnStepReachesADestroyedWindow)
{
    processor.prepareToPlay (44100.0, 512);
    processor.setPlayConfigDetails (2, 2, 44100.0, 512);

    std::atomic<bool> running { true };
    // Held while a window is made: the base class registers it in its constructor, before the counting part
    // exists, and a column step then would run into a half-made object.
    std::mutex making;
    std::thread playback (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 512);
            juce::MidiBuffer midi;

            while (running.load())
            {
                {
                    const std::lock_guard<std::mutex> hold (making);
                    buffer.clear();
                    buffer.setSample (0, 0, 0.5f);
                    processor.processBlock (buffer, midi);
                }

                std::this_thread::yield();
            }
        });

    for (int round = 0; round < 40; ++round)
    {
        std::atomic<int> steps { 0 };
        std::unique_ptr<CountingWashWindow> window;

        {
            const std::lock_guard<std::mutex> hold (making);
            window = std::make_unique<CountingWashWindow> (&processor, steps);
        }

        while (steps.load() < 3)
            std::this_thread::yield();

        window.reset();
    }

    running = false;
    playback.join();
}

} // namespace
