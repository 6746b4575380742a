#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"
#include "ZSoftClip.h"

#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <vector>

namespace vesk
{

/** Repairs clipped passages of one channel.

    A hard clip holds one value exactly and cuts the waveform where it crosses it. Detection, on every
    incoming sample, takes a value as a clip level when a run of equal samples at it (in the outer half
    of the range seen, beyond 0.2) is cut, that is starts or ends with a step of more than two steps of
    the material's resolution (the finest power-of-two grid all its samples lie on), and when either
    the run holds three samples, or it reaches the extreme seen exactly from another sample than the
    first such run did while the values within four steps short of the extreme stay four times rarer
    (on a grid finer than a hundredth of the level only), or a histogram bin near the extreme holds ten
    times more samples of cut runs than the bins about five steps further in and the bin at zero. A
    sample beyond a level withdraws it. So the plateaus that quantisation leaves at the peaks of coarse
    or quiet material, lone extreme samples and repeating waveforms give no level.

    Each sample waits D samples (the longest run plus both margins) in the analysis buffer. A run of
    samples exactly at a level that is cut is rebuilt from a second-difference smoothing fit over the run
    and a margin on each side: each clipped sample takes the mean of a normal distribution beyond the
    level, the fit's value being its centre and the margins' spread about the fit its deviation, held to
    twice the level and left at the level when that is less than one step of the resolution beyond it. A
    rebuild whose fit itself rises beyond the level is kept only where its edges follow on from the
    margins better than the clipped run does. Nothing else is touched, full-scale samples included. The
    result passes through a soft clip at -0.1 dB.

    Latency: D + block size samples (1702 at 44100 Hz with 512-sample blocks).
*/
class ZDeclipping : private ZDSPObject
{
public:
    static constexpr int histogramBins = 400;

    ZDeclipping (long blockSize, float sampleRate);
    ~ZDeclipping() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** Disabled, output gain 0 dB, smoothing weight 1, detection ratios, soft clip at -0.1 dB. */
    void setDefaults();

    /** Derives the run length, margin and chunk from the rate (Hz) and re-creates the analysis buffer
        and the smoothing scratch for them.
    */
    void setSampleRate (float sampleRate);

    /** Re-creates the analysis buffer and the soft clip for blocks of n samples. */
    void setBlockSize (long n);

    /** Silences the delay line and forgets the clip levels and the extremes seen. */
    void reset();

    /** D + the soft clip's latency, in samples. */
    long getLatency() const;

    /** Processes n samples (at most the block size and both buffers' lengths); true when at least one
        run was rebuilt in this call.
    */
    bool process (ZBuffer* in, ZBuffer* out, long n);

    /** Updates the clip levels, the extremes seen and the resolution from x[0 .. n), chunk by chunk
        (the histogram is per chunk, the runs carry over). A level persists until reset, until another
        one replaces it, or until a sample beyond it arrives.
    */
    void detectClipLevels (const float* x, long n);

    /** detectClipLevels with every sample through each step of the level finding in turn and the whole
        histogram counted for every chunk: the plain form that detectClipLevels must match to the bit.
    */
    void detectClipLevelsSampleBySample (const float* x, long n);

    /** True when both have found the same levels and hold the same extremes, counts, resolution and run
        of equal samples, to the bit: the state that the level finding carries from sample to sample.
    */
    bool detectsAlike (const ZDeclipping& other) const noexcept;

    /** The finest power-of-two grid all samples seen since the levels were last forgotten lie on. */
    float getResolution() const noexcept { return resolution; }

    /** Whittaker smoothing with second differences: z minimises sum w (z - y)^2 + lambda sum (D2 z)^2.
        z may be y. Refused (z := y, false) for more samples than the run length plus both margins.
    */
    bool smoothRegion (const float* weights, const float* y, float* z, long length, float lambda);

    /** Searching for and rebuilding of runs; written by the owner from any thread, read once per block. */
    std::atomic<bool> enabled { false };

    /** The clip levels found; -1 and +1 while none is (when nothing counts as clipped). */
    float getNegativeClipLevel() const noexcept { return negativeClipLevel; }
    float getPositiveClipLevel() const noexcept { return positiveClipLevel; }
    bool hasNegativeClipLevel() const noexcept { return negativeLevelFound; }
    bool hasPositiveClipLevel() const noexcept { return positiveLevelFound; }
    long getMaxRun() const noexcept { return maxRun; }
    long getMargin() const noexcept { return margin; }
    long getChunk() const noexcept { return chunk; }
    long getDelay() const noexcept { return delay; }
    ZSoftClip* getSoftClip() noexcept { return softClip.get(); }

private:
    void deriveLengths();
    void createAnalysisBuffer();
    void slideWindow (long n);
    /** The analysis window: the delay line that the runs are looked for and rebuilt in. */
    float* window() const noexcept { return analysisBuffer->getData() + windowStart; }
    bool isClipPeak (int bin, int comparisonBin) const noexcept;
    /** What speaks for a level: a plateau of equal samples, or peaks that reach one value again and again. */
    enum class Evidence
    {
        none,
        plateau,
        peaks
    };

    void detectChunks (const float* x, long n, bool sampleBySample);
    /** Detection over samples of one chunk: runs of plain samples found by a vector scan, every other
        sample through detectSample.
    */
    void detectRun (const float* x, long n);
    /** True when the next sample, if plain, changes nothing but the last sample and the step onto it. */
    bool plainAhead() const noexcept;
    bool largestRecurs (float nearness) const noexcept;
    bool smallestRecurs (float nearness) const noexcept;
    /** Takes a level from the chunk's histogram of cut runs, compared with its histogram of samples. */
    void searchHistogram (long length);
    void detectSample (float value);
    void noteEvidence (float value, Evidence evidence);
    void finishRun (float value, float stepOut);
    /** True for a step larger than two steps of the resolution. */
    bool steps (float step) const noexcept;
    void takeLevel (float value, Evidence evidence) noexcept;
    bool steppedOnto (long start, long end, float value) const noexcept;
    /** Rebuilds the clipped run buf[start .. end] at value; true when a sample of it changed. */
    bool rebuildRun (long start, long end, float value);
    /** Forgets the levels found and the extremes seen. */
    void resetDetection();
    bool keepsRepair (const float* repaired, long start, long length, float level) const;

    float outputGain = 1.0f;
    float lambda = 1.0f;
    long binOffset = 0;
    long blockSize = 0;
    long delay = 0;
    long scanPosition = 0;
    long negativeSearchLimit = 180;
    long positiveSearchLimit = 220;
    long maxRun = 0;
    long margin = 0;
    long chunk = 1;
    float sampleRate = 0.0f;
    float negativeClipLevel = -1.0f;
    float positiveClipLevel = 1.0f;
    bool negativeLevelFound = false;
    bool positiveLevelFound = false;
    float largestSeen = 0.0f;
    float smallestSeen = 0.0f;
    // The sample before the first run that reached each extreme, the runs that reached it exactly from
    // other samples (the first one included), and the samples that came within four steps of the
    // resolution short of it, since it was reached.
    float largestApproach = 0.0f;
    float smallestApproach = 0.0f;
    int largestRuns = 0;
    int smallestRuns = 0;
    int nearLargest = 0;
    int nearSmallest = 0;
    // The levels that only recurring peaks gave, withdrawn when the values short of them stop being rare.
    bool positiveLevelFromPeaks = false;
    bool negativeLevelFromPeaks = false;
    // The finest grid every sample seen lies on: the step of quantised material.
    float resolution = std::numeric_limits<float>::infinity();
    int resolutionExponent = std::numeric_limits<int>::max();
    // The last sample detection saw, the length of the run of equal samples it ends, the step onto that
    // run, and what spoke for the run as a clip before it was known to be cut.
    float lastSample = std::numeric_limits<float>::quiet_NaN();
    int equalRun = 0;
    float runStep = 0.0f;
    Evidence runEvidence = Evidence::none;
    bool detecting = false;
    // The lowest and highest bins of the plateau histogram filled in this chunk.
    int lowestPlateauBin = histogramBins, highestPlateauBin = -1;
    float peakRatio = 9.92f;
    float centreRatio = 9.902f;
    float tailFraction = 0.0104f;

    std::unique_ptr<ZSoftClip> softClip;
    std::unique_ptr<ZBuffer> analysisBuffer;
    long windowLength = 0, windowStart = 0;
    std::array<float, histogramBins> histogram {};
    // Per bin, the samples of the cut runs of equal samples that ended in the chunk, and their last value.
    std::array<float, histogramBins> plateauHistogram {};
    std::array<float, histogramBins> plateauValue {};
    std::unique_ptr<ZGain> kernels;

    // Sized for the longest region (run plus both margins) whenever the lengths are derived.
    std::vector<float> weights;
    std::vector<double> pivots, firstMultipliers, secondMultipliers, substitution;
    std::vector<float> fitted;
};

} // namespace vesk
