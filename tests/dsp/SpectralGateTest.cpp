#include "TestSignals.h"
#include "ZSpectralCompressor.h"
#include "ZSpectralSmoother.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vesk;

namespace
{
constexpr int bins = 513;

float dbToGain (float dB)
{
    return (float) std::pow (10.0, dB / 20.0);
}

struct Gate : public ::testing::Test
{
    Gate() : gate (ZSpectralCompressor::create (bins, 44100.0f)), re (bins, "re"), im (bins, "im") {}

    /** Feeds a flat spectrum of one power per bin until the smoothed power settles. */
    void settle (float powerDb, int frames = 200)
    {
        const auto amplitude = std::sqrt (std::pow (10.0f, powerDb / 10.0f));

        for (int f = 0; f < frames; ++f)
        {
            std::fill_n (re.getData(), bins, amplitude);
            im.clear();
            gate->process (&re, &im, &re, &im);
        }
    }

    std::unique_ptr<ZSpectralCompressor> gate;
    ZBuffer re, im;
};
} // namespace

TEST (SpectralSmootherTest, KernelAndUntouchedEdges)
{
    auto smoother = ZSpectralSmoother::create (6);
    const float expected[] = { 0.15625f, 0.14662f, 0.12031f, 0.08438f, 0.04844f, 0.02213f };
    float sum = smoother->getKernel()[0];

    for (int j = 0; j < 6; ++j)
    {
        EXPECT_NEAR (smoother->getKernel()[j], expected[j], 1e-5f) << j;
        if (j > 0)
            sum += 2 * smoother->getKernel()[j];
    }

    EXPECT_NEAR (sum, 1.0f, 1e-6f);

    ZBuffer in (bins, "in"), out (bins, "out");
    tavlin::test::fillNoise (in, 3);
    smoother->smoothUpper (&in, &out);

    for (int k : { 0, 31, 507, 512 })
        EXPECT_EQ (out.getData()[k], in.getData()[k]) << k;

    double expected32 = smoother->getKernel()[0] * in.getData()[32];
    for (int j = 1; j < 6; ++j)
        expected32 += smoother->getKernel()[j] * (in.getData()[32 - j] + in.getData()[32 + j]);
    EXPECT_NEAR (out.getData()[32], expected32, 1e-6);
    EXPECT_NE (out.getData()[506], in.getData()[506]);
}

TEST_F (Gate, GainCurveForTheBaysSetting)
{
    gate->buildGainCurve (15.0f, 2.0f);
    const auto* curve = gate->getGainCurve()->getData();

    for (int i = 0; i <= 128; ++i)
        EXPECT_NEAR (curve[i], dbToGain (-15.0f), 1e-6f) << i;

    for (int j = 1; j <= 7; ++j)
        EXPECT_NEAR (curve[128 + j], dbToGain (-15.0f + 2.0f * (float) j), 1e-6f) << j;

    for (int i = 136; i < 256; ++i)
        EXPECT_EQ (curve[i], 1.0f) << i;

    gate->buildGainCurve (0.0f, 2.0f);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ (curve[i], 1.0f);

    gate->buildGainCurve (-6.0f, 2.0f);
    EXPECT_NEAR (curve[0], dbToGain (6.0f), 1e-6f);
    EXPECT_EQ (curve[128], 1.0f);
}

TEST (SpectralGateIndexTest, DifferencesMapToClampedEntries)
{
    struct Case
    {
        float differenceDb;
        int index;
    };

    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = { { 0.0f, 128 },   { 0.99f, 128 },
                           { -0.99f, 128 }, { 1.0f, 129 },
                           { 7.5f, 135 },   { -1.5f, 127 },
                           { 127.9f, 255 }, { 200.0f, 255 },
                           { -128.0f, 0 },  { -1e30f, 0 },
                           { 1e30f, 255 },  { inf, 255 },
                           { -inf, 0 },     { std::numeric_limits<float>::quiet_NaN(), 0 } };

    for (auto c : cases)
        EXPECT_EQ (ZSpectralCompressor::curveIndex (c.differenceDb), c.index) << c.differenceDb;
}

TEST_F (Gate, BinsAreCutByTheirDistanceToTheThreshold)
{
    gate->buildGainCurve (15.0f, 2.0f);
    gate->setTrack (false);
    gate->fillThresholds (-60.0f);
    gate->reset();

    struct Case
    {
        float powerDb;
        float expectedDb;
    };

    // The smoothed power settles at power * attack / (1 - release) = 10 x power (+10 dB).
    for (auto c : { Case { -90.0f, -15.0f }, Case { -69.5f, -15.0f }, Case { -62.5f, -1.0f }, Case { -61.5f, 0.0f },
                    Case { 140.0f, 0.0f } })
    {
        gate->reset();
        settle (c.powerDb);
        const auto input = std::sqrt (std::pow (10.0f, c.powerDb / 10.0f));
        for (int k : { 0, 100, 512 })
            EXPECT_NEAR (tavlin::test::toDb (re.getData()[k] / input), c.expectedDb, 0.01) << c.powerDb << " bin " << k;
    }
}

TEST_F (Gate, NeutralBeforeTheCurveIsBuilt)
{
    gate->setTrack (false);
    gate->reset();
    tavlin::test::fillNoise (re, 1);
    tavlin::test::fillNoise (im, 2);
    ZBuffer re0 (bins, "r"), im0 (bins, "i");
    re0.copyFrom (re);
    im0.copyFrom (im);
    gate->process (&re, &im, &re, &im);

    for (int k = 0; k < bins; ++k)
    {
        ASSERT_FLOAT_EQ (re.getData()[k], re0.getData()[k]);
        ASSERT_FLOAT_EQ (im.getData()[k], im0.getData()[k]);
    }
}

TEST_F (Gate, AFrameWithABadBinLeavesTheSmoothedPowerAndLevelAlone)
{
    // NaN, infinity, and a finite value whose power overflows.
    for (auto bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f })
    {
        auto untouched = ZSpectralCompressor::create (bins, 44100.0f);

        for (auto* g : { gate.get(), untouched.get() })
        {
            g->buildGainCurve (15.0f, 2.0f);
            g->fillThresholds (-60.0f);
            g->reset();
        }

        auto feed = [this] (ZSpectralCompressor& g, float powerDb, int frames, int badBin = -1, float value = 0.0f)
        {
            for (int f = 0; f < frames; ++f)
            {
                tavlin::test::fillNoise (re, (uint32_t) f, std::sqrt (std::pow (10.0f, powerDb / 10.0f)));
                im.clear();
                if (badBin >= 0)
                    re.getData()[badBin] = value;
                g.process (&re, &im, &re, &im);
            }
        };

        feed (*gate, -50.0f, 50);
        feed (*untouched, -50.0f, 50);
        feed (*gate, -50.0f, 1, 7, bad);

        // Both go on from the same state: bit for bit the same gains.
        for (int f = 0; f < 20; ++f)
        {
            feed (*gate, -75.0f, 1);
            ZBuffer gated (bins, "gated");
            gated.copyFrom (re);
            feed (*untouched, -75.0f, 1);

            for (int k = 0; k < bins; ++k)
                ASSERT_EQ (gated.getData()[k], re.getData()[k]) << bad << ", frame " << f << ", bin " << k;
        }
    }
}

TEST (SpectralGateTrackTest, WeightFollowsTheLevelAndNeverNaN)
{
    struct Case
    {
        float levelDb, floorDb, rangeDb, expected;
    };

    const Case cases[] = { { -27, -36, 18, 0.5f }, { -40, -36, 18, 0.0f }, { -10, -36, 18, 1.0f },
                           { -1000, 0, 6, 0.0f },  { -5, -5, 0, 1.0f },    { -6, -5, 0, 0.0f },
                           { -5, -5, -3, 1.0f } };

    for (auto c : cases)
    {
        const auto t = ZSpectralCompressor::trackWeight (c.levelDb, c.floorDb, c.rangeDb);
        EXPECT_FALSE (std::isnan (t));
        EXPECT_EQ (t, c.expected) << c.levelDb << " " << c.floorDb << " " << c.rangeDb;
    }
}

TEST_F (Gate, TrackingBlendsGainsTowardsUnityAndZeroRangeStaysFinite)
{
    gate->buildGainCurve (15.0f, 2.0f);
    gate->fillThresholds (200.0f);
    gate->setLevelFloorDb (-36.0f);
    gate->setLevelRangeDb (18.0f);

    // A total power of -27 dB spread over all bins gives t = 0.5 and G = 0.75 x 0.1778 + 0.25.
    const auto perBinDb = -27.0f - 10.0f * std::log10 ((float) bins);
    gate->reset();
    settle (perBinDb, 400);
    EXPECT_NEAR (10.0f * std::log10 (gate->getLevel()), -27.0f, 0.01f);
    EXPECT_NEAR (gate->getSpectralGain()->getData()[200], 0.75f * dbToGain (-15.0f) + 0.25f, 1e-3f);

    gate->setLevelRangeDb (0.0f);
    settle (perBinDb, 2);
    for (int k = 0; k < bins; ++k)
        ASSERT_TRUE (std::isfinite (re.getData()[k]));
    EXPECT_FLOAT_EQ (gate->getSpectralGain()->getData()[200], 1.0f);

    gate->reset();
    EXPECT_EQ (gate->getLevel(), 0.0f);
}

TEST_F (Gate, NoiseOnlyIsTheComplementOfTheGate)
{
    auto other = ZSpectralCompressor::create (bins, 44100.0f);

    for (auto* g : { gate.get(), other.get() })
    {
        g->buildGainCurve (15.0f, 2.0f);
        g->setTrack (false);
        g->fillThresholds (-40.0f);
        g->reset();
    }

    ZBuffer re2 (bins, "re2"), im2 (bins, "im2");

    for (int frame = 0; frame < 20; ++frame)
    {
        tavlin::test::fillNoise (re, (uint32_t) frame, 0.02f);
        tavlin::test::fillNoise (im, (uint32_t) frame + 100, 0.02f);
        re2.copyFrom (re);
        im2.copyFrom (im);
        gate->process (&re, &im, &re, &im);
        other->processNoiseOnly (&re2, &im2, &re2, &im2);

        for (int k = 0; k < bins; ++k)
            ASSERT_NEAR (gate->getSpectralGain()->getData()[k] + other->getSpectralGain()->getData()[k], 1.0f, 1e-5f)
                << "frame " << frame << " bin " << k;
    }
}

TEST_F (Gate, FrequencyBoundsAreResetOnEveryCall)
{
    gate->buildGainCurve (15.0f, 2.0f);
    gate->setTrack (false);
    gate->fillThresholds (0.0f);
    gate->setFrequencyRange (1000.0f, 500.0f);
    EXPECT_EQ (gate->getUpperFrequencyBound(), 1000.0f);
    gate->reset();
    settle (-60.0f, 5);
    EXPECT_EQ (gate->getUpperFrequencyBound(), 384000.0f);
    EXPECT_EQ (gate->getLowerFrequencyBound(), 0.0f);

    for (int k : { 0, 5, 300, 512 })
        EXPECT_NEAR (gate->getSpectralGain()->getData()[k], dbToGain (-15.0f), 1e-5f) << k;
}

TEST_F (Gate, RampsAndLevelCoefficients)
{
    gate->setAttackRamp (0.15f, 0.225f);
    gate->setReleaseRamp (0.1f, 0.2f);
    EXPECT_FLOAT_EQ (gate->getAttack()->getData()[0], 0.15f);
    EXPECT_FLOAT_EQ (gate->getAttack()->getData()[512], 0.225f);
    EXPECT_FLOAT_EQ (gate->getRelease()->getData()[0], 0.9f);
    EXPECT_FLOAT_EQ (gate->getRelease()->getData()[512], 0.8f);

    EXPECT_NEAR (gate->getLevelAttackCoefficient(), 0.0016f, 1e-4f);
    EXPECT_NEAR (gate->getLevelReleaseCoefficient(), 0.276f, 1e-3f);
    gate->setLevelRelease (0.01f);
    EXPECT_NEAR (gate->getLevelReleaseCoefficient(), 0.525f, 1e-3f);
    EXPECT_NEAR (gate->getLevelAttackCoefficient(), 0.0016f, 1e-4f);
}
