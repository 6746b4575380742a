#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vesk::vectorKernels
{

/** Element-wise kernels on float arrays, compiled for every x86-64 instruction set from plain SSE2 up
    to AVX-512 and chosen at run time for the processor at hand.

    Each kernel performs, lane by lane, exactly the float operations of the plain loop written in its
    comment, in the same order and without contraction into fused multiply-adds, so every target gives
    the same bits as that loop. The decibel conversion takes its logarithm from a vector library
    accurate to 1 ulp in double precision; its results can differ from the C library's in the last
    bit of a double, which after the rounding to float almost never shows.

    Arrays may alias where a comment says so; otherwise they must not overlap.
*/

/** d[i] = d[i] * gain */
void scale (float* d, std::size_t n, float gain) noexcept;

/** d[i] = d[i] * o[i] */
void multiply (float* d, const float* o, std::size_t n) noexcept;

/** d[i] = s[i] * gain; d may be s */
void scaleTo (const float* s, float* d, std::size_t n, float gain) noexcept;

/** d[i] = a[i] * b[i]; d may be a or b */
void multiplyTo (const float* a, const float* b, float* d, std::size_t n) noexcept;

/** d[i] = s[i] * gain + d[i]; d may be s */
void scaleAddTo (const float* s, float* d, std::size_t n, float gain) noexcept;

/** d[i] = a[i] * b[i] + d[i]; d may be a or b */
void multiplyAddTo (const float* a, const float* b, float* d, std::size_t n) noexcept;

/** d[i] = d[i] + (s[i] * gain, or +0 when the exponent fields of s[i] and gain add up to less than 128) */
void flushedScaleAddTo (const float* s, float* d, std::size_t n, float gain) noexcept;

/** d[i] = (float) (10 * log10 ((double) (d[i] + offset))) */
void powerToDecibels (float* d, std::size_t n, float offset) noexcept;

/** re = ar br - ai bi, im = ar bi + ai br, element by element; each output may be any input */
void complexMultiply (const float* ar, const float* ai, const float* br, const float* bi, float* re, float* im,
                      std::size_t n) noexcept;

/** power[i] = re[i] re[i] + im[i] im[i] */
void squaredMagnitude (const float* re, const float* im, float* power, std::size_t n) noexcept;

/** smoothed[i] = smoothed[i] release[i] + power[i] attack[i] */
void recursiveSmooth (const float* power, const float* attack, const float* release, float* smoothed,
                      std::size_t n) noexcept;

/** The gate's gain curve: with d = db[i] - (offset + thresholds[i]) and the index trunc (d) + 128 limited
    to 0..255 (0 for a NaN), gains[i] = curve[index], or 1 - curve[index] when noiseOnly. gains may be db.
*/
void curveGains (const float* db, const float* thresholds, float offset, const float* curve, bool noiseOnly,
                 float* gains, std::size_t n) noexcept;

/** curveGains applied to the decibels of powerToDecibels (power[i] + offset), without writing them:
    gains[i] = curve[index] (or 1 - curve[index]) with d = 10 log10 (power[i] + offset) - (thresholdOffset
    + thresholds[i]). The same bits as those two kernels in turn; gains may be power.
*/
void decibelCurveGains (const float* power, float offset, const float* thresholds, float thresholdOffset,
                        const float* curve, bool noiseOnly, float* gains, std::size_t n) noexcept;

/** The downward expander's settings, for expanderGains. */
struct ExpanderCurve
{
    float thresholdLinear, ratioBelow, ratioAbove, thresholdDb, maxGainDb, floorPower;
};

/** y[i] = x[i] * 10^(g / 20) with g = min (maxGainDb, (L - thresholdDb) * ratio + thresholdDb - L),
    L = 10 log10 (max (envelope[i], floorPower)) and ratio = ratioBelow where thresholdLinear > envelope[i],
    else ratioAbove. The logarithm and the power come from the vector library within 1 ulp (the C
    library's where there is no vector unit); y may be x.
*/
void expanderGains (const float* x, const float* envelope, float* y, std::size_t n,
                    const ExpanderCurve& curve) noexcept;

/** One channel of the crackle processor's predictors, for predictCrackle: its arrays, indexed by
    sample position, and what carries from sample to sample.
*/
struct CrackleChannel
{
    float* history;
    float* detection;
    float* errors;
    float* predictions;
    float* steadyErrors;
    float* weights; ///< 5 taps, updated
    float* steadyWeights; ///< 5 taps, updated
    float stepSize, thresholdRatio, thresholdFloor, envelopeDecay;
    float envelope; ///< updated
    int samplesSinceDetection; ///< updated
};

/** The crackle processor's per-sample loop over positions start .. start + n - 1 (history from
    start - 5 on): its two normalised-LMS predictors, error envelope and detection, with every float
    operation of the plain loop in its order, so the same bits; vector units take the five taps at once.
*/
void predictCrackle (CrackleChannel& channel, int start, int n) noexcept;

/** predictCrackle on two channels at once, sample by sample in turn, each with its own result. */
void predictCracklePair (CrackleChannel& a, int startA, CrackleChannel& b, int startB, int n) noexcept;

/** The click processor's block peak: |d[i]| of the first sample whose square (flushed as
    ZGain::flushedProduct flushes it) is the largest above 0, or 0 when none is.
*/
float squarePeak (const float* d, std::size_t n) noexcept;

/** The largest |d[i]| that is not a NaN, or 0 */
float peakMagnitude (const float* d, std::size_t n) noexcept;

/** The first i below n with x[i] == 0 and x[i + 1] > 0 (reading x[0 .. n]), or n when there is none:
    where a run of detections starts.
*/
std::size_t firstRise (const float* x, std::size_t n) noexcept;

/** One frame of the spectral gate, for gateGains. */
struct GateFrame
{
    const float *re, *im, *attack, *release, *smoothed;
    float* candidate; ///< the new smoothed power
    float offset; ///< added to the power before its logarithm
    const float* thresholds;
    float thresholdOffset;
    const float* curve;
    bool noiseOnly;
    float* gains; ///< may be none of the inputs
};

/** The gate's steps over n bins in one pass: power p = re^2 + im^2 (squaredMagnitude), candidate =
    smoothed * release + p * attack (recursiveSmooth), and gains = decibelCurveGains of the candidate.
    Returns the sum of p in bin order, by which the caller keeps or drops the candidate; the same bits
    as those kernels in turn.
*/
float gateGains (const GateFrame& frame, std::size_t n) noexcept;

/** What the declipper's level finding has seen, for countPlainSamples. */
struct PlainSampleBounds
{
    float previous; ///< the sample before x[0]
    float smallest, largest; ///< the extremes seen
    float lowest, highest; ///< the clip levels, or -/+ infinity for none
    float nearness; ///< how close to an extreme counts as near it
    int gridExponent; ///< the exponent of the finest grid seen
};

/** The number of samples from x[0] on, up to n, before the first one that is not plain, a plain sample v
    after p (x[i - 1], or previous) being one with v != p, p not a NaN, smallest < v < largest,
    lowest <= v <= highest, largest - v > nearness where v > 0, v - smallest > nearness where v < 0, and
    v a multiple of 2^gridExponent (zeros, subnormals and infinities count as on every grid).
*/
std::size_t countPlainSamples (const float* x, std::size_t n, const PlainSampleBounds& bounds) noexcept;

/** g[i] = g[i] * keep + add */
void blend (float* g, std::size_t n, float keep, float add) noexcept;

/** For k in [start, end): y[k] = w[0] x[k] + w[1] (x[k-1] + x[k+1]) + ... + w[taps-1] (x[k-taps+1] +
    x[k+taps-1]), summed in that order; x and y must not overlap.
*/
void symmetricFilter (const float* x, float* y, const float* w, int taps, std::size_t start, std::size_t end) noexcept;

/** re[i] = pairs[2i] * scale, im[i] = pairs[2i + 1] * scale */
void deinterleaveScaled (const float* pairs, float* re, float* im, std::size_t n, float scale) noexcept;

/** pairs[2i] = re[i], pairs[2i + 1] = im[i] */
void interleave (const float* re, const float* im, float* pairs, std::size_t n) noexcept;

/** The complex spectrum of n points (n even, pairs of real and imaginary parts) whose transform has the
    frame with the bins reA + i imA as its real part and the one with reB + i imB as its imaginary part,
    each frame's bins 0 .. n / 2 given (the imaginary parts of bins 0 and n / 2 taken as 0):
    Z[0] = reA[0] + i reB[0], Z[n / 2] = reA[n / 2] + i reB[n / 2], and for 0 < k < n / 2
    Z[k] = (reA[k] - imB[k]) + i (imA[k] + reB[k]), Z[n - k] = (reA[k] + imB[k]) + i (reB[k] - imA[k]).
*/
void joinHalfSpectra (const float* reA, const float* imA, const float* reB, const float* imB, float* pairs,
                      std::size_t n) noexcept;

/** The other way: bins 0 .. n / 2 of the frames that are the real (A) and imaginary (B) parts of the
    transform whose complex spectrum pairs holds, scaled: with Z[k] = p + i q and Z[(n - k) mod n] = r + i s,
    reA[k] = (p + r) scale, imA[k] = (q - s) scale, reB[k] = (q + s) scale, imB[k] = (r - p) scale.
*/
void splitFullSpectrum (const float* pairs, float* reA, float* imA, float* reB, float* imB, std::size_t n,
                        float scale) noexcept;

/** The instruction sets this processor runs kernels for, best first (for example "AVX2", "SSE4",
    "Scalar"); the first is the one in use unless useInstructionSet chose another.
*/
std::vector<std::string> availableInstructionSets();

/** Runs every kernel with the named instruction set from availableInstructionSets(), or with the best
    again for an empty name; false for a name not available. For tests that hold each instruction set
    against the plain loops; not to be called while kernels run on other threads.
*/
bool useInstructionSet (const std::string& name);

/** The instruction set the kernels run with now. */
std::string currentInstructionSet();

} // namespace vesk::vectorKernels
