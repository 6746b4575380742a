#include "ZDeclipping.h"

#include "ZVectorKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vesk
{

namespace
{
constexpr float binWidth = 0.005f;
constexpr int centreBin = 200;
constexpr float clippedWeight = 1.0e-7f;
constexpr double replacedPivot = 0.001;
// Equal samples that make a hard clip, and the smallest magnitude taken for a clip level.
constexpr int exactRun = 3;
constexpr float minimumLevel = 0.2f;
// Steps of the material's resolution a clipped run must step onto its level by.
constexpr float clipStepInResolutions = 2.0f;
// Steps of the resolution within which a sample counts as coming close to the extreme seen.
constexpr float nearExtremeSteps = 4.0f;
// How many times more runs reach the extreme exactly than samples come near it, for a clip.
constexpr int recurrenceRatio = 4;
// The largest share of the extreme that the near window may span for a recurrence to count.
constexpr float finestGridShare = 0.01f;
// Samples next to each edge of a run that are compared with the continuation of its margin.
constexpr long continuationSamples = 3;

// Lengths derived from the sample rate; a rate that is not a positive number gives 0.
long truncatedLength (float samples)
{
    if (!(samples > 0.0f))
        return 0;

    return (long) std::min (samples, 16777216.0f);
}

// phi (a) / (1 - Phi (a)) for the standard normal: how far beyond a the mean of the part of the
// distribution beyond a lies, in standard deviations.
double inverseMillsRatio (double a)
{
    if (a > 8.0)
        return a + 1.0 / a - 2.0 / (a * a * a);

    const auto tail = 0.5 * std::erfc (a / std::sqrt (2.0));
    const auto density = std::exp (-0.5 * a * a) / std::sqrt (2.0 * M_PI);
    return tail > 0.0 ? density / tail : 0.0;
}

// The exponent of the largest power of two that the value is a multiple of: the grid it can lie on.
// A large number for 0, NaN, infinities and denormals, which say nothing about a grid.
int gridExponent (float v) noexcept
{
    uint32_t bits = 0;
    std::memcpy (&bits, &v, sizeof bits);
    const auto exponent = (int) ((bits >> 23) & 0xffu);

    if (exponent == 0 || exponent == 0xff)
        return std::numeric_limits<int>::max();

    const auto mantissa = (bits & 0x7fffffu) | 0x800000u;
    return exponent - 150 + __builtin_ctz (mantissa);
}

int histogramBin (float x)
{
    const auto position = (x + 1.0f) / binWidth;

    if (!(position > 0.0f))
        return 0;

    if (position >= (float) (ZDeclipping::histogramBins - 1))
        return ZDeclipping::histogramBins - 1;

    return (int) position;
}

// The bin of half the given extreme, kept within -1 .. 401 so that huge samples stay representable.
long searchLimitBin (float x)
{
    const auto position = (x * 0.5f + 1.0f) / binWidth;
    return (long) std::clamp (position, -1.0f, 401.0f);
}

// The second-difference penalty D'D of a region of n samples, as its three bands.
float penaltyDiagonal (long i, long n)
{
    static constexpr float squares[] = { 1.0f, 4.0f, 1.0f };
    float sum = 0.0f;

    for (auto row = std::max (0L, i - 2); row <= std::min (i, n - 3); ++row)
        sum += squares[i - row];

    return sum;
}

float penaltyFirstBand (long i, long n)
{
    float sum = 0.0f;

    for (auto row = std::max (0L, i - 1); row <= std::min (i, n - 3); ++row)
        sum += -2.0f;

    return sum;
}

float penaltySecondBand (long i, long n)
{
    return i <= n - 3 ? 1.0f : 0.0f;
}
} // namespace

ZDeclipping::ZDeclipping (long newBlockSize, float newSampleRate)
{
    kernels = ZGain::create (false);
    softClip = ZSoftClip::create ((int) newBlockSize);
    setSampleRate (newSampleRate);
    setBlockSize (newBlockSize);
}

void ZDeclipping::setDefaults()
{
    enabled = false;
    outputGain = 1.0f;
    lambda = 1.0f;
    peakRatio = 9.92f;
    centreRatio = 9.902f;
    tailFraction = 0.0104f;
    binOffset = 0;
    softClip->setThresholdDb (-0.1f);
}

void ZDeclipping::deriveLengths()
{
    // At least one sample per run and per chunk, so that the search always advances.
    maxRun = std::max (1L, truncatedLength (0.025f * sampleRate));
    margin = truncatedLength (0.001f * sampleRate);
    chunk = std::max (1L, truncatedLength (0.011609977f * sampleRate + 0.5f));
    delay = maxRun + 2 * margin;

    // The analysis buffer is made anew and empty, so the scan starts afresh behind the new margin; a
    // position left from a shorter margin would put a region's start before the buffer.
    scanPosition = margin;

    const auto longestRegion = (size_t) delay;
    weights.assign (longestRegion, 0.0f);
    pivots.assign (longestRegion, 0.0);
    firstMultipliers.assign (longestRegion, 0.0);
    secondMultipliers.assign (longestRegion, 0.0);
    substitution.assign (longestRegion, 0.0);
    fitted.assign (longestRegion, 0.0f);
}

void ZDeclipping::createAnalysisBuffer()
{
    // Room for the window to slide on by many blocks before it is moved back to the start.
    windowLength = delay + margin + blockSize;
    windowStart = 0;
    const auto room = std::max (blockSize, std::min (32 * blockSize, 65536L));
    analysisBuffer = std::make_unique<ZBuffer> ((int) (windowLength + room), "mAnalysisBuffer");
}

void ZDeclipping::slideWindow (long n)
{
    // As a shift of the window's contents down by n would: every sample to the same place relative to
    // the window, and the last n places keeping what they held.
    auto* data = analysisBuffer->getData();

    if (windowStart + n + windowLength > (long) analysisBuffer->getLength())
    {
        std::memmove (data, data + windowStart, sizeof (float) * (size_t) windowLength);
        windowStart = 0;
    }

    auto* buf = data + windowStart;
    std::memcpy (buf + windowLength, buf + windowLength - n, sizeof (float) * (size_t) n);
    windowStart += n;
}

void ZDeclipping::setSampleRate (float newSampleRate)
{
    sampleRate = newSampleRate;
    deriveLengths();
    createAnalysisBuffer();
}

void ZDeclipping::setBlockSize (long n)
{
    // The soft clip goes first: a refused size then leaves the declipper as it was.
    softClip->setBlockSize (n);
    blockSize = n;
    deriveLengths();
    createAnalysisBuffer();
}

void ZDeclipping::reset()
{
    analysisBuffer->clear();
    windowStart = 0;
    scanPosition = margin;
    softClip->reset();
    resetDetection();
}

void ZDeclipping::resetDetection()
{
    negativeClipLevel = -1.0f;
    positiveClipLevel = 1.0f;
    negativeLevelFound = false;
    positiveLevelFound = false;
    positiveLevelFromPeaks = false;
    negativeLevelFromPeaks = false;
    largestSeen = 0.0f;
    smallestSeen = 0.0f;
    largestApproach = 0.0f;
    smallestApproach = 0.0f;
    largestRuns = 0;
    smallestRuns = 0;
    nearLargest = 0;
    nearSmallest = 0;
    resolution = std::numeric_limits<float>::infinity();
    resolutionExponent = std::numeric_limits<int>::max();
    lastSample = std::numeric_limits<float>::quiet_NaN();
    equalRun = 0;
    runStep = 0.0f;
    runEvidence = Evidence::none;
    negativeSearchLimit = 180;
    positiveSearchLimit = 220;
}

long ZDeclipping::getLatency() const
{
    return delay + softClip->getLatency();
}

bool ZDeclipping::isClipPeak (int bin, int comparisonBin) const noexcept
{
    if (comparisonBin - 1 < 0 || comparisonBin + 1 >= histogramBins)
        return false;

    // Only samples equal to a neighbour speak for a plateau. They are compared with the mean of the
    // comparison bin and its two neighbours, an empty comparison counting as one sample: lone extreme
    // samples, the sparse peaks of high-frequency programme and the bins that a steady tone happens to
    // skip do not make a clipped level.
    const auto comparison = (histogram[(size_t) comparisonBin - 1] + histogram[(size_t) comparisonBin]
                             + histogram[(size_t) comparisonBin + 1])
                            / 3.0f;
    const auto count = plateauHistogram[(size_t) bin];

    return count > peakRatio * std::max (comparison, 1.0f)
           && count > centreRatio * std::max (histogram[(size_t) centreBin], 1.0f);
}

void ZDeclipping::detectClipLevels (const float* x, long n)
{
    detectChunks (x, n, false);
}

void ZDeclipping::detectClipLevelsSampleBySample (const float* x, long n)
{
    detectChunks (x, n, true);
}

void ZDeclipping::detectChunks (const float* x, long n, bool sampleBySample)
{
    if (n <= 0)
        return;

    const auto chunks = (long) std::ceil ((float) n / (float) chunk);

    for (long c = 0; c < chunks; ++c)
    {
        const auto start = c * chunk;
        const auto length = std::min (chunk, n - start);

        if (length <= 0)
            break;

        if (sampleBySample)
        {
            histogram.fill (0.0f);
            plateauHistogram.fill (0.0f);

            for (auto i = start; i < start + length; ++i)
            {
                detectSample (x[i]);

                if (!std::isnan (x[i]))
                    histogram[(size_t) histogramBin (x[i])] += 1.0f;
            }

            searchHistogram (length);
            plateauHistogram.fill (0.0f);
        }
        else
        {
            detectRun (x + start, length);

            // A bin without cut plateaus is no clip peak, so without them where the search looks the
            // histogram is not needed.
            if (lowestPlateauBin < negativeSearchLimit || highestPlateauBin > positiveSearchLimit)
            {
                histogram.fill (0.0f);

                for (auto i = start; i < start + length; ++i)
                    if (!std::isnan (x[i]))
                        histogram[(size_t) histogramBin (x[i])] += 1.0f;

                searchHistogram (length);
            }

            if (lowestPlateauBin < histogramBins)
                plateauHistogram.fill (0.0f);
        }

        lowestPlateauBin = histogramBins;
        highestPlateauBin = -1;
    }
}

bool ZDeclipping::detectsAlike (const ZDeclipping& o) const noexcept
{
    const auto bits = [] (float value)
    {
        uint32_t word;
        std::memcpy (&word, &value, sizeof word);
        return word;
    };
    const auto same = [bits] (float a, float b) { return bits (a) == bits (b); };

    return same (negativeClipLevel, o.negativeClipLevel) && same (positiveClipLevel, o.positiveClipLevel)
           && negativeLevelFound == o.negativeLevelFound && positiveLevelFound == o.positiveLevelFound
           && negativeLevelFromPeaks == o.negativeLevelFromPeaks && positiveLevelFromPeaks == o.positiveLevelFromPeaks
           && same (largestSeen, o.largestSeen) && same (smallestSeen, o.smallestSeen)
           && same (largestApproach, o.largestApproach) && same (smallestApproach, o.smallestApproach)
           && largestRuns == o.largestRuns && smallestRuns == o.smallestRuns && nearLargest == o.nearLargest
           && nearSmallest == o.nearSmallest && same (resolution, o.resolution)
           && resolutionExponent == o.resolutionExponent && same (lastSample, o.lastSample) && equalRun == o.equalRun
           && same (runStep, o.runStep) && runEvidence == o.runEvidence && negativeSearchLimit == o.negativeSearchLimit
           && positiveSearchLimit == o.positiveSearchLimit && detecting == o.detecting;
}

void ZDeclipping::detectRun (const float* x, long n)
{
    long i = 0;

    while (i < n)
    {
        if (plainAhead())
        {
            // Samples that move none of the state but the last sample and the step onto it, whose
            // histogram counts are taken only when a chunk has plateaus to weigh.
            const vectorKernels::PlainSampleBounds bounds {
                lastSample,
                smallestSeen,
                largestSeen,
                negativeLevelFound ? negativeClipLevel : -std::numeric_limits<float>::infinity(),
                positiveLevelFound ? positiveClipLevel : std::numeric_limits<float>::infinity(),
                nearExtremeSteps * resolution,
                resolutionExponent
            };
            const auto plain = (long) vectorKernels::countPlainSamples (x + i, (size_t) (n - i), bounds);

            if (plain > 0)
            {
                const auto before = plain > 1 ? x[i + plain - 2] : lastSample;
                lastSample = x[i + plain - 1];
                runStep = std::abs (lastSample - before);
                i += plain;

                if (i >= n)
                    break;
            }
        }

        detectSample (x[i]);
        ++i;
    }
}

void ZDeclipping::searchHistogram (long length)
{
    const auto d = (int) binOffset;
    const auto tail = (float) length * tailFraction;

    if (negativeSearchLimit > 0)
    {
        float sum = 0.0f;

        for (int j = 0; j < negativeSearchLimit && sum < tail; ++j)
        {
            if (isClipPeak (j, j + d + 5))
            {
                takeLevel (plateauValue[(size_t) j], Evidence::plateau);
                break;
            }

            if (j - d >= 0)
                sum += histogram[(size_t) (j - d)];
        }
    }

    if (positiveSearchLimit <= histogramBins - 2)
    {
        float sum = 0.0f;

        for (int j = histogramBins - 1; j > positiveSearchLimit && sum < tail; --j)
        {
            if (isClipPeak (j, j - d - 5))
            {
                takeLevel (plateauValue[(size_t) j], Evidence::plateau);
                break;
            }

            if (j + d <= histogramBins - 1)
                sum += histogram[(size_t) (j + d)];
        }
    }
}

bool ZDeclipping::largestRecurs (float nearness) const noexcept
{
    return largestRuns >= 2 && largestRuns > recurrenceRatio * nearLargest && nearness < finestGridShare * largestSeen;
}

bool ZDeclipping::smallestRecurs (float nearness) const noexcept
{
    return smallestRuns >= 2 && smallestRuns > recurrenceRatio * nearSmallest
           && nearness < -finestGridShare * smallestSeen;
}

bool ZDeclipping::plainAhead() const noexcept
{
    if (equalRun != 1 || runEvidence != Evidence::none || std::isnan (lastSample))
        return false;

    // A level that only peaks gave and that no longer recurs goes with the next sample that is neither
    // equal to the one before nor a new extreme.
    const auto nearness = nearExtremeSteps * resolution;
    const auto positiveWithdrawn =
        !largestRecurs (nearness) && positiveLevelFromPeaks && positiveClipLevel == largestSeen;
    const auto negativeWithdrawn =
        !smallestRecurs (nearness) && negativeLevelFromPeaks && negativeClipLevel == smallestSeen;
    return !positiveWithdrawn && !negativeWithdrawn;
}

void ZDeclipping::detectSample (float v)
{
    const auto previous = lastSample;
    lastSample = v;

    if (std::isnan (v))
    {
        equalRun = 0;
        runEvidence = Evidence::none;
        return;
    }

    // Nothing passes a clip: a sample beyond a level shows that it was none.
    if (positiveLevelFound && v > positiveClipLevel)
    {
        positiveLevelFound = false;
        positiveClipLevel = 1.0f;
    }

    if (negativeLevelFound && v < negativeClipLevel)
    {
        negativeLevelFound = false;
        negativeClipLevel = -1.0f;
    }

    // Quantised material holds multiples of its grid only.
    const auto grid = gridExponent (v);

    if (grid < resolutionExponent)
    {
        resolutionExponent = grid;
        resolution = std::ldexp (1.0f, grid);
    }

    const bool equal = v == previous;

    if (equal)
    {
        ++equalRun;
    }
    else
    {
        if (equalRun > 0)
            finishRun (previous, std::abs (v - previous));

        equalRun = 1;
        runStep = std::isnan (previous) ? 0.0f : std::abs (v - previous);
        runEvidence = Evidence::none;
    }

    if (v > largestSeen)
    {
        largestSeen = v;
        largestApproach = previous;
        largestRuns = 1;
        nearLargest = 0;

        if (v > 0.2f)
            positiveSearchLimit = searchLimitBin (v);
    }
    else if (v < smallestSeen)
    {
        smallestSeen = v;
        smallestApproach = previous;
        smallestRuns = 1;
        nearSmallest = 0;

        if (v < -0.2f)
            negativeSearchLimit = searchLimitBin (v);
    }
    else if (!equal && !std::isnan (previous))
    {
        // A clip stops every peak beyond it at one value, so the extreme seen is reached again and
        // again, exactly, while the values just short of it stay rare. A waveform that repeats itself
        // sample for sample reaches its peak from the same sample each time; on a coarse grid the peaks
        // of a tone fall on its top few steps alike.
        const auto nearness = nearExtremeSteps * resolution;

        if (v == largestSeen)
            largestRuns += previous != largestApproach ? 1 : 0;
        else if (v > 0.0f && largestSeen - v <= nearness)
            ++nearLargest;

        if (v == smallestSeen)
            smallestRuns += previous != smallestApproach ? 1 : 0;
        else if (v < 0.0f && v - smallestSeen <= nearness)
            ++nearSmallest;

        // On a grid coarser than a small share of the level, peaks meet on one step by chance.
        const auto largestRecurs =
            largestRuns >= 2 && largestRuns > recurrenceRatio * nearLargest && nearness < finestGridShare * largestSeen;
        const auto smallestRecurs = smallestRuns >= 2 && smallestRuns > recurrenceRatio * nearSmallest
                                    && nearness < -finestGridShare * smallestSeen;

        if ((v == largestSeen && largestRecurs) || (v == smallestSeen && smallestRecurs))
            noteEvidence (v, Evidence::peaks);

        // A level the peaks alone gave is withdrawn when the values short of it stop being rare.
        if (!largestRecurs && positiveLevelFromPeaks && positiveClipLevel == largestSeen)
        {
            positiveLevelFound = positiveLevelFromPeaks = false;
            positiveClipLevel = 1.0f;
        }

        if (!smallestRecurs && negativeLevelFromPeaks && negativeClipLevel == smallestSeen)
        {
            negativeLevelFound = negativeLevelFromPeaks = false;
            negativeClipLevel = -1.0f;
        }
    }

    // Three equal samples in the outer half of the range seen.
    if (equalRun == exactRun)
        noteEvidence (v, Evidence::plateau);
}

void ZDeclipping::noteEvidence (float v, Evidence evidence)
{
    // The run must also have been cut: taken at once when it began with a step, else when it ends.
    if (steps (runStep))
        takeLevel (v, evidence);
    else if (runEvidence != Evidence::plateau)
        runEvidence = evidence;
}

void ZDeclipping::finishRun (float value, float stepOut)
{
    const auto cut = steps (runStep) || steps (stepOut);

    if (runEvidence != Evidence::none && steps (stepOut))
        takeLevel (value, runEvidence);

    // Only cut runs of equal samples speak for a plateau in the histogram: the peaks of a steady tone
    // come close to each other, but a clip holds one value.
    if (equalRun >= 2 && cut)
    {
        const auto bin = (size_t) histogramBin (value);
        plateauHistogram[bin] += (float) equalRun;
        plateauValue[bin] = value;
        lowestPlateauBin = std::min (lowestPlateauBin, (int) bin);
        highestPlateauBin = std::max (highestPlateauBin, (int) bin);
    }
}

bool ZDeclipping::steps (float step) const noexcept
{
    return step > clipStepInResolutions * resolution;
}

void ZDeclipping::takeLevel (float v, Evidence evidence) noexcept
{
    const auto bin = (long) histogramBin (v);

    if (v > minimumLevel && v <= 1.0f && bin > positiveSearchLimit)
    {
        if (positiveLevelFound && v == positiveClipLevel && evidence == Evidence::peaks)
            return;

        positiveClipLevel = v;
        positiveLevelFound = true;
        positiveLevelFromPeaks = evidence == Evidence::peaks;
    }
    else if (v < -minimumLevel && v >= -1.0f && bin < negativeSearchLimit)
    {
        if (negativeLevelFound && v == negativeClipLevel && evidence == Evidence::peaks)
            return;

        negativeClipLevel = v;
        negativeLevelFound = true;
        negativeLevelFromPeaks = evidence == Evidence::peaks;
    }
}

bool ZDeclipping::steppedOnto (long start, long end, float value) const noexcept
{
    // A clip cuts the waveform wherever it crosses the level, so the run starts or ends with a step;
    // quantisation moves onto the top value of a peak by one step of its grid.
    const auto* buf = window();
    const auto into = start > 0 ? std::abs (value - buf[start - 1]) : 0.0f;
    return steps (into) || steps (std::abs (value - buf[end + 1]));
}

bool ZDeclipping::rebuildRun (long start, long end, float value)
{
    auto* buf = window();
    const bool positive = value > 0.0f;
    const auto regionStart = start - margin;
    const auto runLength = end - start + 1;
    const auto regionLength = runLength + 2 * margin;

    std::fill_n (weights.begin(), regionLength, 1.0f);
    std::fill_n (weights.begin() + margin, runLength, clippedWeight);

    // The fit is solved over the region, but only the clipped samples take values from it.
    auto* fit = fitted.data();
    smoothRegion (weights.data(), buf + regionStart, fit, regionLength, lambda);

    // The fit follows the smooth part of the waveform; what the margins hold beyond it is the part it
    // cannot foresee, whose spread tells how far a clipped sample lay beyond the level.
    double spread = 0.0;

    for (long k = 0; k < margin; ++k)
    {
        const auto left = (double) buf[regionStart + k] - (double) fit[k];
        const auto right = (double) buf[end + 1 + k] - (double) fit[margin + runLength + k];
        spread += left * left + right * right;
    }

    const auto deviation = margin > 0 ? std::sqrt (spread / (double) (2 * margin)) : 0.0;
    const auto sign = positive ? 1.0 : -1.0;
    const auto level = (double) value;
    bool fitBeyondLevel = false;

    for (long k = 0; k < runLength; ++k)
    {
        // The mean of the fit's distribution beyond the level (in the direction of the clip), held to
        // twice the level: further out the fit follows the ripple of the margins rather than the lost peak.
        const auto mean = (double) fit[margin + k];
        fitBeyondLevel = fitBeyondLevel || sign * (mean - level) > 0.0;
        auto expected = sign * mean > sign * level ? mean : level;

        if (deviation > 0.0)
            expected = mean + sign * deviation * inverseMillsRatio (sign * (level - mean) / deviation);

        auto beyond = std::clamp (sign * expected, sign * level, 2.0 * sign * level);

        // Less than one step of the resolution beyond the level is no repair, only rounding.
        if (beyond - sign * level < (double) resolution)
            beyond = sign * level;

        fit[margin + k] = (float) (sign * beyond);
    }

    // A rebuild that follows the fit beyond the level and meets the edges of the run further from their
    // continuation than the clipped run does is dropped, and the run left as it came.
    if (fitBeyondLevel && margin >= 2 && !keepsRepair (fit + margin, start, runLength, value))
        return false;

    const auto changed = !std::equal (fit + margin, fit + margin + runLength, buf + start);
    std::copy_n (fit + margin, runLength, buf + start);
    return changed;
}

bool ZDeclipping::keepsRepair (const float* repaired, long start, long length, float level) const
{
    // The smooth continuation: the slope of the last two samples before the run carried into it, and
    // the same from the far side, over the few samples next to each edge where that holds.
    const auto* buf = window();
    const auto edge = std::min (length, continuationSamples);
    double repairError = 0.0, clippedError = 0.0;

    for (long k = 0; k < edge; ++k)
    {
        const auto before =
            (double) buf[start - 1] + ((double) buf[start - 1] - (double) buf[start - 2]) * (double) (k + 1);
        const auto afterIndex = start + length;
        const auto after =
            (double) buf[afterIndex] + ((double) buf[afterIndex] - (double) buf[afterIndex + 1]) * (double) (k + 1);
        const auto first = (double) repaired[k];
        const auto last = (double) repaired[length - 1 - k];
        repairError += (first - before) * (first - before) + (last - after) * (last - after);
        clippedError +=
            ((double) level - before) * ((double) level - before) + ((double) level - after) * ((double) level - after);
    }

    return repairError < clippedError;
}

bool ZDeclipping::smoothRegion (const float* w, const float* y, float* z, long n, float smoothing)
{
    if (n <= 0)
        return true;

    if (n > (long) pivots.size())
    {
        if (z != y)
            std::copy_n (y, n, z);

        return false;
    }

    auto* d = pivots.data();
    auto* l1 = firstMultipliers.data();
    auto* l2 = secondMultipliers.data();
    auto* u = substitution.data();
    const auto lam = (double) smoothing;

    // (W + lambda D'D) = L diag (d) L', L unit lower triangular with two subdiagonals l1 and l2. The
    // system is badly conditioned for long runs (the clipped samples carry almost no weight), so it is
    // solved in double precision: single precision misses a run of a few hundred samples by far more
    // than full scale.
    for (long i = 0; i < n; ++i)
    {
        auto pivot = (double) w[i] + lam * penaltyDiagonal (i, n);
        auto rhs = (double) w[i] * (double) y[i];

        if (i >= 1)
        {
            pivot -= l1[i - 1] * l1[i - 1] * d[i - 1];
            rhs -= l1[i - 1] * u[i - 1];
        }

        if (i >= 2)
        {
            pivot -= l2[i - 2] * l2[i - 2] * d[i - 2];
            rhs -= l2[i - 2] * u[i - 2];
        }

        if (pivot == 0.0)
            pivot = replacedPivot;

        d[i] = pivot;
        u[i] = rhs;

        if (i + 1 < n)
        {
            auto upper = lam * penaltyFirstBand (i, n);

            if (i >= 1)
                upper -= l1[i - 1] * l2[i - 1] * d[i - 1];

            l1[i] = upper / pivot;
        }

        if (i + 2 < n)
            l2[i] = lam * penaltySecondBand (i, n) / pivot;
    }

    for (auto i = n - 1; i >= 0; --i)
    {
        auto value = u[i] / d[i];

        if (i + 1 < n)
            value -= l1[i] * u[i + 1];

        if (i + 2 < n)
            value -= l2[i] * u[i + 2];

        u[i] = value;
        z[i] = (float) value;
    }

    return true;
}

bool ZDeclipping::process (ZBuffer* in, ZBuffer* out, long n)
{
    n = std::min ({ n, blockSize, (long) in->getLength(), (long) out->getLength() });

    if (n <= 0)
        return false;

    auto* buf = window();

    std::copy_n (in->getData(), n, buf + delay);

    // The levels serve only the repair: while it is off nothing is looked for, and when it comes on
    // the levels are found afresh from what arrives then.
    const auto repairing = enabled.load (std::memory_order_relaxed);

    if (repairing && !detecting)
        resetDetection();

    detecting = repairing;

    if (repairing)
        detectClipLevels (in->getData(), n);

    bool rebuilt = false;
    long lastRunEnd = 0;
    bool runFound = false;

    // Without a level no sample is at one.
    if (repairing && (positiveLevelFound || negativeLevelFound))
    {
        // A run is a stretch of samples exactly at a level; nothing else counts as clipped, full-scale
        // samples included.
        const auto high = positiveLevelFound ? positiveClipLevel : std::numeric_limits<float>::quiet_NaN();
        const auto low = negativeLevelFound ? negativeClipLevel : std::numeric_limits<float>::quiet_NaN();
        const auto searchEnd = margin + n;
        auto p = scanPosition;

        while (p < searchEnd)
        {
            auto start = p;

            while (start < searchEnd && !(buf[start] == high || buf[start] == low))
                ++start;

            if (start >= searchEnd)
                break;

            // A run holds at most maxRun samples; a longer one is repaired section by section.
            const auto value = buf[start];
            const auto lastAllowed = start + maxRun - 1;
            auto end = start;

            while (end < lastAllowed && buf[end + 1] == value)
                ++end;

            if (steppedOnto (start, end, value))
                rebuilt = rebuildRun (start, end, value) || rebuilt;

            lastRunEnd = end;
            runFound = true;
            p = end + 1;
        }
    }

    std::copy_n (buf, n, out->getData());

    // A gain of exactly 1 leaves every sample as it is.
    if (outputGain != 1.0f)
        kernels->scale (out, outputGain);

    slideWindow (n);

    // The scan resumes after the last run found, rebuilt or left, even when it reaches past this block.
    scanPosition = runFound ? std::max (lastRunEnd + 1 - n, margin) : margin;

    softClip->process (out, out);
    return rebuilt;
}

} // namespace vesk
