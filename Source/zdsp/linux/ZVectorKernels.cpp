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
/** The five taps in lanes 4 down to 0 of eight (lane l holds tap 4 - l, so that a load of the history
    from i - 5 on lines up), lanes 5 to 7 at zero.
*/
struct CrackleLanes
{
    using D = hn::FixedTag<float, 8>;
    using DI = hn::RebindToSigned<D>;
    hn::Vec<D> weights, steadyWeights;
};

template <class V, class VI, class DI>
HWY_INLINE V flushedLanes (DI di, V x, VI xExponent, V y, VI yExponent)
{
    const auto flushed = hn::Lt (hn::Add (xExponent, yExponent), hn::Set (di, 128));
    return hn::IfThenZeroElse (hn::RebindMask (hn::DFromV<V>(), flushed), hn::Mul (x, y));
}

template <class V, class DI>
HWY_INLINE hn::Vec<DI> exponentField (DI di, V x)
{
    return hn::And (hn::ShiftRight<23> (hn::BitCast (di, x)), hn::Set (di, 0xff));
}

/** ((((0 + lane 4) + lane 3) + lane 2) + lane 1) + lane 0: the plain loop's sum over taps 0 to 4. */
template <class V>
HWY_INLINE float tapSum (V v)
{
    const auto low = hn::LowerHalf (v);
    auto sum = 0.0f + hn::GetLane (hn::UpperHalf (hn::Half<hn::DFromV<V>>(), v));
    sum += hn::GetLane (hn::Shuffle0123 (low));
    sum += hn::GetLane (hn::Shuffle1032 (low));
    sum += hn::GetLane (hn::Shuffle2301 (low));
    return sum + hn::GetLane (low);
}

HWY_INLINE CrackleLanes loadCrackleLanes (const CrackleChannel& c)
{
    const CrackleLanes::D d;
    HWY_ALIGN float w[8] = {}, sw[8] = {};

    for (int j = 0; j < crackleTaps; ++j)
    {
        w[crackleTaps - 1 - j] = c.weights[j];
        sw[crackleTaps - 1 - j] = c.steadyWeights[j];
    }

    return { hn::Load (d, w), hn::Load (d, sw) };
}

HWY_INLINE void storeCrackleLanes (const CrackleLanes& lanes, CrackleChannel& c)
{
    const CrackleLanes::D d;
    HWY_ALIGN float w[8], sw[8];
    hn::Store (lanes.weights, d, w);
    hn::Store (lanes.steadyWeights, d, sw);

    for (int j = 0; j < crackleTaps; ++j)
    {
        c.weights[j] = w[crackleTaps - 1 - j];
        c.steadyWeights[j] = sw[crackleTaps - 1 - j];
    }
}

HWY_INLINE void predictCrackleSample (CrackleChannel& c, CrackleLanes& lanes, int i)
{
    const CrackleLanes::D d;
    const CrackleLanes::DI di;
    const auto* h = c.history;
    const auto past = hn::IfThenElseZero (hn::FirstN (d, crackleTaps), hn::LoadU (d, h + i - crackleTaps));
    const auto pastExponent = exponentField (di, past);

    const auto p = tapSum (flushedLanes (di, lanes.weights, exponentField (di, lanes.weights), past, pastExponent));
    const auto steadyPrediction =
        tapSum (flushedLanes (di, lanes.steadyWeights, exponentField (di, lanes.steadyWeights), past, pastExponent));
    const auto energy = tapSum (flushedLanes (di, past, pastExponent, past, pastExponent));

    c.predictions[i] = p;
    const auto e = h[i] - p;
    c.errors[i] = e;
    const auto step = c.stepSize / (energy + 0.000001f);
    const auto steps = hn::Set (d, step);
    const auto stepExponent = exponentField (di, steps);

    const auto errors = hn::Set (d, e);
    const auto change = flushedLanes (di, errors, exponentField (di, errors), past, pastExponent);
    lanes.weights = hn::Add (lanes.weights, flushedLanes (di, change, exponentField (di, change), steps, stepExponent));

    c.detection[i] = detectCrackle (c, e);

    const auto steadyError = h[i] - steadyPrediction;
    c.steadyErrors[i] = steadyError;
    c.samplesSinceDetection = c.detection[i] > 0.0f ? 0 : std::min (c.samplesSinceDetection + 1, crackleTaps + 1);

    if (c.samplesSinceDetection > crackleTaps)
    {
        const auto steadyErrors = hn::Set (d, steadyError);
        const auto steadyChange = flushedLanes (di, steadyErrors, exponentField (di, steadyErrors), past, pastExponent);
        lanes.steadyWeights =
            hn::Add (lanes.steadyWeights,
                     flushedLanes (di, steadyChange, exponentField (di, steadyChange), steps, stepExponent));
    }
}

void PredictCrackle (CrackleChannel& c, int start, int n)
{
    auto lanes = loadCrackleLanes (c);

    for (int i = start; i < start + n; ++i)
        predictCrackleSample (c, lanes, i);

    storeCrackleLanes (lanes, c);
}

void PredictCracklePair (CrackleChannel& a, int startA, CrackleChannel& b, int startB, int n)
{
    auto lanesA = loadCrackleLanes (a), lanesB = loadCrackleLanes (b);

    for (int k = 0; k < n; ++k)
    {
        predictCrackleSample (a, lanesA, startA + k);
        predictCrackleSample (b, lanesB, startB + k);
    }

    storeCrackleLanes (lanesA, a);
    storeCrackleLanes (lanesB, b);
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
HWY_EXPORT (SquarePeak);
HWY_EXPORT (ExpanderGains);
HWY_EXPORT (PredictCrackle);
HWY_EXPORT (PredictCracklePair);

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
