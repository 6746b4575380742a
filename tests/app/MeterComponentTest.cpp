#include "MeterComponent.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace
{

constexpr int width = 160;
constexpr int height = 14;
const juce::Colour scaleGrey (0xffb0b0b0);

/** A meter on its own record, a fake clock and a helper that paints one frame into an image. */
class MeterComponentTest : public ::testing::Test
{
protected:
    MeterComponentTest()
    {
        meter.setSize (width, height);
        meter.setClock ([this] { return nowMs; });
    }

    juce::Image paintFrame()
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        meter.paint (g);
        return image;
    }

    /** The columns of row y that the bar or the peak mark tint: neither the row's white nor the scale's grey. */
    static std::set<int> tintedColumns (const juce::Image& image, int y)
    {
        std::set<int> columns;

        for (int x = 0; x < width; ++x)
        {
            const auto pixel = image.getPixelAt (x, y);

            if (pixel != juce::Colours::white && pixel != scaleGrey)
                columns.insert (x);
        }

        return columns;
    }

    static std::set<int> barAndMark (int barEnd, int mark)
    {
        std::set<int> columns;

        for (int x = 0; x < barEnd; ++x)
            columns.insert (x);

        columns.insert (mark);
        return columns;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::int64 nowMs = 100000;
    MeterData data;
    MeterComponent meter { &data };
};

TEST_F (MeterComponentTest, WithoutDataOrChannelsNothingIsDrawn)
{
    MeterComponent detached (nullptr);
    detached.setSize (width, height);
    EXPECT_EQ (detached.getSmoothedLevel (0), 0.0f);

    data.channelCount = 0;
    data.level[0] = 0.8f;

    for (auto* m : { &detached, &meter })
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        m->paint (g);

        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ (image.getPixelAt (x, y).getAlpha(), 0) << x << ", " << y;
    }
}

TEST_F (MeterComponentTest, RisesAtOnceAndFallsBySmoothingUntilTheFloor)
{
    data.level[0] = 0.5f;
    EXPECT_EQ (meter.getSmoothedLevel (0), 0.5f);

    // With no new samples every step keeps 0.7 of the previous value, in single precision.
    auto expected = 0.5f;
    int steps = 0;

    for (;;)
    {
        data.level[0] = 0.0f;
        const auto shown = meter.getSmoothedLevel (0);
        expected = 0.3f * 0.0f + 0.7f * expected;
        ++steps;

        if (expected < 0.0001f)
        {
            EXPECT_EQ (shown, 0.0f);
            EXPECT_EQ (data.smoothed[0], 0.0f);
            break;
        }

        ASSERT_EQ (shown, expected) << "step " << steps;
    }

    EXPECT_EQ (steps, 24); // 0.5 * 0.7^24 is the first value under 0.0001

    // A new sample above the falling value is shown at once; one below it blends in.
    data.level[0] = 0.2f;
    EXPECT_EQ (meter.getSmoothedLevel (0), 0.2f);
    data.level[0] = 0.1f;
    EXPECT_FLOAT_EQ (meter.getSmoothedLevel (0), 0.3f * 0.1f + 0.7f * 0.2f);
}

TEST_F (MeterComponentTest, NonFiniteLevelsClearTheWholeRecord)
{
    struct Case
    {
        float level;
        int stepsUntilCleared; // an infinity rises first, then can never fall and clears at the next step
    };

    const Case cases[] = { { std::numeric_limits<float>::quiet_NaN(), 1 },
                           { std::numeric_limits<float>::infinity(), 2 } };

    for (const auto& k : cases)
    {
        for (int c = 0; c < MeterData::maxChannels; ++c)
        {
            data.level[c] = 0.25f;
            data.peak[c] = 0.5f;
            data.holdUntilMs[c] = nowMs + 500;
            data.smoothed[c] = 0.5f;
        }

        data.level[1] = k.level;
        float shown = 0.0f;

        for (int step = 0; step < k.stepsUntilCleared; ++step)
        {
            shown = meter.getSmoothedLevel (1);
            data.level[1] = 0.0f;
        }

        EXPECT_EQ (shown, 0.0f) << k.level;

        for (int c = 0; c < MeterData::maxChannels; ++c)
        {
            EXPECT_EQ (data.level[c].load(), 0.0f) << c;
            EXPECT_EQ (data.peak[c], 0.0f) << c;
            EXPECT_EQ (data.holdUntilMs[c], 0) << c;
            EXPECT_EQ (data.smoothed[c], 0.0f) << c;
        }

        EXPECT_EQ (data.channelCount, 2);
    }

    // The paint that meets a NaN shows the channel empty.
    data.level[0] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ (tintedColumns (paintFrame(), 3), barAndMark (0, 0));
}

TEST_F (MeterComponentTest, EachChannelTakesHalfTheHeightAndItsLevelIsReset)
{
    data.level[0] = 0.5f;
    data.level[1] = 0.25f;
    auto image = paintFrame();

    // Channel 0 on rows 0 to 5, channel 1 on rows 7 to 12; rows 6 and 13 stay untouched.
    for (int y = 0; y < height; ++y)
    {
        const bool drawn = (y <= 5) || (y >= 7 && y <= 12);
        EXPECT_EQ (image.getPixelAt (159, y).getAlpha(), drawn ? 255 : 0) << "row " << y;
    }

    EXPECT_EQ (tintedColumns (image, 3), barAndMark (80, 80));
    EXPECT_EQ (tintedColumns (image, 10), barAndMark (40, 40));

    // The segmented scale: 2-pixel grey lines on a 3-pixel pitch, off the rows' top and bottom lines.
    for (auto x : { 100, 157 })
    {
        EXPECT_EQ (image.getPixelAt (x - 1, 3), scaleGrey) << x;
        EXPECT_EQ (image.getPixelAt (x, 3), scaleGrey) << x;
        EXPECT_EQ (image.getPixelAt (x + 1, 3), juce::Colours::white) << x;
    }

    EXPECT_EQ (image.getPixelAt (100, 0), juce::Colours::white);
    EXPECT_EQ (image.getPixelAt (100, 5), juce::Colours::white);
    EXPECT_EQ (image.getPixelAt (100, 2), scaleGrey);

    EXPECT_EQ (data.level[0].load(), 0.0f);
    EXPECT_EQ (data.level[1].load(), 0.0f);
}

TEST_F (MeterComponentTest, PeakHoldTable)
{
    struct Frame
    {
        juce::int64 atMs;
        float level; // the largest sample since the previous frame
        int barEnd; // trunc (160 x shown level)
        int markX; // the peak mark's column
        float peak; // the held peak afterwards
    };

    // Full scale fills the row and keeps its mark on the last column, inside the strip; the mark holds
    // for 1000 ms, then drops to 0 for one paint and comes back at the current level with a new hold.
    const Frame frames[] = {
        { 0, 1.0f, 160, 159, 1.0f },       { 80, 0.0f, 112, 159, 1.0f },    { 1000, 0.0f, 78, 159, 1.0f },
        { 1001, 0.0f, 54, 0, 0.0f },       { 1080, 0.0f, 38, 38, 0.2401f }, { 1500, 0.5f, 80, 80, 0.5f },
        { 2000, 0.25f, 68, 80, 0.5f },     { 2500, 0.0f, 47, 80, 0.5f },    { 2501, 0.0f, 33, 0, 0.0f },
        { 2581, 0.0f, 23, 23, 0.145775f }, { 2600, 7.0f, 160, 159, 1.0f },
    };

    for (const auto& f : frames)
    {
        nowMs = 100000 + f.atMs;
        data.level[0] = f.level;
        const auto image = paintFrame();

        EXPECT_EQ (tintedColumns (image, 3), barAndMark (f.barEnd, f.markX)) << "at " << f.atMs << " ms";
        EXPECT_NEAR (data.peak[0], f.peak, 0.001f) << "at " << f.atMs << " ms";
    }
}

} // namespace
