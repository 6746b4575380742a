#include "ZNoiseAnalyzer.h"

#include "ProgrammeSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace
{

using vesk::ZNoiseAnalyzer;

constexpr double pi = 3.14159265358979323846;
constexpr int rate = 44100;

/** Runs a whole recording through the analyzer as the media document does. */
void analyse (ZNoiseAnalyzer& analyzer, const std::vector<float>& recording)
{
    const auto hop = analyzer.getHopSize();
    analyzer.prepare ((int64_t) recording.size());
    analyzer.setSensitivity (0.29f);
    std::vector<float> block ((size_t) hop);

    for (size_t at = 0; at < recording.size(); at += (size_t) hop)
    {
        std::fill (block.begin(), block.end(), 0.0f);
        std::copy (recording.begin() + (long) at,
                   recording.begin() + (long) std::min (recording.size(), at + (size_t) hop), block.begin());
        analyzer.process (block.data());
    }

    analyzer.finish();
}

/** Builds a recording stretch by stretch from a fixed seed. */
class Recording
{
public:
    explicit Recording (unsigned seed) : generator (seed) {}

    /** Speech-like material over a noise floor: bursts of 80 to 250 ms of tones and noise, each with its
        own level, with pauses of 20 to 120 ms.
    */
    Recording& bursts (double seconds, float floorSigma, float loudness)
    {
        const auto end = samples.size() + (size_t) (seconds * rate);
        std::uniform_real_distribution<double> length (0.08, 0.25), pause (0.02, 0.12), level (0.1, 1.0),
            hz (100.0, 6000.0);
        std::normal_distribution<float> normal (0.0f, 1.0f);

        while (samples.size() < end)
        {
            const auto burst = (size_t) (length (generator) * rate);
            const auto gain = loudness * level (generator);
            const double f[] = { hz (generator), hz (generator), hz (generator) };

            for (size_t i = 0; i < burst && samples.size() < end; ++i)
            {
                const auto t = (double) i / rate;
                const auto envelope = std::sin (pi * (double) i / (double) burst);
                auto x = 0.3 * normal (generator);

                for (auto frequency : f)
                    x += 0.3 * std::sin (2.0 * pi * frequency * t);

                samples.push_back ((float) (gain * envelope * x) + floorSigma * normal (generator));
            }

            noise (pause (generator), floorSigma);
        }

        samples.resize (end);
        return *this;
    }

    Recording& noise (double seconds, float sigma)
    {
        std::normal_distribution<float> normal (0.0f, sigma);

        for (auto i = (size_t) (seconds * rate); i > 0; --i)
            samples.push_back (normal (generator));

        return *this;
    }

    Recording& silence (double seconds)
    {
        samples.resize (samples.size() + (size_t) (seconds * rate), 0.0f);
        return *this;
    }

    Recording& tone (double seconds, double hz, double amplitude)
    {
        const auto start = samples.size();

        for (auto i = (size_t) (seconds * rate); i > 0; --i)
            samples.push_back (
                (float) (amplitude * std::sin (2.0 * pi * hz * (double) (samples.size() - start) / rate)));

        return *this;
    }

    std::vector<float> samples;

private:
    std::mt19937 generator;
};

//==============================================================================
TEST (ZNoiseAnalyzerTest, HopAndSensitivity)
{
    ZNoiseAnalyzer analyzer;
    EXPECT_EQ (analyzer.getHopSize(), 256);
    EXPECT_STREQ (analyzer.getName(), "ZNoiseAnalyzer");
    EXPECT_FLOAT_EQ (analyzer.getFactor(), 1.4f);

    const std::pair<float, float> cases[] = { { 0.29f, 1.361f }, { 5.0f, 2.0f },
                                              { -1.0f, 1.1f },   { 0.0f, 1.1f },
                                              { 1.0f, 2.0f },    { std::numeric_limits<float>::quiet_NaN(), 1.1f } };

    for (auto [sensitivity, expected] : cases)
    {
        analyzer.setSensitivity (sensitivity);
        EXPECT_NEAR (analyzer.getFactor(), expected, 1e-6f) << sensitivity;
    }
}

TEST (ZNoiseAnalyzerTest, FirstThreeHopsOnlyFillTheFrame)
{
    ZNoiseAnalyzer analyzer;
    analyzer.prepare (4 * 256);
    const std::vector<float> hop (256, 0.1f);

    for (int h = 0; h < 3; ++h)
    {
        analyzer.process (hop.data());
        EXPECT_EQ (analyzer.getFrameCount(), 0) << h;
    }

    analyzer.process (hop.data());
    EXPECT_EQ (analyzer.getFrameCount(), 1);

    // The frame limit is 4 * 256 / 256 + 1 = 5 frames; later hops are ignored.
    for (int h = 0; h < 10; ++h)
        analyzer.process (hop.data());

    EXPECT_EQ (analyzer.getFrameCount(), 5);
}

struct RegionCase
{
    std::vector<double> values;
    double factor;
    int64_t start, end;
    double confidence;
};

TEST (ZNoiseAnalyzerTest, RegionSearch)
{
    const RegionCase cases[] = {
        // Grows up to and including the first value at or above factor x minimum on each side.
        { { 5, 5, 1, 1.2, 5, 5 }, 1.4, 1, 4, 1.0 - 3.05 / 3.7 },
        // Of equal minima the later one is taken.
        { { 3, 1, 3, 3, 1, 3 }, 1.4, 3, 5, 1.0 - (7.0 / 3.0) / (14.0 / 6.0) },
        // Everything below the threshold: the region is everything and says nothing.
        { { 1, 1.1, 1.2, 1.3 }, 1.4, 0, 3, 0.0 },
        // A perfectly steady value counts as the largest one.
        { { 2, 0.0005, 3, 2.5 }, 1.4, 0, 1, 1.0 - 2.5 / 2.625 },
    };

    for (const auto& item : cases)
    {
        auto values = item.values;
        const auto region = ZNoiseAnalyzer::findRegion (values, item.factor);
        EXPECT_EQ (region.start, item.start) << item.values[0];
        EXPECT_EQ (region.end, item.end) << item.values[0];
        EXPECT_NEAR (region.confidence, item.confidence, 1e-12) << item.values[0];
    }
}

TEST (ZNoiseAnalyzerTest, StatisticsDoNotDependOnEarlierMaterial)
{
    // Loud material, then steady noise; the windows that lie wholly in the noise must have the same
    // statistics as when the noise is analysed on its own.
    auto loud = Recording (8).bursts (5.0, 0.01f, 1.0f).samples;
    loud.resize (loud.size() / 256 * 256);
    const auto noise = Recording (9).noise (2.0, 0.01f).samples;
    auto both = loud;
    both.insert (both.end(), noise.begin(), noise.end());

    ZNoiseAnalyzer after, alone;
    analyse (after, both);
    analyse (alone, noise);

    const auto offset = loud.size() / 256;
    const auto windows = (noise.size() - 1024) / 256 - 49;

    for (int b = 0; b < ZNoiseAnalyzer::bandCount; ++b)
    {
        for (size_t j = 0; j < windows; ++j)
        {
            const auto expected = alone.getBandStatistics (b)[j];
            ASSERT_GT (expected, 0.0f) << "band " << b << " window " << j;
            ASSERT_NEAR (after.getBandStatistics (b)[offset + j], expected, 1e-5f * expected)
                << "band " << b << " window " << j;
        }
    }
}

TEST (ZNoiseAnalyzerTest, SilentFrameCountsOnlyInTheWindowsThatSumIt)
{
    // Frame 0 (samples 0 to 1023) is digital silence, frame 1 (256 to 1279) is not. Statistic 0 sums
    // frames 1 to 49, so the silent frame must not mark it steady: it equals the statistic of the same
    // recording whose first hop holds noise, which differs in frame 0 alone.
    const auto noise = Recording (10).noise (2.0, 0.01f).samples;
    auto silentStart = noise;
    std::fill (silentStart.begin(), silentStart.begin() + 1024, 0.0f);
    auto withNoise = silentStart;
    std::copy_n (noise.begin(), 256, withNoise.begin());

    ZNoiseAnalyzer silent, noisy;
    analyse (silent, silentStart);
    analyse (noisy, withNoise);

    for (int b = 0; b < ZNoiseAnalyzer::bandCount; ++b)
    {
        const auto expected = noisy.getBandStatistics (b)[0];
        ASSERT_GT (expected, 0.0f) << "band " << b;
        EXPECT_NEAR (silent.getBandStatistics (b)[0], expected, 1e-6f * expected) << "band " << b;
    }

    // A window that does sum a silent frame still counts as steady.
    auto silentSecond = noise;
    std::fill (silentSecond.begin(), silentSecond.begin() + 256 + 1024, 0.0f);
    ZNoiseAnalyzer second;
    analyse (second, silentSecond);

    for (int b = 0; b < ZNoiseAnalyzer::bandCount; ++b)
        EXPECT_EQ (second.getBandStatistics (b)[0], 0.0f) << "band " << b;
}

//==============================================================================
struct Scenario
{
    const char* name;
    std::function<Recording()> make;
    double gapStart, gapEnd; // seconds; both 0 when no region may be found
};

TEST (ZNoiseAnalyzerTest, FindsTheNoiseOnlyStretch)
{
    const Scenario scenarios[] = {
        { "noise gap between bursts",
          []
          { return std::move (Recording (1).bursts (3.0, 0.01f, 0.5f).noise (2.0, 0.01f).bursts (3.0, 0.01f, 0.5f)); },
          3.0, 5.0 },
        // Loud material leaves no trace in the statistics of the quiet stretch after it.
        { "quiet gap after loud material",
          []
          { return std::move (Recording (2).bursts (4.0, 0.01f, 1.0f).noise (2.0, 0.01f).bursts (2.0, 0.01f, 1.0f)); },
          4.0, 6.0 },
        // Digital silence is not noise to learn from, however steady it is.
        { "silence and a noise gap",
          []
          {
              return std::move (Recording (3)
                                    .bursts (2.0, 0.01f, 0.5f)
                                    .silence (2.0)
                                    .bursts (2.0, 0.01f, 0.5f)
                                    .noise (2.0, 0.01f)
                                    .bursts (2.0, 0.01f, 0.5f));
          },
          6.0, 8.0 },
        { "all silent", [] { return std::move (Recording (4).silence (5.0)); }, 0.0, 0.0 },
    };

    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        ZNoiseAnalyzer analyzer;
        analyse (analyzer, scenario.make().samples);

        const auto start = (double) analyzer.getStartSample() / rate;
        const auto end = start + (double) analyzer.getLengthSamples() / rate;
        RecordProperty (scenario.name, juce::String (start, 3).toStdString() + " .. "
                                           + juce::String (end, 3).toStdString() + " s, confidence "
                                           + juce::String (analyzer.getConfidence(), 3).toStdString());

        if (scenario.gapEnd == 0.0)
        {
            EXPECT_EQ (analyzer.getLengthSamples(), 0);
            EXPECT_EQ (analyzer.getStartSample(), 0);
            EXPECT_EQ (analyzer.getConfidence(), 0.0f);
            continue;
        }

        // The region may take in one statistic on either side (256 samples), whose windows reach 1024
        // samples further.
        const auto margin = (256.0 + 1024.0) / rate;
        EXPECT_GT (analyzer.getConfidence(), 0.6f);
        EXPECT_GE (start, scenario.gapStart - margin);
        EXPECT_LE (end, scenario.gapEnd + margin);
        EXPECT_GE (end - start, 1.0);
    }
}

TEST (ZNoiseAnalyzerTest, FindsTheWholeNoiseStretchBeforeProgramme)
{
    // Two seconds of white noise, then programme over the same noise, 30 or 40 dB below the
    // programme's RMS level. The statistic's sums over 49 frames divided by 50 favour the quiet stretch,
    // so the region takes in the whole lead-in (a 50-frame variance found only 0.67 .. 2.0 s of it on
    // the voice).
    using namespace tavlin::test::programme;

    for (auto voice : { true, false })
        for (auto belowDb : { 30.0, 40.0 })
        {
            SCOPED_TRACE (testing::Message() << (voice ? "voice" : "music") << ", noise " << belowDb << " dB below");
            const auto programme = voice ? voiced (10.0, rate, 5) : music (10.0, rate, 4);
            double power = 0.0;

            for (auto v : programme)
                power += (double) v * v;

            std::vector<float> recording ((size_t) (2 * rate), 0.0f);
            recording.insert (recording.end(), programme.begin(), programme.end());
            std::mt19937 generator (3);
            std::normal_distribution<float> noise (
                0.0f, (float) (std::sqrt (power / (double) programme.size()) * std::pow (10.0, -belowDb / 20.0)));

            for (auto& v : recording)
                v += noise (generator);

            ZNoiseAnalyzer analyzer;
            analyse (analyzer, recording);
            const auto start = (double) analyzer.getStartSample() / rate;
            const auto end = start + (double) analyzer.getLengthSamples() / rate;
            EXPECT_GT (analyzer.getConfidence(), 0.6f);
            EXPECT_LE (start, 0.1);
            EXPECT_GE (end, 1.9);
            // The voice starts 50 ms into its programme; one statistic (256 samples) and the frame it
            // looks at (1024) may reach past the lead-in.
            EXPECT_LE (end, 2.05 + 1280.0 / rate);
        }
}

TEST (ZNoiseAnalyzerTest, TooShortRecordingClearsThePreviousResult)
{
    ZNoiseAnalyzer analyzer;
    analyse (analyzer, Recording (1).bursts (2.0, 0.01f, 0.5f).noise (2.0, 0.01f).bursts (2.0, 0.01f, 0.5f).samples);
    ASSERT_GT (analyzer.getConfidence(), 0.6f);
    ASSERT_GT (analyzer.getLengthSamples(), 0);

    // 53 hops give three warm-up hops and 50 frames: one statistic, too few to choose from.
    analyse (analyzer, Recording (6).noise (53 * 256 / (double) rate, 0.01f).samples);
    EXPECT_EQ (analyzer.getLengthSamples(), 0);
    EXPECT_EQ (analyzer.getStartSample(), 0);
    EXPECT_EQ (analyzer.getConfidence(), 0.0f);

    // 54 hops are enough.
    analyse (analyzer, Recording (6).noise (54 * 256 / (double) rate + 0.001, 0.01f).samples);
    EXPECT_GT (analyzer.getLengthSamples(), 0);
}

} // namespace
