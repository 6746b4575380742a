// Every vector kernel, on every instruction set this processor offers, against the plain loop it
// stands in for: sizes from 0 to beyond a segment, odd ones included, at aligned and unaligned starts.

#include "ZGain.h"
#include "ZVectorKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace vesk;

namespace
{
const std::vector<std::size_t> sizes { 0,  1,  2,  3,  4,  5,  7,   8,   9,   15,  16,
                                       17, 31, 33, 63, 64, 65, 255, 257, 511, 513, 1025 };
const std::vector<std::size_t> starts { 0, 1, 2, 3, 5 };

/** Values over the whole float range: ordinary samples, tiny and subnormal ones, zeros of both signs,
    huge ones, and now and then an infinity or a NaN when asked for.
*/
std::vector<float> values (std::size_t n, uint32_t seed, bool specials)
{
    std::mt19937 rng (seed);
    std::normal_distribution<float> normal (0.0f, 1.0f);
    std::uniform_int_distribution<int> kind (0, 19), exponent (-149, 40);
    std::vector<float> v (n);

    for (auto& x : v)
    {
        switch (kind (rng))
        {
            case 0:
                x = 0.0f;
                break;
            case 1:
                x = -0.0f;
                break;
            case 2:
                x = std::ldexp (normal (rng), exponent (rng));
                break;
            case 3:
                x = std::ldexp (normal (rng), -140);
                break;
            case 4:
                x = specials ? std::numeric_limits<float>::infinity() : 1.0f;
                break;
            case 5:
                x = specials ? std::numeric_limits<float>::quiet_NaN() : -1.0f;
                break;
            default:
                x = normal (rng);
                break;
        }
    }

    return v;
}

std::vector<float> positive (std::size_t n, uint32_t seed)
{
    auto v = values (n, seed, false);

    for (auto& x : v)
        x = std::abs (x) * 1.0e-3f;

    return v;
}

/** The gain curve the look-up tests share: 256 entries rising by 0.01 from 0.125. */
std::vector<float> gainCurve()
{
    std::vector<float> curve (256);

    for (int i = 0; i < 256; ++i)
        curve[(size_t) i] = 0.01f * (float) i + 0.125f;

    return curve;
}

bool sameBits (float a, float b)
{
    if (std::isnan (a) || std::isnan (b))
        return std::isnan (a) && std::isnan (b);

    return std::memcmp (&a, &b, sizeof (a)) == 0;
}

int ulpDistance (float a, float b)
{
    int32_t x, y;
    std::memcpy (&x, &a, sizeof (x));
    std::memcpy (&y, &b, sizeof (y));
    return std::abs (x - y);
}

/** A kernel case: fills the inputs of n elements at the given start, runs the plain loop into the
    expected arrays and the vector kernel into the actual ones; both outputs are compared bit for bit.
*/
struct KernelCase
{
    std::string name;
    std::function<void (std::size_t start, std::size_t n, uint32_t seed, std::vector<float>& expected,
                        std::vector<float>& actual)>
        run;
};

// Inputs live in arrays padded by the start, so the kernels see unaligned starts too.
struct Arrays
{
    Arrays (std::size_t start, std::size_t n, uint32_t seed, int count, bool specials)
    {
        for (int i = 0; i < count; ++i)
        {
            auto v = values (n, seed + (uint32_t) i, specials);
            std::vector<float> padded (start + n + 1, 7.0f);
            std::copy (v.begin(), v.end(), padded.begin() + (std::ptrdiff_t) start);
            arrays.push_back (padded);
        }
    }

    float* at (int i, std::size_t start) { return arrays[(size_t) i].data() + start; }

    std::vector<std::vector<float>> arrays;
};

std::vector<float> concat (const std::vector<std::vector<float>>& parts)
{
    std::vector<float> all;

    for (auto& p : parts)
        all.insert (all.end(), p.begin(), p.end());

    return all;
}

std::vector<KernelCase> elementCases()
{
    const float gain = 0.7071f;

    // In-place kernel d op= ..., reference and vector run on copies of the same arrays.
    auto inPlace = [] (std::string name, int inputs, const std::function<void (float*, float**, std::size_t)>& plain,
                       const std::function<void (float*, float**, std::size_t)>& vector)
    {
        return KernelCase { std::move (name), [=] (std::size_t start, std::size_t n, uint32_t seed,
                                                   std::vector<float>& expected, std::vector<float>& actual)
                            {
                                Arrays a (start, n, seed, inputs + 1, true), b = a;
                                std::vector<float*> ai, bi;

                                for (int i = 1; i <= inputs; ++i)
                                {
                                    ai.push_back (a.at (i, start));
                                    bi.push_back (b.at (i, start));
                                }

                                plain (a.at (0, start), ai.data(), n);
                                vector (b.at (0, start), bi.data(), n);
                                expected = a.arrays[0];
                                actual = b.arrays[0];
                            } };
    };

    return {
        inPlace (
            "scale", 0,
            [=] (float* d, float**, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = d[i] * gain;
            },
            [=] (float* d, float**, std::size_t n) { vectorKernels::scale (d, n, gain); }),
        inPlace (
            "multiply", 1,
            [] (float* d, float** o, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = d[i] * o[0][i];
            },
            [] (float* d, float** o, std::size_t n) { vectorKernels::multiply (d, o[0], n); }),
        inPlace (
            "scaleTo", 1,
            [=] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = s[0][i] * gain;
            },
            [=] (float* d, float** s, std::size_t n) { vectorKernels::scaleTo (s[0], d, n, gain); }),
        inPlace (
            "multiplyTo", 2,
            [] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = s[0][i] * s[1][i];
            },
            [] (float* d, float** s, std::size_t n) { vectorKernels::multiplyTo (s[0], s[1], d, n); }),
        inPlace (
            "scaleAddTo", 1,
            [=] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = s[0][i] * gain + d[i];
            },
            [=] (float* d, float** s, std::size_t n) { vectorKernels::scaleAddTo (s[0], d, n, gain); }),
        inPlace (
            "multiplyAddTo", 2,
            [] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = s[0][i] * s[1][i] + d[i];
            },
            [] (float* d, float** s, std::size_t n) { vectorKernels::multiplyAddTo (s[0], s[1], d, n); }),
        inPlace (
            "flushedScaleAddTo", 1,
            [=] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] += ZGain::flushedProduct (s[0][i], gain);
            },
            [=] (float* d, float** s, std::size_t n) { vectorKernels::flushedScaleAddTo (s[0], d, n, gain); }),
        inPlace (
            "flushedScaleAddTo tiny gain", 1,
            [=] (float* d, float** s, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] += ZGain::flushedProduct (s[0][i], 3.0e-20f);
            },
            [=] (float* d, float** s, std::size_t n) { vectorKernels::flushedScaleAddTo (s[0], d, n, 3.0e-20f); }),
        inPlace (
            "blend", 0,
            [] (float* d, float**, std::size_t n)
            {
                for (std::size_t i = 0; i < n; ++i)
                    d[i] = d[i] * 0.75f + 0.25f;
            },
            [] (float* d, float**, std::size_t n) { vectorKernels::blend (d, n, 0.75f, 0.25f); }),
        { "complexMultiply",
          [] (std::size_t start, std::size_t n, uint32_t seed, std::vector<float>& expected, std::vector<float>& actual)
          {
              // Outputs written over the first two inputs, as the multiband compressor does.
              Arrays a (start, n, seed, 4, true), b = a;
              auto* ar = a.at (0, start);
              auto* ai = a.at (1, start);

              for (std::size_t i = 0; i < n; ++i)
              {
                  const auto re = ar[i] * a.at (2, start)[i] - ai[i] * a.at (3, start)[i];
                  const auto im = ar[i] * a.at (3, start)[i] + ai[i] * a.at (2, start)[i];
                  ar[i] = re;
                  ai[i] = im;
              }

              vectorKernels::complexMultiply (b.at (0, start), b.at (1, start), b.at (2, start), b.at (3, start),
                                              b.at (0, start), b.at (1, start), n);
              expected = concat (a.arrays);
              actual = concat (b.arrays);
          } },
        inPlace (
            "squaredMagnitude", 2,
            [] (float* d, float** s, std::size_t n)
            {
                for (std::size_t k = 0; k < n; ++k)
                    d[k] = s[0][k] * s[0][k] + s[1][k] * s[1][k];
            },
            [] (float* d, float** s, std::size_t n) { vectorKernels::squaredMagnitude (s[0], s[1], d, n); }),
        inPlace (
            "recursiveSmooth", 3,
            [] (float* d, float** s, std::size_t n)
            {
                for (std::size_t k = 0; k < n; ++k)
                    d[k] = d[k] * s[2][k] + s[0][k] * s[1][k];
            },
            [] (float* d, float** s, std::size_t n) { vectorKernels::recursiveSmooth (s[0], s[1], s[2], d, n); }),
    };
}

/** The gate's curve look-up as the spectral compressor wrote it. */
float plainCurveGain (float db, float threshold, float offset, const float* curve, bool noiseOnly)
{
    const auto d = db - (offset + threshold);
    int index = 0;

    if (!std::isnan (d))
        index = (int) std::clamp (std::trunc (d) + 128.0f, 0.0f, 255.0f);

    return noiseOnly ? 1.0f - curve[index] : curve[index];
}

class VectorKernels : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override { ASSERT_TRUE (vectorKernels::useInstructionSet (GetParam())); }
    void TearDown() override { vectorKernels::useInstructionSet ({}); }
};
} // namespace

TEST (VectorKernelDispatch, OffersTheBestInstructionSetFirstAndAlwaysAPlainOne)
{
    const auto sets = vectorKernels::availableInstructionSets();
    ASSERT_FALSE (sets.empty());
    EXPECT_EQ (vectorKernels::currentInstructionSet(), sets.front());
    EXPECT_FALSE (vectorKernels::useInstructionSet ("NoSuchSet"));
    EXPECT_EQ (vectorKernels::currentInstructionSet(), sets.front());
}

TEST_P (VectorKernels, ElementKernelsGiveThePlainLoopsBits)
{
    EXPECT_EQ (vectorKernels::currentInstructionSet(), GetParam());

    for (const auto& kernel : elementCases())
        for (auto n : sizes)
            for (auto start : starts)
            {
                std::vector<float> expected, actual;
                kernel.run (start, n, (uint32_t) (n * 31 + start), expected, actual);
                ASSERT_EQ (expected.size(), actual.size());

                for (std::size_t i = 0; i < expected.size(); ++i)
                    ASSERT_TRUE (sameBits (expected[i], actual[i]))
                        << kernel.name << " n " << n << " start " << start << " element " << i << ": " << expected[i]
                        << " vs " << actual[i];
            }
}

TEST_P (VectorKernels, CurveGainsMatchTheLookUpForEveryDifference)
{
    const auto curve = gainCurve();

    for (bool noiseOnly : { false, true })
        for (auto n : sizes)
            for (auto start : starts)
            {
                // Levels and thresholds in dB around and far beyond the curve's range, NaN and infinities too.
                auto db = values (start + n, (uint32_t) n, true);
                auto thresholds = values (start + n, (uint32_t) n + 7, true);

                for (auto& x : db)
                    x = std::isfinite (x) ? x * 90.0f : x;

                for (auto& x : thresholds)
                    x = std::isfinite (x) ? x * 40.0f - 48.0f : x;

                std::vector<float> gains (start + n, -1.0f);
                vectorKernels::curveGains (db.data() + start, thresholds.data() + start, 3.0f, curve.data(), noiseOnly,
                                           gains.data() + start, n);

                for (std::size_t k = 0; k < n; ++k)
                    ASSERT_TRUE (sameBits (gains[start + k], plainCurveGain (db[start + k], thresholds[start + k], 3.0f,
                                                                             curve.data(), noiseOnly)))
                        << "n " << n << " element " << k << " level " << db[start + k];

                for (std::size_t k = 0; k < start; ++k)
                    ASSERT_EQ (gains[k], -1.0f);
            }
}

TEST_P (VectorKernels, DecibelCurveGainsAreTheConversionAndLookUpInTurn)
{
    const auto curve = gainCurve();

    // Offsets that put some differences just beside a whole number of dB, where an approximate
    // logarithm would truncate the other way, and others far out or beyond the curve.
    const float nudges[] = { 0.0f, 1.0e-6f, -1.0e-6f, 3.0e-5f, -3.0e-5f, 0.5f, 400.0f };

    for (bool noiseOnly : { false, true })
        for (auto n : sizes)
            for (auto start : starts)
            {
                auto power = values (start + n, (uint32_t) (3 * n + start), true);
                auto thresholds = values (start + n, (uint32_t) (5 * n + start), false);
                auto db = power;

                for (auto& x : power)
                    x = std::isfinite (x) ? x * x : x;

                db = power;
                vectorKernels::powerToDecibels (db.data() + start, n, 1e-20f);

                for (std::size_t k = start; k < start + n; ++k)
                {
                    const auto whole = std::round (thresholds[k] * 60.0f);
                    const auto nudge = nudges[k % std::size (nudges)];
                    thresholds[k] = k % 3 == 0 ? thresholds[k] * 50.0f - 48.0f : db[k] - 3.0f - (whole + nudge);

                    if (!std::isfinite (thresholds[k]))
                        thresholds[k] = -48.0f;
                }

                std::vector<float> expected (start + n, -1.0f), actual (start + n, -1.0f);
                vectorKernels::curveGains (db.data() + start, thresholds.data() + start, 3.0f, curve.data(), noiseOnly,
                                           expected.data() + start, n);
                vectorKernels::decibelCurveGains (power.data() + start, 1e-20f, thresholds.data() + start, 3.0f,
                                                  curve.data(), noiseOnly, actual.data() + start, n);

                for (std::size_t k = 0; k < start + n; ++k)
                    ASSERT_TRUE (sameBits (expected[k], actual[k]))
                        << "n " << n << " start " << start << " element " << k << " power " << power[k];
            }
}

TEST_P (VectorKernels, GateGainsAreTheGatesKernelsInTurn)
{
    const auto curve = gainCurve();

    for (bool noiseOnly : { false, true })
        for (auto n : sizes)
            for (auto start : starts)
            {
                Arrays a (start, n, (uint32_t) (13 * n + start), 2, true);
                auto attack = positive (start + n, (uint32_t) n), release = positive (start + n, (uint32_t) n + 1);
                auto smoothed = positive (start + n, (uint32_t) n + 2);
                auto thresholds = values (start + n, (uint32_t) n + 3, false);

                for (auto& x : thresholds)
                    x = x * 40.0f - 48.0f;

                // The kernels one after the other.
                std::vector<float> power (start + n), expectedSmoothed = smoothed, expectedGains (start + n, -1.0f);
                vectorKernels::squaredMagnitude (a.at (0, start), a.at (1, start), power.data() + start, n);
                float expectedTotal = 0.0f;

                for (std::size_t k = start; k < start + n; ++k)
                    expectedTotal += power[k];

                vectorKernels::recursiveSmooth (power.data() + start, attack.data() + start, release.data() + start,
                                                expectedSmoothed.data() + start, n);
                vectorKernels::decibelCurveGains (expectedSmoothed.data() + start, 1e-20f, thresholds.data() + start,
                                                  3.0f, curve.data(), noiseOnly, expectedGains.data() + start, n);

                std::vector<float> candidate (start + n, -1.0f), gains (start + n, -1.0f);
                const vectorKernels::GateFrame frame { a.at (0, start),
                                                       a.at (1, start),
                                                       attack.data() + start,
                                                       release.data() + start,
                                                       smoothed.data() + start,
                                                       candidate.data() + start,
                                                       1e-20f,
                                                       thresholds.data() + start,
                                                       3.0f,
                                                       curve.data(),
                                                       noiseOnly,
                                                       gains.data() + start };
                const auto total = vectorKernels::gateGains (frame, n);

                ASSERT_TRUE (sameBits (expectedTotal, total)) << "n " << n << " start " << start;

                for (std::size_t k = start; k < start + n; ++k)
                {
                    ASSERT_TRUE (sameBits (expectedSmoothed[k], candidate[k])) << "n " << n << " bin " << k;
                    ASSERT_TRUE (sameBits (expectedGains[k], gains[k])) << "n " << n << " bin " << k;
                }

                for (std::size_t k = 0; k < start; ++k)
                    ASSERT_EQ (gains[k], -1.0f);
            }
}

TEST_P (VectorKernels, SquarePeakIsTheClickProcessorsPlainLoop)
{
    for (auto n : sizes)
        for (auto start : starts)
            for (bool ties : { false, true })
            {
                auto x = values (start + n, (uint32_t) (n + 17 * start), true);

                // Magnitudes whose squares round alike, the second one larger: the first one counts.
                if (ties && n >= 4)
                {
                    x[start + n / 3] = 0.70710677f;
                    x[start + n - 1] = -0.70710683f;
                    x[start + n / 2] = 1.0e-20f;
                }

                float expected = 0.0f, largest = 0.0f;

                for (std::size_t i = start; i < start + n; ++i)
                {
                    const auto square = ZGain::flushedProduct (x[i], x[i]);

                    if (square > largest)
                    {
                        largest = square;
                        expected = std::abs (x[i]);
                    }
                }

                ASSERT_TRUE (sameBits (expected, vectorKernels::squarePeak (x.data() + start, n)))
                    << "n " << n << " start " << start;
            }
}

TEST_P (VectorKernels, FirstRiseIsThePlainLoopsFirstStartOfARun)
{
    // Detection flags and strengths: zeros of both signs, values above 0, NaNs and negatives, with one
    // rise put at every place in turn or none at all.
    for (auto n : sizes)
        for (auto start : starts)
            for (std::size_t place = 0; place <= n; place += std::max<std::size_t> (1, n / 17))
            {
                std::mt19937 rng ((uint32_t) (n * 5 + start + place));
                std::uniform_int_distribution<int> kind (0, 5);
                std::vector<float> x (start + n + 1);

                // Anything but a 0 followed by something above 0.
                for (auto& v : x)
                {
                    const auto k = kind (rng);
                    v = k == 0 ? std::numeric_limits<float>::quiet_NaN() : (k == 1 ? -0.5f : (k == 2 ? 0.7f : 1.0f));
                }

                for (std::size_t i = 0; i + 1 < x.size(); ++i)
                    if (x[i] == 0.0f && x[i + 1] > 0.0f)
                        x[i + 1] = -1.0f;

                // Zeros amid the rest, of both signs, before NaNs and negatives.
                for (std::size_t i = start; i + 1 < x.size(); i += 3)
                    if (!(x[i + 1] > 0.0f))
                        x[i] = i % 2 == 0 ? 0.0f : -0.0f;

                if (place < n)
                {
                    x[start + place] = place % 2 == 0 ? 0.0f : -0.0f;
                    x[start + place + 1] = place % 3 == 0 ? 1.0f : 1.0e-30f;
                }

                std::size_t expected = n;

                for (std::size_t i = 0; i < n; ++i)
                    if (x[start + i] == 0.0f && x[start + i + 1] > 0.0f)
                    {
                        expected = i;
                        break;
                    }

                ASSERT_EQ (vectorKernels::firstRise (x.data() + start, n), expected)
                    << "n " << n << " start " << start << " place " << place;
            }
}

TEST_P (VectorKernels, PeakMagnitudeIsThePlainLoopsLargestMagnitude)
{
    for (auto n : sizes)
        for (auto start : starts)
        {
            auto x = values (start + n, (uint32_t) (n + 11 * start), true);
            float expected = 0.0f;

            for (std::size_t i = start; i < start + n; ++i)
                expected = std::max (expected, std::abs (x[i]));

            ASSERT_TRUE (sameBits (expected, vectorKernels::peakMagnitude (x.data() + start, n)))
                << "n " << n << " start " << start;
        }
}

TEST_P (VectorKernels, ExpanderGainsAreTheCLibrarysWithinRounding)
{
    // Curves with the threshold above, inside and below the envelopes, with and without the gain cap.
    const vectorKernels::ExpanderCurve curves[] = {
        { 0.15f, 2.5f, 1.0f, -16.478f, 0.0f, 1.0e-30f },
        { 1.0e-4f, 4.0f, 1.0f, -40.0f, 3.0f, 1.0e-30f },
        { 2.0f, 1.5f, 0.5f, 3.0103f, 12.0f, 1.0e-30f },
    };
    const auto plainLoop = GetParam() == "SCALAR";

    for (const auto& curve : curves)
        for (auto n : sizes)
            for (auto start : starts)
            {
                auto x = values (start + n, (uint32_t) (7 * n + start), true);
                auto envelope = positive (start + n, (uint32_t) (9 * n + start));
                std::vector<float> expected (start + n, -1.0f), actual (start + n, -1.0f), tolerance (start + n);

                for (std::size_t i = start; i < start + n; ++i)
                {
                    const auto e = envelope[i];
                    const auto ratio = curve.thresholdLinear > e ? curve.ratioBelow : curve.ratioAbove;
                    const auto level = 10.0f * std::log10 (std::max (e, curve.floorPower));
                    const auto gainDb =
                        std::min (curve.maxGainDb, (level - curve.thresholdDb) * ratio + curve.thresholdDb - level);
                    expected[i] = x[i] * std::pow (10.0f, gainDb * 0.05f);

                    // Some millionths of the gain, and more where a last-bit difference of either side's level,
                    // scaled by the curve to two last bits of its largest term in dB, is more (0.1151 = ln 10 / 20).
                    const auto largest =
                        std::max (std::abs (level), std::abs (curve.thresholdDb)) * std::max (ratio, 1.0f);
                    const auto lastBitDb = std::nextafter (largest, std::numeric_limits<float>::infinity()) - largest;
                    tolerance[i] = std::max (4.0e-6f, 0.1151f * 2.0f * lastBitDb);
                }

                vectorKernels::expanderGains (x.data() + start, envelope.data() + start, actual.data() + start, n,
                                              curve);

                for (std::size_t i = 0; i < start + n; ++i)
                {
                    if (plainLoop || !std::isfinite (expected[i]))
                        ASSERT_TRUE (sameBits (expected[i], actual[i])) << "n " << n << " element " << i;
                    else // a last-bit difference of the level, scaled by the ratio: some millionths of a dB
                        ASSERT_LE (std::abs (actual[i] - expected[i]), tolerance[i] * std::abs (expected[i]))
                            << "n " << n << " element " << i << ": " << expected[i] << " vs " << actual[i];
                }
            }
}

namespace
{
/** The crackle processor's predictors and detection as its plain loop wrote them, one sample at i. */
void plainCrackleSample (vectorKernels::CrackleChannel& c, int i)
{
    const auto* h = c.history;
    float p = 0.0f, energy = 0.0f, steadyPrediction = 0.0f;

    for (int j = 0; j < 5; ++j)
    {
        const auto past = h[i - 1 - j];
        p += ZGain::flushedProduct (c.weights[j], past);
        steadyPrediction += ZGain::flushedProduct (c.steadyWeights[j], past);
        energy += ZGain::flushedProduct (past, past);
    }

    c.predictions[i] = p;
    const auto e = h[i] - p;
    c.errors[i] = e;
    const auto step = c.stepSize / (energy + 0.000001f);

    for (int j = 0; j < 5; ++j)
        c.weights[j] += ZGain::flushedProduct (ZGain::flushedProduct (e, h[i - 1 - j]), step);

    const auto magnitude = std::abs (e);
    c.envelope = (float) ((double) ZGain::flushedProduct (c.envelopeDecay, c.envelope)
                          + (1.0 - (double) c.envelopeDecay) * (double) magnitude);
    const auto t = std::max (ZGain::flushedProduct (c.envelope, c.thresholdRatio), c.thresholdFloor);
    const auto strength = (float) (((double) magnitude - (double) t) / ((double) t + 0.001));
    c.detection[i] = std::clamp (strength, 0.0f, 1.0f);

    const auto steadyError = h[i] - steadyPrediction;
    c.steadyErrors[i] = steadyError;
    c.samplesSinceDetection = c.detection[i] > 0.0f ? 0 : std::min (c.samplesSinceDetection + 1, 6);

    if (c.samplesSinceDetection > 5)
        for (int j = 0; j < 5; ++j)
            c.steadyWeights[j] += ZGain::flushedProduct (ZGain::flushedProduct (steadyError, h[i - 1 - j]), step);
}

/** A channel's arrays and state, on programme-like samples with bursts, tiny and silent stretches. */
struct CrackleArrays
{
    CrackleArrays (int length, uint32_t seed)
    {
        std::mt19937 rng (seed);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        auto phase = 0.0;

        for (auto* a : { &history, &detection, &errors, &predictions, &steady })
            a->assign ((size_t) length + 8, 0.0f);

        for (int i = 0; i < length; ++i)
        {
            phase += 0.031 + 0.002 * (i % 7);
            auto x = 0.3f * (float) std::sin (phase) + 0.01f * noise (rng);

            if (i % 97 < 3)
                x += 0.8f * noise (rng); // a burst
            else if (i % 401 < 40)
                x *= 1.0e-19f; // tiny, down to where products flush
            else if (i % 503 < 20)
                x = 0.0f;

            history[(size_t) i] = x;
        }

        weights = { 0.1f, -0.05f, 0.02f, 0.0f, 1.0e-21f };
        steadyWeights = { 0.2f, 0.1f, -0.03f, 0.01f, 0.0f };
    }

    vectorKernels::CrackleChannel channel (int samplesSinceDetection)
    {
        return { history.data(),
                 detection.data(),
                 errors.data(),
                 predictions.data(),
                 steady.data(),
                 weights.data(),
                 steadyWeights.data(),
                 0.005f,
                 10.0f,
                 0.001f,
                 0.997f,
                 0.01f,
                 samplesSinceDetection };
    }

    std::vector<float> all() const
    {
        return concat ({ history, detection, errors, predictions, steady,
                         std::vector<float> (weights.begin(), weights.end()),
                         std::vector<float> (steadyWeights.begin(), steadyWeights.end()) });
    }

    std::vector<float> history, detection, errors, predictions, steady;
    std::array<float, 5> weights {}, steadyWeights {};
};
} // namespace

TEST_P (VectorKernels, CracklePredictorsGiveThePlainLoopsBits)
{
    for (int n : { 1, 2, 7, 64, 511, 512, 2000 })
        for (int state : { 0, 6 })
        {
            const int start = 5 + state;
            CrackleArrays plain (start + n, (uint32_t) n), vector = plain, pairA = plain, pairB (start + n + 3, 9);
            auto pairBPlain = pairB;

            auto expected = plain.channel (state);

            for (int i = start; i < start + n; ++i)
                plainCrackleSample (expected, i);

            auto actual = vector.channel (state);
            vectorKernels::predictCrackle (actual, start, n);

            ASSERT_EQ (plain.all().size(), vector.all().size());
            const auto e = plain.all(), a = vector.all();

            for (std::size_t i = 0; i < e.size(); ++i)
                ASSERT_TRUE (sameBits (e[i], a[i])) << "n " << n << " element " << i << ": " << e[i] << " vs " << a[i];

            EXPECT_TRUE (sameBits (expected.envelope, actual.envelope)) << "n " << n;
            EXPECT_EQ (expected.samplesSinceDetection, actual.samplesSinceDetection) << "n " << n;

            // Two channels at once, the second starting elsewhere, each as alone.
            auto expectedB = pairBPlain.channel (state);

            for (int i = start + 3; i < start + 3 + n; ++i)
                plainCrackleSample (expectedB, i);

            auto a1 = pairA.channel (state), b1 = pairB.channel (state);
            vectorKernels::predictCracklePair (a1, start, b1, start + 3, n);
            EXPECT_EQ (pairA.all(), vector.all()) << "n " << n;
            EXPECT_EQ (pairB.all(), pairBPlain.all()) << "n " << n;
            EXPECT_TRUE (sameBits (a1.envelope, actual.envelope) && sameBits (b1.envelope, expectedB.envelope));
        }
}

namespace
{
/** The exponent of the coarsest power-of-two grid v lies on, as the declipper reckons it. */
int plainGridExponent (float v)
{
    uint32_t bits = 0;
    std::memcpy (&bits, &v, sizeof bits);
    const auto exponent = (int) ((bits >> 23) & 0xffu);

    if (exponent == 0 || exponent == 0xff)
        return std::numeric_limits<int>::max();

    return exponent - 150 + __builtin_ctz ((bits & 0x7fffffu) | 0x800000u);
}

std::size_t plainSampleCount (const float* x, std::size_t n, const vectorKernels::PlainSampleBounds& b)
{
    for (std::size_t i = 0; i < n; ++i)
    {
        const auto v = x[i];
        const auto p = i == 0 ? b.previous : x[i - 1];
        const auto plain = !std::isnan (p) && v != p && v > b.smallest && v < b.largest && v >= b.lowest
                           && v <= b.highest && (v <= 0.0f || b.largest - v > b.nearness)
                           && (v >= 0.0f || v - b.smallest > b.nearness) && plainGridExponent (v) >= b.gridExponent;

        if (!plain)
            return i;
    }

    return n;
}
} // namespace

TEST_P (VectorKernels, PlainSampleCountsAreThePlainLoops)
{
    // Samples on a grid of 2^-12 within the bounds, with one that is not plain (or one that is, though
    // unusual) put at every place in turn, after several previous samples, for several grids.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float specials[] = { nan,  inf,   -inf,      2.9995f, -2.9995f, 2.6f,     -2.6f,    1.0f + 0x1p-20f,
                               0.0f, -0.0f, 0x1p-140f, -3.0f,   3.0f,     0x1p-12f, 0x1p-13f, 1.5f };
    const int grids[] = { -149, -13, -12, -11, 0, 3, std::numeric_limits<int>::max() };

    for (auto n : sizes)
        for (auto start : starts)
        {
            std::mt19937 rng ((uint32_t) (n * 7 + start));
            std::normal_distribution<float> normal (0.0f, 0.7f);
            std::vector<float> base (start + n);

            for (auto& v : base)
                v = std::ldexp (std::round (std::ldexp (std::clamp (normal (rng), -2.4f, 2.4f), 12)), -12);

            for (std::size_t place = 0; place <= n; place += std::max<std::size_t> (1, n / 23))
                for (auto special : specials)
                    for (auto grid : grids)
                        for (float previous : { 0.25f, nan, n > 0 ? base[start] : 0.5f })
                        {
                            auto x = base;

                            if (place < n)
                                x[start + place] = special == 1.5f && place > 0 ? x[start + place - 1] : special;

                            const vectorKernels::PlainSampleBounds bounds { previous, -3.0f,  3.0f, -2.5f,
                                                                            2.5f,     0.001f, grid };
                            ASSERT_EQ (vectorKernels::countPlainSamples (x.data() + start, n, bounds),
                                       plainSampleCount (x.data() + start, n, bounds))
                                << "n " << n << " start " << start << " place " << place << " special " << special
                                << " grid " << grid << " previous " << previous;
                        }
        }
}

TEST_P (VectorKernels, CracklePredictorPairsGiveThePlainLoopsBitsOnEveryStretch)
{
    // Both channels' predictors side by side, over stretches of every length up to past two of the
    // kernel's look-ahead passes, at starts that differ between the channels, with negative zeros,
    // subnormals, infinities and NaNs in the history, channels at thresholds and steps of their own, and
    // crackle often enough that the steady predictors pause.
    struct Case
    {
        int n, startA, startB, stateA, stateB;
        bool specials;
    };

    const Case cases[] = { { 1, 5, 6, 0, 6, false },    { 3, 5, 9, 6, 0, false },   { 8, 7, 5, 6, 6, true },
                           { 9, 5, 5, 3, 6, true },     { 31, 12, 5, 6, 2, false }, { 255, 5, 8, 0, 0, true },
                           { 256, 6, 5, 6, 6, false },  { 257, 5, 13, 6, 1, true }, { 513, 9, 5, 6, 6, true },
                           { 1031, 5, 7, 0, 6, false }, { 1031, 11, 5, 6, 6, true } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "n " << c.n << " starts " << c.startA << ", " << c.startB);
        CrackleArrays a (c.startA + c.n, (uint32_t) c.n), b (c.startB + c.n, (uint32_t) c.n + 1);

        if (c.specials)
        {
            for (int i = 0; i < c.startA + c.n; i += 37)
                a.history[(size_t) i] = i % 3 == 0 ? -0.0f : 0x1p-140f;

            for (int i = 11; i < c.startB + c.n; i += 53)
                b.history[(size_t) i] = -0.0f;

            if (c.n > 300)
            {
                a.history[(size_t) c.startA + 200] = std::numeric_limits<float>::infinity();
                b.history[(size_t) c.startB + 280] = std::numeric_limits<float>::quiet_NaN();
            }
        }

        auto plainA = a, plainB = b, originalA = a;
        auto expectedA = plainA.channel (c.stateA), expectedB = plainB.channel (c.stateB);
        expectedB.thresholdRatio = 4.0f;
        expectedB.stepSize = 0.002f;

        for (int k = 0; k < c.n; ++k)
        {
            plainCrackleSample (expectedA, c.startA + k);
            plainCrackleSample (expectedB, c.startB + k);
        }

        auto actualA = a.channel (c.stateA), actualB = b.channel (c.stateB);
        actualB.thresholdRatio = 4.0f;
        actualB.stepSize = 0.002f;
        vectorKernels::predictCracklePair (actualA, c.startA, actualB, c.startB, c.n);

        const auto same = [] (const std::vector<float>& plain, const std::vector<float>& vector)
        {
            if (plain.size() != vector.size())
                return false;

            for (std::size_t i = 0; i < plain.size(); ++i)
                if (!sameBits (plain[i], vector[i]))
                {
                    ADD_FAILURE() << "element " << i << ": " << plain[i] << " vs " << vector[i];
                    return false;
                }

            return true;
        };

        ASSERT_TRUE (same (plainA.all(), a.all()));
        ASSERT_TRUE (same (plainB.all(), b.all()));
        EXPECT_TRUE (sameBits (expectedA.envelope, actualA.envelope));
        EXPECT_TRUE (sameBits (expectedB.envelope, actualB.envelope));
        EXPECT_EQ (expectedA.samplesSinceDetection, actualA.samplesSinceDetection);
        EXPECT_EQ (expectedB.samplesSinceDetection, actualB.samplesSinceDetection);

        // One channel alone takes the same steps.
        auto alone = originalA.channel (c.stateA);
        vectorKernels::predictCrackle (alone, c.startA, c.n);
        EXPECT_TRUE (same (plainA.all(), originalA.all()));
        EXPECT_TRUE (sameBits (expectedA.envelope, alone.envelope));
        EXPECT_EQ (expectedA.samplesSinceDetection, alone.samplesSinceDetection);
    }
}

TEST_P (VectorKernels, SymmetricFilterMatchesTheSmoothersLoop)
{
    const float w[] = { 0.15625f, 0.14662f, 0.12031f, 0.08438f, 0.04844f, 0.02213f };

    for (auto n : sizes)
    {
        if (n < 12)
            continue;

        auto x = values (n, (uint32_t) n, false);
        const auto start = std::max<std::size_t> (n / 16, 5), end = n - 6;
        std::vector<float> expected (n, 0.0f), actual (n, 0.0f);

        for (auto k = start; k < end; ++k)
        {
            auto sum = w[0] * x[k];

            for (std::size_t j = 1; j < 6; ++j)
                sum += w[j] * (x[k - j] + x[k + j]);

            expected[k] = sum;
        }

        vectorKernels::symmetricFilter (x.data(), actual.data(), w, 6, start, end);

        for (std::size_t k = 0; k < n; ++k)
            ASSERT_TRUE (sameBits (expected[k], actual[k])) << "n " << n << " bin " << k;
    }
}

TEST_P (VectorKernels, DecibelsAreTheCLibrarysWithinOneUlp)
{
    // Powers as the gate and the display see them, from silence to full scale and beyond.
    std::size_t compared = 0, differing = 0;

    for (float offset : { 1e-20f, 1e-12f })
        for (auto n : sizes)
            for (auto start : starts)
            {
                auto p = positive (start + n, (uint32_t) (n + start));
                auto expected = p, actual = p;

                for (std::size_t i = start; i < start + n; ++i)
                    expected[i] = (float) (10.0 * std::log10 ((double) (expected[i] + offset)));

                vectorKernels::powerToDecibels (actual.data() + start, n, offset);

                for (std::size_t i = 0; i < p.size(); ++i)
                {
                    ASSERT_LE (ulpDistance (expected[i], actual[i]), 1) << "n " << n << " element " << i;
                    ++compared;
                    differing += expected[i] != actual[i] ? 1 : 0;
                }
            }

    EXPECT_LE (differing * 1000, compared) << differing << " of " << compared << " differ by one ulp";
}

TEST_P (VectorKernels, TransformBinsSplitAndJoinAsThePlainLoops)
{
    for (auto n : sizes)
    {
        auto pairs = values (2 * n, (uint32_t) n, true);
        std::vector<float> re (n), im (n), joined (2 * n);
        vectorKernels::deinterleaveScaled (pairs.data(), re.data(), im.data(), n, 1.0f / 1024.0f);

        for (std::size_t i = 0; i < n; ++i)
        {
            ASSERT_TRUE (sameBits (re[i], pairs[2 * i] * (1.0f / 1024.0f))) << "n " << n << " bin " << i;
            ASSERT_TRUE (sameBits (im[i], pairs[2 * i + 1] * (1.0f / 1024.0f))) << "n " << n << " bin " << i;
        }

        vectorKernels::interleave (re.data(), im.data(), joined.data(), n);

        for (std::size_t i = 0; i < n; ++i)
        {
            ASSERT_TRUE (sameBits (joined[2 * i], re[i]));
            ASSERT_TRUE (sameBits (joined[2 * i + 1], im[i]));
        }
    }
}

TEST_P (VectorKernels, HalfSpectraJoinAndSplitAsThePlainLoops)
{
    // Transform sizes n = 2 half for every half in the table (odd ones too), arrays at unaligned starts.
    for (auto half : sizes)
        for (auto start : starts)
        {
            if (half == 0)
                continue;

            const auto n = 2 * half;
            Arrays halves (start, half + 1, (uint32_t) (half * 13 + start), 4, true);
            const auto* reA = halves.at (0, start);
            const auto* imA = halves.at (1, start);
            const auto* reB = halves.at (2, start);
            const auto* imB = halves.at (3, start);

            std::vector<float> expected (2 * n + start, 9.0f), actual = expected;
            auto* e = expected.data() + start;
            e[0] = reA[0];
            e[1] = reB[0];
            e[2 * half] = reA[half];
            e[2 * half + 1] = reB[half];

            for (std::size_t k = 1; k < half; ++k)
            {
                e[2 * k] = reA[k] - imB[k];
                e[2 * k + 1] = imA[k] + reB[k];
                e[2 * (n - k)] = reA[k] + imB[k];
                e[2 * (n - k) + 1] = reB[k] - imA[k];
            }

            vectorKernels::joinHalfSpectra (reA, imA, reB, imB, actual.data() + start, n);

            for (std::size_t i = 0; i < expected.size(); ++i)
                ASSERT_TRUE (sameBits (expected[i], actual[i])) << "join, n " << n << " start " << start << " " << i;

            // Split a full spectrum with specials in it.
            Arrays full (start, 2 * n, (uint32_t) (half * 17 + start), 1, true);
            const auto* pairs = full.at (0, start);
            const float scale = 0.5f / (float) n;
            std::vector<float> plain (4 * (half + 1) + start, 7.0f), vector = plain;
            auto* p = plain.data() + start;

            for (std::size_t k = 0; k <= half; ++k)
            {
                const auto j = (n - k) % n;
                p[k] = (pairs[2 * k] + pairs[2 * j]) * scale;
                p[half + 1 + k] = (pairs[2 * k + 1] - pairs[2 * j + 1]) * scale;
                p[2 * (half + 1) + k] = (pairs[2 * k + 1] + pairs[2 * j + 1]) * scale;
                p[3 * (half + 1) + k] = (pairs[2 * j] - pairs[2 * k]) * scale;
            }

            auto* v = vector.data() + start;
            vectorKernels::splitFullSpectrum (pairs, v, v + half + 1, v + 2 * (half + 1), v + 3 * (half + 1), n, scale);

            for (std::size_t i = 0; i < plain.size(); ++i)
                ASSERT_TRUE (sameBits (plain[i], vector[i])) << "split, n " << n << " start " << start << " " << i;
        }
}

INSTANTIATE_TEST_SUITE_P (EveryInstructionSet, VectorKernels,
                          ::testing::ValuesIn (vesk::vectorKernels::availableInstructionSets()),
                          [] (const auto& info) { return info.param; });
