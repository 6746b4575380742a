// Compiled once per instruction set by Highway's foreach_target; the last pass adds the dispatchers.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ZVectorKernels.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "ZVectorKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

HWY_BEFORE_NAMESPACE();

namespace vesk::vectorKernels::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// The vector library's double-precision log10 (1 ulp) for the width of this target. Declared here:
// its header shows these prototypes only to files built for that instruction set as a whole. Each pass
// over this file defines the macro afresh; the fallback targets (scalar, and the 128-bit emulation clang
// builds) have no such function and take std::log10 instead.
#undef TAVLIN_VECTOR_LOG10
#undef TAVLIN_VECTOR_LOG10F
#undef TAVLIN_VECTOR_EXP10F
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
extern "C" __m512d Sleef_log10d8_u10avx512f (__m512d);
extern "C" __m512 Sleef_log10f16_u10avx512f (__m512);
extern "C" __m512 Sleef_exp10f16_u10avx512f (__m512);
    #define TAVLIN_VECTOR_LOG10 Sleef_log10d8_u10avx512f
    #define TAVLIN_VECTOR_LOG10F Sleef_log10f16_u10avx512f
    #define TAVLIN_VECTOR_EXP10F Sleef_exp10f16_u10avx512f
#elif HWY_TARGET == HWY_AVX2
extern "C" __m256d Sleef_log10d4_u10avx2 (__m256d);
extern "C" __m256 Sleef_log10f8_u10avx2 (__m256);
extern "C" __m256 Sleef_exp10f8_u10avx2 (__m256);
    #define TAVLIN_VECTOR_LOG10 Sleef_log10d4_u10avx2
    #define TAVLIN_VECTOR_LOG10F Sleef_log10f8_u10avx2
    #define TAVLIN_VECTOR_EXP10F Sleef_exp10f8_u10avx2
#elif HWY_TARGET == HWY_SSE4
extern "C" __m128d Sleef_log10d2_u10sse4 (__m128d);
extern "C" __m128 Sleef_log10f4_u10sse4 (__m128);
extern "C" __m128 Sleef_exp10f4_u10sse4 (__m128);
    #define TAVLIN_VECTOR_LOG10 Sleef_log10d2_u10sse4
    #define TAVLIN_VECTOR_LOG10F Sleef_log10f4_u10sse4
    #define TAVLIN_VECTOR_EXP10F Sleef_exp10f4_u10sse4
#elif HWY_TARGET == HWY_SSSE3
extern "C" __m128d Sleef_log10d2_u10sse2 (__m128d);
extern "C" __m128 Sleef_log10f4_u10sse2 (__m128);
extern "C" __m128 Sleef_exp10f4_u10sse2 (__m128);
    #define TAVLIN_VECTOR_LOG10 Sleef_log10d2_u10sse2
    #define TAVLIN_VECTOR_LOG10F Sleef_log10f4_u10sse2
    #define TAVLIN_VECTOR_EXP10F Sleef_exp10f4_u10sse2
#endif

/** Runs body (index) over whole vectors and then once more over a padded copy of the tail, so that
    every element goes through the same vector code whatever the length and alignment.
*/
template <class D, class Body>
HWY_INLINE void forEachVector (D d, std::size_t n, Body&& body)
{
    const auto lanes = hn::Lanes (d);
    std::size_t i = 0;

    for (; i + lanes <= n; i += lanes)
        body (i, lanes);

    if (i < n)
        body (i, n - i);
}

/** Loads count (<= lanes) floats, padding with value. */
template <class D>
HWY_INLINE hn::Vec<D> loadPartial (D d, const float* p, std::size_t count, float value)
{
    if (count == hn::Lanes (d))
        return hn::LoadU (d, p);

    HWY_ALIGN float padded[hn::MaxLanes (D())];

    for (std::size_t j = 0; j < hn::MaxLanes (D()); ++j)
        padded[j] = j < count ? p[j] : value;

    return hn::Load (d, padded);
}

template <class D>
HWY_INLINE void storePartial (D d, hn::Vec<D> v, float* p, std::size_t count)
{
    if (count == hn::Lanes (d))
    {
        hn::StoreU (v, d, p);
        return;
    }

    HWY_ALIGN float padded[hn::MaxLanes (D())];
    hn::Store (v, d, padded);

    for (std::size_t j = 0; j < count && j < hn::MaxLanes (D()); ++j)
        p[j] = padded[j];
}

void Scale (float* HWY_RESTRICT d, std::size_t n, float gain)
{
    const hn::ScalableTag<float> df;
    const auto g = hn::Set (df, gain);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   { storePartial (df, hn::Mul (loadPartial (df, d + i, count, 0.0f), g), d + i, count); });
}

void Multiply (float* d, const float* o, std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = loadPartial (df, d + i, count, 0.0f);
                       const auto y = loadPartial (df, o + i, count, 0.0f);
                       storePartial (df, hn::Mul (x, y), d + i, count);
                   });
}

void ScaleTo (const float* s, float* d, std::size_t n, float gain)
{
    const hn::ScalableTag<float> df;
    const auto g = hn::Set (df, gain);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   { storePartial (df, hn::Mul (loadPartial (df, s + i, count, 0.0f), g), d + i, count); });
}

void MultiplyTo (const float* a, const float* b, float* d, std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = loadPartial (df, a + i, count, 0.0f);
                       const auto y = loadPartial (df, b + i, count, 0.0f);
                       storePartial (df, hn::Mul (x, y), d + i, count);
                   });
}

void ScaleAddTo (const float* s, float* d, std::size_t n, float gain)
{
    const hn::ScalableTag<float> df;
    const auto g = hn::Set (df, gain);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = loadPartial (df, s + i, count, 0.0f);
                       const auto y = loadPartial (df, d + i, count, 0.0f);
                       storePartial (df, hn::Add (hn::Mul (x, g), y), d + i, count);
                   });
}

void MultiplyAddTo (const float* a, const float* b, float* d, std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = loadPartial (df, a + i, count, 0.0f);
                       const auto y = loadPartial (df, b + i, count, 0.0f);
                       const auto z = loadPartial (df, d + i, count, 0.0f);
                       storePartial (df, hn::Add (hn::Mul (x, y), z), d + i, count);
                   });
}

void FlushedScaleAddTo (const float* s, float* d, std::size_t n, float gain)
{
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype (df)> di;
    uint32_t gainBits;
    std::memcpy (&gainBits, &gain, sizeof (gainBits));
    const auto g = hn::Set (df, gain);
    const auto exponentMask = hn::Set (di, 0xff);
    // The product is flushed when the two exponent fields add up to less than 128.
    const auto limit = hn::Set (di, 128 - (int32_t) ((gainBits >> 23) & 0xffu));

    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = loadPartial (df, s + i, count, 0.0f);
                       const auto y = loadPartial (df, d + i, count, 0.0f);
                       const auto exponent = hn::And (hn::ShiftRight<23> (hn::BitCast (di, x)), exponentMask);
                       const auto flushed = hn::RebindMask (df, hn::Lt (exponent, limit));
                       storePartial (df, hn::Add (y, hn::IfThenZeroElse (flushed, hn::Mul (x, g))), d + i, count);
                   });
}

void PowerToDecibels (float* d, std::size_t n, float offset)
{
#ifndef TAVLIN_VECTOR_LOG10
    for (std::size_t i = 0; i < n; ++i)
        d[i] = (float) (10.0 * std::log10 ((double) (d[i] + offset)));
#else
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype (dd)> df;
    const auto off = hn::Set (df, offset);
    const auto ten = hn::Set (dd, 10.0);

    forEachVector (dd, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto power = hn::Add (loadPartial (df, d + i, count, 1.0f), off);
                       const auto wide = hn::PromoteTo (dd, power);
                       hn::Vec<decltype (dd)> logarithm;
                       logarithm.raw = TAVLIN_VECTOR_LOG10 (wide.raw);
                       storePartial (df, hn::DemoteTo (df, hn::Mul (ten, logarithm)), d + i, count);
                   });
#endif
}

/** The decibels of one vector of powers plus offset, exactly as PowerToDecibels writes them. */
template <class DF>
HWY_INLINE hn::Vec<DF> exactDecibels (DF df, hn::Vec<DF> power)
{
#ifndef TAVLIN_VECTOR_LOG10
    HWY_ALIGN float lanes[hn::MaxLanes (DF())];
    hn::Store (power, df, lanes);

    for (auto& x : lanes)
        x = (float) (10.0 * std::log10 ((double) x));

    return hn::Load (df, lanes);
#else
    const hn::Rebind<double, DF> dd;
    hn::Vec<decltype (dd)> logarithm;
    logarithm.raw = TAVLIN_VECTOR_LOG10 (hn::PromoteTo (dd, power).raw);
    return hn::DemoteTo (df, hn::Mul (hn::Set (dd, 10.0), logarithm));
#endif
}

/** 10 log10 (x) in float for positive normal x, within 1e-4 dB of the exact value: the exponent, and the
    logarithm of the mantissa m (taken between sqrt (1/2) and sqrt (2)) as 2 atanh (s), s = (m - 1) / (m + 1),
    by its series to s^7 (|s| < 0.172, so the rest is below 4e-8).
*/
template <class DF>
HWY_INLINE hn::Vec<DF> approximateDecibels (DF df, hn::Vec<DF> x)
{
    const hn::RebindToSigned<DF> di;
    const auto bits = hn::BitCast (di, x);
    auto exponent = hn::Sub (hn::ShiftRight<23> (bits), hn::Set (di, 127));
    auto mantissa = hn::BitCast (df, hn::Or (hn::And (bits, hn::Set (di, 0x007fffff)), hn::Set (di, 0x3f800000)));
    const auto high = hn::Gt (mantissa, hn::Set (df, 1.41421356f));
    mantissa = hn::IfThenElse (high, hn::Mul (mantissa, hn::Set (df, 0.5f)), mantissa);
    exponent = hn::Add (exponent, hn::IfThenElseZero (hn::RebindMask (di, high), hn::Set (di, 1)));

    const auto one = hn::Set (df, 1.0f);
    const auto t = hn::Div (hn::Sub (mantissa, one), hn::Add (mantissa, one));
    const auto t2 = hn::Mul (t, t);
    auto series = hn::Add (hn::Mul (hn::Set (df, 2.0f / 7.0f), t2), hn::Set (df, 2.0f / 5.0f));
    series = hn::Add (hn::Mul (series, t2), hn::Set (df, 2.0f / 3.0f));
    series = hn::Add (hn::Mul (series, t2), hn::Set (df, 2.0f));
    const auto naturalLog = hn::Mul (series, t);
    return hn::Add (hn::Mul (naturalLog, hn::Set (df, 4.34294481903f)),
                    hn::Mul (hn::ConvertTo (df, exponent), hn::Set (df, 3.01029995664f)));
}

template <class DF>
HWY_INLINE hn::Vec<DF> curveIndex (DF df, hn::Vec<DF> difference)
{
    auto index =
        hn::Min (hn::Max (hn::Add (hn::Trunc (difference), hn::Set (df, 128.0f)), hn::Zero (df)), hn::Set (df, 255.0f));
    return hn::IfThenElse (hn::IsNaN (difference), hn::Zero (df), index);
}

/** The curve gains of one vector of powers, as DecibelCurveGains takes them. */
template <class DF>
HWY_INLINE hn::Vec<DF> decibelCurveVector (DF df, hn::Vec<DF> power, hn::Vec<DF> off, hn::Vec<DF> threshold,
                                           const float* curve, bool noiseOnly)
{
    const hn::RebindToSigned<DF> di;
    // The approximation is used where its difference lies this far from every whole number, or
    // beyond the curve's ends: there both truncate alike. Its error stays below 1e-4 dB.
    const auto margin = hn::Set (df, 1.0e-3f);
    const auto outside = hn::Set (df, 140.0f);
    const auto x = hn::Add (power, off);
    auto difference = hn::Sub (approximateDecibels (df, x), threshold);

    // Positive normal powers only; NaN differences fail every comparison.
    const auto exponentField = hn::ShiftRight<23> (hn::BitCast (di, x));
    const auto normal =
        hn::RebindMask (df, hn::And (hn::Gt (exponentField, hn::Zero (di)), hn::Lt (exponentField, hn::Set (di, 255))));
    const auto distance = hn::Abs (hn::Sub (difference, hn::Round (difference)));
    const auto safe = hn::And (normal, hn::Or (hn::Gt (distance, margin), hn::Gt (hn::Abs (difference), outside)));

    if (!hn::AllTrue (df, safe))
        difference = hn::Sub (exactDecibels (df, x), threshold);

    auto gain = hn::GatherIndex (df, curve, hn::ConvertTo (di, curveIndex (df, difference)));
    return noiseOnly ? hn::Sub (hn::Set (df, 1.0f), gain) : gain;
}

void DecibelCurveGains (const float* power, float offset, const float* thresholds, float thresholdOffset,
                        const float* curve, bool noiseOnly, float* gains, std::size_t n)
{
    // Lanes as PowerToDecibels has them, so that a vector taken the exact way is the same.
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype (dd)> df;
    const auto off = hn::Set (df, offset);
    const auto thresholdOff = hn::Set (df, thresholdOffset);

    forEachVector (dd, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto threshold = hn::Add (thresholdOff, loadPartial (df, thresholds + i, count, 0.0f));
                       const auto gain = decibelCurveVector (df, loadPartial (df, power + i, count, 1.0f), off,
                                                             threshold, curve, noiseOnly);
                       storePartial (df, gain, gains + i, count);
                   });
}

void GateGains (const GateFrame& frame, std::size_t n, float* total)
{
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype (dd)> df;
    const auto off = hn::Set (df, frame.offset);
    const auto thresholdOff = hn::Set (df, frame.thresholdOffset);
    HWY_ALIGN float lanes[hn::MaxLanes (df)];
    float sum = 0.0f;

    // The bin-order sum is one long chain of additions; the vector work of the same bins fills the time.
    forEachVector (dd, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto r = loadPartial (df, frame.re + i, count, 0.0f);
                       const auto m = loadPartial (df, frame.im + i, count, 0.0f);
                       const auto power = hn::Add (hn::Mul (r, r), hn::Mul (m, m));
                       hn::Store (power, df, lanes);

                       for (std::size_t k = 0; k < count; ++k)
                           sum += lanes[k];

                       const auto s = loadPartial (df, frame.smoothed + i, count, 0.0f);
                       const auto a = loadPartial (df, frame.attack + i, count, 0.0f);
                       const auto l = loadPartial (df, frame.release + i, count, 0.0f);
                       const auto smoothed = hn::Add (hn::Mul (s, l), hn::Mul (power, a));
                       storePartial (df, smoothed, frame.candidate + i, count);

                       const auto threshold =
                           hn::Add (thresholdOff, loadPartial (df, frame.thresholds + i, count, 0.0f));
                       const auto gain = decibelCurveVector (
                           df, hn::IfThenElse (hn::FirstN (df, count), smoothed, hn::Set (df, 1.0f)), off, threshold,
                           frame.curve, frame.noiseOnly);
                       storePartial (df, gain, frame.gains + i, count);
                   });

    *total = sum;
}

/** f applied lane by lane, for the targets without the vector library. */
template <class D, class F>
HWY_INLINE HWY_MAYBE_UNUSED hn::Vec<D> eachLane (D d, hn::Vec<D> v, F&& f)
{
    HWY_ALIGN float lanes[hn::MaxLanes (D())];
    hn::Store (v, d, lanes);

    for (auto& x : lanes)
        x = f (x);

    return hn::Load (d, lanes);
}

void ExpanderGains (const float* x, const float* envelope, float* y, std::size_t n, const ExpanderCurve& curve)
{
    const hn::ScalableTag<float> df;
    const auto threshold = hn::Set (df, curve.thresholdLinear);
    const auto below = hn::Set (df, curve.ratioBelow), above = hn::Set (df, curve.ratioAbove);
    const auto thresholdDb = hn::Set (df, curve.thresholdDb), maxGainDb = hn::Set (df, curve.maxGainDb);
    const auto floorPower = hn::Set (df, curve.floorPower);

    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto e = loadPartial (df, envelope + i, count, 1.0f);
                       const auto ratio = hn::IfThenElse (hn::Gt (threshold, e), below, above);
                       auto level = hn::IfThenElse (hn::Lt (e, floorPower), floorPower, e);
#ifdef TAVLIN_VECTOR_LOG10F
                       level.raw = TAVLIN_VECTOR_LOG10F (level.raw);
#else
                       level = eachLane (df, level, [] (float v) { return std::log10 (v); });
#endif
                       level = hn::Mul (hn::Set (df, 10.0f), level);
                       const auto wanted =
                           hn::Sub (hn::Add (hn::Mul (hn::Sub (level, thresholdDb), ratio), thresholdDb), level);
                       auto gain = hn::Mul (hn::Min (wanted, maxGainDb), hn::Set (df, 0.05f));
#ifdef TAVLIN_VECTOR_EXP10F
                       gain.raw = TAVLIN_VECTOR_EXP10F (gain.raw);
#else
                       gain = eachLane (df, gain, [] (float v) { return std::pow (10.0f, v); });
#endif
                       storePartial (df, hn::Mul (loadPartial (df, x + i, count, 0.0f), gain), y + i, count);
                   });
}

/** ZGain::flushedProduct: the product, or +0 when the exponent fields add up to less than 128. */
HWY_INLINE float flushedProduct (float x, float y)
{
    uint32_t bx, by;
    std::memcpy (&bx, &x, sizeof (bx));
    std::memcpy (&by, &y, sizeof (by));
    return ((bx >> 23) & 0xffu) + ((by >> 23) & 0xffu) < 128u ? 0.0f : x * y;
}

/** The detection step of one crackle sample after its prediction error e, as the plain loop has it. */
HWY_INLINE float detectCrackle (CrackleChannel& c, float e)
{
    const auto magnitude = std::abs (e);
    c.envelope = (float) ((double) flushedProduct (c.envelopeDecay, c.envelope)
                          + (1.0 - (double) c.envelopeDecay) * (double) magnitude);

    const auto t = std::max (flushedProduct (c.envelope, c.thresholdRatio), c.thresholdFloor);
    const auto strength = (float) (((double) magnitude - (double) t) / ((double) t + 0.001));
    return std::clamp (strength, 0.0f, 1.0f);
}

constexpr int crackleTaps = 5;

/** One sample of the plain loop. */
HWY_INLINE void predictCrackleSampleScalar (CrackleChannel& c, int i)
{
    const auto* h = c.history;
    float p = 0.0f, energy = 0.0f, steadyPrediction = 0.0f;

    for (int j = 0; j < crackleTaps; ++j)
    {
        const auto past = h[i - 1 - j];
        p += flushedProduct (c.weights[j], past);
        steadyPrediction += flushedProduct (c.steadyWeights[j], past);
        energy += flushedProduct (past, past);
    }

    c.predictions[i] = p;
    const auto e = h[i] - p;
    c.errors[i] = e;
    const auto step = c.stepSize / (energy + 0.000001f);

    for (int j = 0; j < crackleTaps; ++j)
        c.weights[j] += flushedProduct (flushedProduct (e, h[i - 1 - j]), step);

    c.detection[i] = detectCrackle (c, e);

    const auto steadyError = h[i] - steadyPrediction;
    c.steadyErrors[i] = steadyError;
    c.samplesSinceDetection = c.detection[i] > 0.0f ? 0 : std::min (c.samplesSinceDetection + 1, crackleTaps + 1);

    if (c.samplesSinceDetection > crackleTaps)
        for (int j = 0; j < crackleTaps; ++j)
            c.steadyWeights[j] += flushedProduct (flushedProduct (steadyError, h[i - 1 - j]), step);
}

#if HWY_TARGET <= HWY_AVX2 && HWY_ARCH_X86
/** Both predictors of a channel side by side in eight lanes: lanes 0 to 3 hold taps 3, 2, 1 and 0 of the
    predictor and lanes 4 to 7 those of the steady one, so that the four samples before the current one,
    loaded into each half, line up with them; tap 4 of each fills its half of a second vector.
*/
struct CracklePredictors
{
    using D = hn::FixedTag<float, 8>;
    using DI = hn::RebindToSigned<D>;
    hn::Vec<D> near, far;
};

/** Samples per pass over the steps that depend on the history alone. */
constexpr int crackleChunk = 256;

/** What the history alone decides for a stretch of samples from first on: the flush limit of every
    history sample from first - 5 on (flushLimit), and each sample's step and its flush limit.
*/
struct CrackleAhead
{
    HWY_ALIGN int32_t historyLimit[crackleChunk + 8];
    HWY_ALIGN float step[crackleChunk];
    HWY_ALIGN int32_t stepLimit[crackleChunk];
};

/** (128 - the exponent field of y) << 23: x * y flushes exactly where the exponent field of x, in
    place, lies below it.
*/
HWY_INLINE int32_t flushLimit (float y)
{
    uint32_t bits;
    std::memcpy (&bits, &y, sizeof (bits));
    return (128 - (int32_t) ((bits >> 23) & 0xffu)) * (1 << 23);
}

template <class V, class VI>
HWY_INLINE V flushedBy (V x, V y, VI yLimit)
{
    const hn::DFromV<V> d;
    const hn::RebindToSigned<decltype (d)> di;
    const auto exponent = hn::And (hn::BitCast (di, x), hn::Set (di, 0x7f800000));
    return hn::IfThenZeroElse (hn::RebindMask (d, hn::Lt (exponent, yLimit)), hn::Mul (x, y));
}

/** The steps of samples first .. first + m - 1 that read the history only, with the plain loop's
    float operations: energy ((((0 + h1^2) + h2^2) + h3^2) + h4^2) + h5^2 of the flushed squares, and
    step = stepSize / (energy + 0.000001).
*/
HWY_INLINE void lookAhead (const CrackleChannel& c, int first, int m, CrackleAhead& ahead)
{
    const auto* h = c.history + first - 5;
    HWY_ALIGN float squares[crackleChunk + 8];
    const CracklePredictors::D d;
    const CracklePredictors::DI di;
    const auto lanes = (int) hn::Lanes (d);
    int i = 0;

    for (; i + lanes <= m + 5; i += lanes)
    {
        const auto x = hn::LoadU (d, h + i);
        const auto limit = hn::ShiftLeft<23> (
            hn::Sub (hn::Set (di, 128), hn::And (hn::ShiftRight<23> (hn::BitCast (di, x)), hn::Set (di, 0xff))));
        hn::Store (flushedBy (x, x, limit), d, squares + i);
        hn::Store (limit, di, ahead.historyLimit + i);
    }

    for (; i < m + 5; ++i)
    {
        squares[i] = flushedProduct (h[i], h[i]);
        ahead.historyLimit[i] = flushLimit (h[i]);
    }

    i = 0;

    for (; i + lanes <= m; i += lanes)
    {
        auto energy = hn::Add (hn::Zero (d), hn::LoadU (d, squares + i + 4));

        for (int j = 3; j >= 0; --j)
            energy = hn::Add (energy, hn::LoadU (d, squares + i + j));

        const auto step = hn::Div (hn::Set (d, c.stepSize), hn::Add (energy, hn::Set (d, 0.000001f)));
        hn::Store (step, d, ahead.step + i);
        const auto exponent = hn::And (hn::ShiftRight<23> (hn::BitCast (di, step)), hn::Set (di, 0xff));
        hn::Store (hn::ShiftLeft<23> (hn::Sub (hn::Set (di, 128), exponent)), di, ahead.stepLimit + i);
    }

    for (; i < m; ++i)
    {
        auto energy = 0.0f + squares[i + 4];

        for (int j = 3; j >= 0; --j)
            energy += squares[i + j];

        ahead.step[i] = c.stepSize / (energy + 0.000001f);
        ahead.stepLimit[i] = flushLimit (ahead.step[i]);
    }
}

HWY_INLINE CracklePredictors loadPredictors (const CrackleChannel& c)
{
    const CracklePredictors::D d;
    HWY_ALIGN float near[8], far[8];

    for (int j = 0; j < 4; ++j)
    {
        near[3 - j] = c.weights[j];
        near[7 - j] = c.steadyWeights[j];
        far[j] = c.weights[4];
        far[4 + j] = c.steadyWeights[4];
    }

    return { hn::Load (d, near), hn::Load (d, far) };
}

HWY_INLINE void storePredictors (const CracklePredictors& p, CrackleChannel& c)
{
    const CracklePredictors::D d;
    HWY_ALIGN float near[8], far[8];
    hn::Store (p.near, d, near);
    hn::Store (p.far, d, far);

    for (int j = 0; j < 4; ++j)
    {
        c.weights[j] = near[3 - j];
        c.steadyWeights[j] = near[7 - j];
    }

    c.weights[4] = far[0];
    c.steadyWeights[4] = far[4];
}

/** The changes both predictors of sample i take (k its place in the stretch ahead was made for): the
    prediction, the error and the steady error are stored, and the errors left in lanes 0 (the error) and
    4 (the steady error) of errors.
*/
struct CrackleChanges
{
    hn::Vec<CracklePredictors::D> errors, near, far;
};

HWY_INLINE CrackleChanges predictBoth (const CrackleChannel& c, const CracklePredictors& p, const CrackleAhead& ahead,
                                       int i, int k)
{
    const CracklePredictors::D d;
    const CracklePredictors::DI di;
    const auto* h = c.history;
    const auto nearPast = hn::LoadDup128 (d, h + i - 4);
    const auto nearLimit = hn::LoadDup128 (di, ahead.historyLimit + k + 1);
    const auto farPast = hn::Set (d, h[i - 5]);
    const auto farLimit = hn::Set (di, ahead.historyLimit[k]);

    // ((((0 + tap 0) + tap 1) + tap 2) + tap 3) + tap 4 in every lane of each half.
    const auto products = flushedBy (p.near, nearPast, nearLimit);
    auto sums = hn::Add (hn::Zero (d), hn::Broadcast<3> (products));
    sums = hn::Add (sums, hn::Broadcast<2> (products));
    sums = hn::Add (sums, hn::Broadcast<1> (products));
    sums = hn::Add (sums, hn::Broadcast<0> (products));
    sums = hn::Add (sums, flushedBy (p.far, farPast, farLimit));

    const auto errors = hn::Sub (hn::Set (d, h[i]), sums);
    c.predictions[i] = hn::GetLane (sums);
    c.errors[i] = hn::GetLane (errors);
    c.steadyErrors[i] = hn::GetLane (hn::UpperHalf (hn::Half<CracklePredictors::D>(), errors));

    const auto steps = hn::Set (d, ahead.step[k]);
    const auto stepLimit = hn::Set (di, ahead.stepLimit[k]);
    return { errors, flushedBy (flushedBy (errors, nearPast, nearLimit), steps, stepLimit),
             flushedBy (flushedBy (errors, farPast, farLimit), steps, stepLimit) };
}

/** The predictor always learns; the steady one only when no crackle was detected for more than 5 samples. */
HWY_INLINE void learn (CracklePredictors& p, const CrackleChanges& changes, bool steadyLearns)
{
    const CracklePredictors::D d;
    const auto near = hn::Add (p.near, changes.near);
    const auto far = hn::Add (p.far, changes.far);

    if (steadyLearns)
    {
        p.near = near;
        p.far = far;
    }
    else
    {
        const auto lower = hn::FirstN (d, 4);
        p.near = hn::IfThenElse (lower, near, p.near);
        p.far = hn::IfThenElse (lower, far, p.far);
    }
}

HWY_INLINE bool noteDetection (CrackleChannel& c, int i, float detection)
{
    c.detection[i] = detection;
    c.samplesSinceDetection = detection > 0.0f ? 0 : std::min (c.samplesSinceDetection + 1, crackleTaps + 1);
    return c.samplesSinceDetection > crackleTaps;
}

/** detectCrackle for two channels at once, lane 0 the first and lane 1 the second, with the same float
    and double operations lane by lane.
*/
struct CrackleDetectors
{
    using DF = hn::Simd<float, 2, 0>;
    using DD = hn::Simd<double, 2, 0>;
    using DI = hn::RebindToSigned<DF>;

    CrackleDetectors (const CrackleChannel& a, const CrackleChannel& b)
    {
        const DF df;
        const DD dd;
        const DI di;
        HWY_ALIGN float decay[2] = { a.envelopeDecay, b.envelopeDecay },
                        ratio[2] = { a.thresholdRatio, b.thresholdRatio },
                        floor[2] = { a.thresholdFloor, b.thresholdFloor }, envelopes[2] = { a.envelope, b.envelope };
        HWY_ALIGN int32_t decayLimits[2] = { flushLimit (a.envelopeDecay), flushLimit (b.envelopeDecay) },
                          ratioLimits[2] = { flushLimit (a.thresholdRatio), flushLimit (b.thresholdRatio) };
        HWY_ALIGN double rest[2] = { 1.0 - (double) a.envelopeDecay, 1.0 - (double) b.envelopeDecay };
        decays = hn::Load (df, decay);
        ratios = hn::Load (df, ratio);
        floors = hn::Load (df, floor);
        envelope = hn::Load (df, envelopes);
        decayLimit = hn::Load (di, decayLimits);
        ratioLimit = hn::Load (di, ratioLimits);
        remainder = hn::Load (dd, rest);
    }

    /** The detections of errors (lanes 0 and 1), the envelopes moving on. */
    hn::Vec<DF> detect (hn::Vec<DF> errors)
    {
        const DF df;
        const DD dd;
        const auto magnitude = hn::Abs (errors);
        const auto wideMagnitude = hn::PromoteTo (dd, magnitude);
        const auto decayed = hn::PromoteTo (dd, flushedBy (envelope, decays, decayLimit));
        envelope = hn::DemoteTo (df, hn::Add (decayed, hn::Mul (remainder, wideMagnitude)));

        const auto scaled = flushedBy (envelope, ratios, ratioLimit);
        const auto threshold = hn::IfThenElse (hn::Lt (scaled, floors), floors, scaled);
        const auto wideThreshold = hn::PromoteTo (dd, threshold);
        const auto strength = hn::DemoteTo (
            df, hn::Div (hn::Sub (wideMagnitude, wideThreshold), hn::Add (wideThreshold, hn::Set (dd, 0.001))));
        const auto zero = hn::Zero (df), one = hn::Set (df, 1.0f);
        return hn::IfThenElse (hn::Lt (strength, zero), zero, hn::IfThenElse (hn::Lt (one, strength), one, strength));
    }

    void store (CrackleChannel& a, CrackleChannel& b) const
    {
        a.envelope = hn::GetLane (envelope);
        b.envelope = hn::ExtractLane (envelope, 1);
    }

    hn::Vec<DF> decays, ratios, floors, envelope;
    hn::Vec<DI> decayLimit, ratioLimit;
    hn::Vec<DD> remainder;
};

void PredictCrackle (CrackleChannel& c, int start, int n)
{
    auto p = loadPredictors (c);
    CrackleAhead ahead;

    for (int first = start; first < start + n; first += crackleChunk)
    {
        const auto m = std::min (crackleChunk, start + n - first);
        lookAhead (c, first, m, ahead);

        for (int k = 0; k < m; ++k)
        {
            const auto i = first + k;
            const auto changes = predictBoth (c, p, ahead, i, k);
            learn (p, changes, noteDetection (c, i, detectCrackle (c, hn::GetLane (changes.errors))));
        }
    }

    storePredictors (p, c);
}

void PredictCracklePair (CrackleChannel& a, int startA, CrackleChannel& b, int startB, int n)
{
    auto pa = loadPredictors (a), pb = loadPredictors (b);
    CrackleDetectors detectors (a, b);
    CrackleAhead aheadA, aheadB;
    const CrackleDetectors::DF df;

    for (int offset = 0; offset < n; offset += crackleChunk)
    {
        const auto m = std::min (crackleChunk, n - offset);
        lookAhead (a, startA + offset, m, aheadA);
        lookAhead (b, startB + offset, m, aheadB);

        for (int k = 0; k < m; ++k)
        {
            const auto ia = startA + offset + k, ib = startB + offset + k;
            const auto changesA = predictBoth (a, pa, aheadA, ia, k);
            const auto changesB = predictBoth (b, pb, aheadB, ib, k);
            const auto errors = hn::InterleaveLower (hn::LowerHalf (hn::LowerHalf (changesA.errors)),
                                                     hn::LowerHalf (hn::LowerHalf (changesB.errors)));
            const auto detections = detectors.detect (errors);
            learn (pa, changesA, noteDetection (a, ia, hn::GetLane (detections)));
            learn (pb, changesB, noteDetection (b, ib, hn::ExtractLane (detections, 1)));
        }
    }

    detectors.store (a, b);
    storePredictors (pa, a);
    storePredictors (pb, b);
}
#else
void PredictCrackle (CrackleChannel& c, int start, int n)
{
    for (int i = start; i < start + n; ++i)
        predictCrackleSampleScalar (c, i);
}

void PredictCracklePair (CrackleChannel& a, int startA, CrackleChannel& b, int startB, int n)
{
    // Each predictor waits on its own last update, so two of them in turn keep the processor busier.
    for (int k = 0; k < n; ++k)
    {
        predictCrackleSampleScalar (a, startA + k);
        predictCrackleSampleScalar (b, startB + k);
    }
}
#endif

void SquarePeak (const float* d, std::size_t n, float* peak)
{
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype (df)> di;
    const auto squares = [&] (std::size_t i, std::size_t count)
    {
        const auto x = loadPartial (df, d + i, count, 0.0f);
        const auto exponent = hn::And (hn::ShiftRight<23> (hn::BitCast (di, x)), hn::Set (di, 0xff));
        return hn::IfThenZeroElse (hn::RebindMask (df, hn::Lt (exponent, hn::Set (di, 64))), hn::Mul (x, x));
    };

    auto largest = hn::Zero (df);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto square = squares (i, count);
                       largest = hn::Max (largest, hn::IfThenZeroElse (hn::IsNaN (square), square));
                   });

    const auto top = hn::GetLane (hn::MaxOfLanes (df, largest));
    *peak = 0.0f;

    if (!(top > 0.0f))
        return;

    // The magnitude of the first sample whose square is the largest: where the plain loop last raised it.
    const auto lanes = hn::Lanes (df);

    for (std::size_t i = 0; i < n; i += lanes)
    {
        const auto first = hn::FindFirstTrue (df, hn::Eq (squares (i, std::min (lanes, n - i)), hn::Set (df, top)));

        if (first >= 0)
        {
            *peak = std::abs (d[i + (std::size_t) first]);
            return;
        }
    }
}

void PeakMagnitude (const float* d, std::size_t n, float* peak)
{
    const hn::ScalableTag<float> df;
    auto largest = hn::Zero (df);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto x = hn::Abs (loadPartial (df, d + i, count, 0.0f));
                       largest = hn::Max (largest, hn::IfThenZeroElse (hn::IsNaN (x), x));
                   });
    *peak = hn::GetLane (hn::MaxOfLanes (df, largest));
}

void FirstRise (const float* x, std::size_t n, std::size_t* first)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    const auto zero = hn::Zero (df);
    std::size_t i = 0;

    for (; i + lanes <= n; i += lanes)
    {
        const auto rise = hn::And (hn::Eq (hn::LoadU (df, x + i), zero), hn::Gt (hn::LoadU (df, x + i + 1), zero));
        const auto found = hn::FindFirstTrue (df, rise);

        if (found >= 0)
        {
            *first = i + (std::size_t) found;
            return;
        }
    }

    for (; i < n; ++i)
    {
        if (x[i] == 0.0f && x[i + 1] > 0.0f)
        {
            *first = i;
            return;
        }
    }

    *first = n;
}

void ComplexMultiply (const float* ar, const float* ai, const float* br, const float* bi, float* re, float* im,
                      std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto a = loadPartial (df, ar + i, count, 0.0f);
                       const auto b = loadPartial (df, ai + i, count, 0.0f);
                       const auto c = loadPartial (df, br + i, count, 0.0f);
                       const auto e = loadPartial (df, bi + i, count, 0.0f);
                       const auto real = hn::Sub (hn::Mul (a, c), hn::Mul (b, e));
                       const auto imaginary = hn::Add (hn::Mul (a, e), hn::Mul (b, c));
                       storePartial (df, real, re + i, count);
                       storePartial (df, imaginary, im + i, count);
                   });
}

void SquaredMagnitude (const float* re, const float* im, float* power, std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto r = loadPartial (df, re + i, count, 0.0f);
                       const auto m = loadPartial (df, im + i, count, 0.0f);
                       storePartial (df, hn::Add (hn::Mul (r, r), hn::Mul (m, m)), power + i, count);
                   });
}

void RecursiveSmooth (const float* power, const float* attack, const float* release, float* smoothed, std::size_t n)
{
    const hn::ScalableTag<float> df;
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto p = loadPartial (df, power + i, count, 0.0f);
                       const auto s = loadPartial (df, smoothed + i, count, 0.0f);
                       const auto a = loadPartial (df, attack + i, count, 0.0f);
                       const auto l = loadPartial (df, release + i, count, 0.0f);
                       storePartial (df, hn::Add (hn::Mul (s, l), hn::Mul (p, a)), smoothed + i, count);
                   });
}

void CurveGains (const float* db, const float* thresholds, float offset, const float* curve, bool noiseOnly,
                 float* gains, std::size_t n)
{
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype (df)> di;
    const auto off = hn::Set (df, offset);
    const auto zero = hn::Zero (df);
    const auto centre = hn::Set (df, 128.0f);
    const auto last = hn::Set (df, 255.0f);
    const auto one = hn::Set (df, 1.0f);

    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count)
                   {
                       const auto level = loadPartial (df, db + i, count, 0.0f);
                       const auto threshold = loadPartial (df, thresholds + i, count, 0.0f);
                       const auto difference = hn::Sub (level, hn::Add (off, threshold));
                       auto index = hn::Min (hn::Max (hn::Add (hn::Trunc (difference), centre), zero), last);
                       index = hn::IfThenElse (hn::IsNaN (difference), zero, index);
                       auto gain = hn::GatherIndex (df, curve, hn::ConvertTo (di, index));

                       if (noiseOnly)
                           gain = hn::Sub (one, gain);

                       storePartial (df, gain, gains + i, count);
                   });
}

void CountPlainSamples (const float* x, std::size_t n, const PlainSampleBounds& b, std::size_t* count)
{
    const hn::ScalableTag<float> df;
    const hn::RebindToUnsigned<decltype (df)> du;
    const auto lanes = hn::Lanes (df);
    const auto zero = hn::Zero (df);
    const auto smallest = hn::Set (df, b.smallest);
    const auto largest = hn::Set (df, b.largest);
    const auto lowest = hn::Set (df, b.lowest);
    const auto highest = hn::Set (df, b.highest);
    const auto nearness = hn::Set (df, b.nearness);
    // A normal sample with exponent field e lies on the grid when the lowest (grid + 150 - e) bits of
    // its mantissa, the leading one included, are zeros: none for a shift of 0 or less, never for 24 or more.
    const auto gridShift = hn::Set (du, (uint32_t) (std::clamp (b.gridExponent, -150, 200) + 150));
    const auto exponentMask = hn::Set (du, 0xffu);
    const auto mantissaMask = hn::Set (du, 0x7fffffu);
    const auto leadingOne = hn::Set (du, 0x800000u);
    const auto one = hn::Set (du, 1u);
    const auto zeroU = hn::Zero (du);
    const auto longestShift = hn::Set (du, 31u);

    const auto notPlain = [&] (hn::Vec<decltype (df)> v, hn::Vec<decltype (df)> p)
    {
        auto plain = hn::And (hn::Ne (v, p), hn::And (hn::Lt (v, largest), hn::Gt (v, smallest)));
        plain = hn::And (plain, hn::And (hn::Le (v, highest), hn::Ge (v, lowest)));
        plain = hn::And (plain, hn::Or (hn::Le (v, zero), hn::Gt (hn::Sub (largest, v), nearness)));
        plain = hn::And (plain, hn::Or (hn::Ge (v, zero), hn::Gt (hn::Sub (v, smallest), nearness)));

        const auto bits = hn::BitCast (du, v);
        const auto exponent = hn::And (hn::ShiftRight<23> (bits), exponentMask);
        // The shift as a signed difference, limited to 0 .. 31 (the exponent is at most 255).
        const auto difference = hn::Sub (gridShift, exponent);
        const auto negative = hn::RebindMask (du, hn::Lt (hn::BitCast (hn::RebindToSigned<decltype (df)>(), difference),
                                                          hn::Zero (hn::RebindToSigned<decltype (df)>())));
        const auto shift = hn::IfThenElse (negative, zeroU, hn::Min (difference, longestShift));
        const auto low = hn::Sub (hn::Shl (one, shift), one);
        const auto mantissa = hn::Or (hn::And (bits, mantissaMask), leadingOne);
        const auto onGrid = hn::Or (hn::Eq (hn::And (mantissa, low), zeroU),
                                    hn::Or (hn::Eq (exponent, zeroU), hn::Eq (exponent, exponentMask)));
        plain = hn::And (plain, hn::RebindMask (df, onGrid));
        return hn::Not (plain);
    };

    const auto nan = std::numeric_limits<float>::quiet_NaN();
    std::size_t i = 0;

    // Ne is not the same for NaNs on every target; a NaN within x stops the count by itself.
    if (std::isnan (b.previous))
    {
        *count = 0;
        return;
    }

    // The first vector takes previous as the sample before x[0].
    {
        HWY_ALIGN float v[hn::MaxLanes (df)], p[hn::MaxLanes (df)];

        for (std::size_t j = 0; j < lanes; ++j)
        {
            v[j] = j < n ? x[j] : nan;
            p[j] = j == 0 ? b.previous : (j <= n ? x[j - 1] : nan);
        }

        const auto first = hn::FindFirstTrue (df, notPlain (hn::Load (df, v), hn::Load (df, p)));

        if (first >= 0)
        {
            *count = std::min (n, (std::size_t) first);
            return;
        }

        i = lanes;
    }

    for (; i + lanes <= n; i += lanes)
    {
        const auto first = hn::FindFirstTrue (df, notPlain (hn::LoadU (df, x + i), hn::LoadU (df, x + i - 1)));

        if (first >= 0)
        {
            *count = i + (std::size_t) first;
            return;
        }
    }

    if (i < n)
    {
        const auto first = hn::FindFirstTrue (
            df, notPlain (loadPartial (df, x + i, n - i, nan), loadPartial (df, x + i - 1, n - i, nan)));
        *count = first >= 0 ? std::min (n, i + (std::size_t) first) : n;
        return;
    }

    *count = std::min (i, n);
}

void Blend (float* g, std::size_t n, float keep, float add)
{
    const hn::ScalableTag<float> df;
    const auto k = hn::Set (df, keep);
    const auto a = hn::Set (df, add);
    forEachVector (df, n,
                   [&] (std::size_t i, std::size_t count) {
                       storePartial (df, hn::Add (hn::Mul (loadPartial (df, g + i, count, 0.0f), k), a), g + i, count);
                   });
}

void SymmetricFilter (const float* x, float* y, const float* w, int taps, std::size_t start, std::size_t end)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    std::size_t k = start;

    for (; k + lanes <= end; k += lanes)
    {
        auto sum = hn::Mul (hn::Set (df, w[0]), hn::LoadU (df, x + k));

        for (int j = 1; j < taps; ++j)
        {
            const auto pair =
                hn::Add (hn::LoadU (df, x + k - (std::size_t) j), hn::LoadU (df, x + k + (std::size_t) j));
            sum = hn::Add (sum, hn::Mul (hn::Set (df, w[j]), pair));
        }

        hn::StoreU (sum, df, y + k);
    }

    for (; k < end; ++k)
    {
        auto sum = w[0] * x[k];

        for (int j = 1; j < taps; ++j)
            sum += w[j] * (x[k - (std::size_t) j] + x[k + (std::size_t) j]);

        y[k] = sum;
    }
}

void DeinterleaveScaled (const float* pairs, float* re, float* im, std::size_t n, float scale)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    const auto g = hn::Set (df, scale);
    std::size_t i = 0;

    for (; i + lanes <= n; i += lanes)
    {
        hn::Vec<decltype (df)> a, b;
        hn::LoadInterleaved2 (df, pairs + 2 * i, a, b);
        hn::StoreU (hn::Mul (a, g), df, re + i);
        hn::StoreU (hn::Mul (b, g), df, im + i);
    }

    for (; i < n; ++i)
    {
        re[i] = pairs[2 * i] * scale;
        im[i] = pairs[2 * i + 1] * scale;
    }
}

void Interleave (const float* re, const float* im, float* pairs, std::size_t n)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    std::size_t i = 0;

    for (; i + lanes <= n; i += lanes)
        hn::StoreInterleaved2 (hn::LoadU (df, re + i), hn::LoadU (df, im + i), df, pairs + 2 * i);

    for (; i < n; ++i)
    {
        pairs[2 * i] = re[i];
        pairs[2 * i + 1] = im[i];
    }
}

void JoinHalfSpectra (const float* reA, const float* imA, const float* reB, const float* imB, float* pairs,
                      std::size_t n)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    const auto half = n / 2;

    if (half == 0)
        return;

    pairs[0] = reA[0];
    pairs[1] = reB[0];
    pairs[2 * half] = reA[half];
    pairs[2 * half + 1] = reB[half];
    std::size_t k = 1;

    for (; k + lanes <= half; k += lanes)
    {
        const auto a = hn::LoadU (df, reA + k), b = hn::LoadU (df, imA + k);
        const auto c = hn::LoadU (df, reB + k), d = hn::LoadU (df, imB + k);
        hn::StoreInterleaved2 (hn::Sub (a, d), hn::Add (b, c), df, pairs + 2 * k);
        hn::StoreInterleaved2 (hn::Reverse (df, hn::Add (a, d)), hn::Reverse (df, hn::Sub (c, b)), df,
                               pairs + 2 * (n - k - lanes + 1));
    }

    for (; k < half; ++k)
    {
        pairs[2 * k] = reA[k] - imB[k];
        pairs[2 * k + 1] = imA[k] + reB[k];
        pairs[2 * (n - k)] = reA[k] + imB[k];
        pairs[2 * (n - k) + 1] = reB[k] - imA[k];
    }
}

void SplitFullSpectrum (const float* pairs, float* reA, float* imA, float* reB, float* imB, std::size_t n, float scale)
{
    const hn::ScalableTag<float> df;
    const auto lanes = hn::Lanes (df);
    const auto half = n / 2;
    const auto g = hn::Set (df, scale);

    if (half == 0)
        return;

    const auto plain = [&] (std::size_t k)
    {
        const auto j = (n - k) % n;
        const auto p = pairs[2 * k], q = pairs[2 * k + 1], r = pairs[2 * j], s = pairs[2 * j + 1];
        reA[k] = (p + r) * scale;
        imA[k] = (q - s) * scale;
        reB[k] = (q + s) * scale;
        imB[k] = (r - p) * scale;
    };

    plain (0);
    std::size_t k = 1;

    for (; k + lanes <= half + 1; k += lanes)
    {
        hn::Vec<decltype (df)> p, q, rr, ss;
        hn::LoadInterleaved2 (df, pairs + 2 * k, p, q);
        hn::LoadInterleaved2 (df, pairs + 2 * (n - k - lanes + 1), rr, ss);
        const auto r = hn::Reverse (df, rr), s = hn::Reverse (df, ss);
        hn::StoreU (hn::Mul (hn::Add (p, r), g), df, reA + k);
        hn::StoreU (hn::Mul (hn::Sub (q, s), g), df, imA + k);
        hn::StoreU (hn::Mul (hn::Add (q, s), g), df, reB + k);
        hn::StoreU (hn::Mul (hn::Sub (r, p), g), df, imB + k);
    }

    for (; k <= half; ++k)
        plain (k);
}

} // namespace vesk::vectorKernels::HWY_NAMESPACE

HWY_AFTER_NAMESPACE();

#if HWY_ONCE

    #include "ZVectorKernels.h"

namespace vesk::vectorKernels
{

HWY_EXPORT (Scale);
HWY_EXPORT (Multiply);
HWY_EXPORT (ScaleTo);
HWY_EXPORT (MultiplyTo);
HWY_EXPORT (ScaleAddTo);
HWY_EXPORT (MultiplyAddTo);
HWY_EXPORT (FlushedScaleAddTo);
HWY_EXPORT (PowerToDecibels);
HWY_EXPORT (ComplexMultiply);
HWY_EXPORT (SquaredMagnitude);
HWY_EXPORT (RecursiveSmooth);
HWY_EXPORT (CurveGains);
HWY_EXPORT (Blend);
HWY_EXPORT (SymmetricFilter);
HWY_EXPORT (DeinterleaveScaled);
HWY_EXPORT (Interleave);
HWY_EXPORT (DecibelCurveGains);
HWY_EXPORT (GateGains);
HWY_EXPORT (PeakMagnitude);
HWY_EXPORT (FirstRise);
HWY_EXPORT (SquarePeak);
HWY_EXPORT (ExpanderGains);
HWY_EXPORT (PredictCrackle);
HWY_EXPORT (PredictCracklePair);
HWY_EXPORT (CountPlainSamples);
HWY_EXPORT (JoinHalfSpectra);
HWY_EXPORT (SplitFullSpectrum);

void scale (float* d, std::size_t n, float gain) noexcept
{
    HWY_DYNAMIC_DISPATCH (Scale) (d, n, gain);
}

void multiply (float* d, const float* o, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (Multiply) (d, o, n);
}

void scaleTo (const float* s, float* d, std::size_t n, float gain) noexcept
{
    HWY_DYNAMIC_DISPATCH (ScaleTo) (s, d, n, gain);
}

void multiplyTo (const float* a, const float* b, float* d, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (MultiplyTo) (a, b, d, n);
}

void scaleAddTo (const float* s, float* d, std::size_t n, float gain) noexcept
{
    HWY_DYNAMIC_DISPATCH (ScaleAddTo) (s, d, n, gain);
}

void multiplyAddTo (const float* a, const float* b, float* d, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (MultiplyAddTo) (a, b, d, n);
}

void flushedScaleAddTo (const float* s, float* d, std::size_t n, float gain) noexcept
{
    HWY_DYNAMIC_DISPATCH (FlushedScaleAddTo) (s, d, n, gain);
}

void powerToDecibels (float* d, std::size_t n, float offset) noexcept
{
    HWY_DYNAMIC_DISPATCH (PowerToDecibels) (d, n, offset);
}

void complexMultiply (const float* ar, const float* ai, const float* br, const float* bi, float* re, float* im,
                      std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (ComplexMultiply) (ar, ai, br, bi, re, im, n);
}

void squaredMagnitude (const float* re, const float* im, float* power, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (SquaredMagnitude) (re, im, power, n);
}

void recursiveSmooth (const float* power, const float* attack, const float* release, float* smoothed,
                      std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (RecursiveSmooth) (power, attack, release, smoothed, n);
}

void curveGains (const float* db, const float* thresholds, float offset, const float* curve, bool noiseOnly,
                 float* gains, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (CurveGains) (db, thresholds, offset, curve, noiseOnly, gains, n);
}

void blend (float* g, std::size_t n, float keep, float add) noexcept
{
    HWY_DYNAMIC_DISPATCH (Blend) (g, n, keep, add);
}

void symmetricFilter (const float* x, float* y, const float* w, int taps, std::size_t start, std::size_t end) noexcept
{
    HWY_DYNAMIC_DISPATCH (SymmetricFilter) (x, y, w, taps, start, end);
}

void deinterleaveScaled (const float* pairs, float* re, float* im, std::size_t n, float scale) noexcept
{
    HWY_DYNAMIC_DISPATCH (DeinterleaveScaled) (pairs, re, im, n, scale);
}

void interleave (const float* re, const float* im, float* pairs, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (Interleave) (re, im, pairs, n);
}

void joinHalfSpectra (const float* reA, const float* imA, const float* reB, const float* imB, float* pairs,
                      std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (JoinHalfSpectra) (reA, imA, reB, imB, pairs, n);
}

void splitFullSpectrum (const float* pairs, float* reA, float* imA, float* reB, float* imB, std::size_t n,
                        float scale) noexcept
{
    HWY_DYNAMIC_DISPATCH (SplitFullSpectrum) (pairs, reA, imA, reB, imB, n, scale);
}

void decibelCurveGains (const float* power, float offset, const float* thresholds, float thresholdOffset,
                        const float* curve, bool noiseOnly, float* gains, std::size_t n) noexcept
{
    HWY_DYNAMIC_DISPATCH (DecibelCurveGains) (power, offset, thresholds, thresholdOffset, curve, noiseOnly, gains, n);
}

void expanderGains (const float* x, const float* envelope, float* y, std::size_t n, const ExpanderCurve& curve) noexcept
{
    HWY_DYNAMIC_DISPATCH (ExpanderGains) (x, envelope, y, n, curve);
}

void predictCrackle (CrackleChannel& channel, int start, int n) noexcept
{
    HWY_DYNAMIC_DISPATCH (PredictCrackle) (channel, start, n);
}

void predictCracklePair (CrackleChannel& a, int startA, CrackleChannel& b, int startB, int n) noexcept
{
    HWY_DYNAMIC_DISPATCH (PredictCracklePair) (a, startA, b, startB, n);
}

float gateGains (const GateFrame& frame, std::size_t n) noexcept
{
    float total = 0.0f;
    HWY_DYNAMIC_DISPATCH (GateGains) (frame, n, &total);
    return total;
}

float squarePeak (const float* d, std::size_t n) noexcept
{
    float peak = 0.0f;
    HWY_DYNAMIC_DISPATCH (SquarePeak) (d, n, &peak);
    return peak;
}

std::size_t countPlainSamples (const float* x, std::size_t n, const PlainSampleBounds& bounds) noexcept
{
    std::size_t count = 0;
    HWY_DYNAMIC_DISPATCH (CountPlainSamples) (x, n, bounds, &count);
    return count;
}

std::size_t firstRise (const float* x, std::size_t n) noexcept
{
    std::size_t first = n;
    HWY_DYNAMIC_DISPATCH (FirstRise) (x, n, &first);
    return first;
}

float peakMagnitude (const float* d, std::size_t n) noexcept
{
    float peak = 0.0f;
    HWY_DYNAMIC_DISPATCH (PeakMagnitude) (d, n, &peak);
    return peak;
}

std::vector<std::string> availableInstructionSets()
{
    std::vector<std::string> names;

    for (auto target : hwy::SupportedAndGeneratedTargets())
        names.emplace_back (hwy::TargetName (target));

    return names;
}

bool useInstructionSet (const std::string& name)
{
    if (name.empty())
    {
        hwy::SetSupportedTargetsForTest (0);
        return true;
    }

    hwy::SetSupportedTargetsForTest (0);

    for (auto target : hwy::SupportedAndGeneratedTargets())
    {
        if (name == hwy::TargetName (target))
        {
            hwy::SetSupportedTargetsForTest (target);
            return true;
        }
    }

    return false;
}

std::string currentInstructionSet()
{
    const auto targets = hwy::SupportedAndGeneratedTargets();
    return targets.empty() ? std::string() : hwy::TargetName (targets.front());
}

} // namespace vesk::vectorKernels

#endif // HWY_ONCE
