#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"
#include "ZSoftClip.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

namespace vesk
{

/** Repairs clipped passages of one channel.

    The clip levels are found on every incoming chunk: a hard clip holds one value, so three equal
    samples in the outer half of the range seen, or a histogram bin near the extreme full of samples
    equal to a neighbour, give the level exactly. Each sample waits D samples (the longest run plus both
    margins) in the analysis buffer; every run of samples at or beyond a found level is rebuilt by a
    second-difference smoothing fit over the run and a margin on each side. Only the run takes the fit,
    held between the level and twice the level, and only where its edges follow on from the margins
    better than the clipped run does; otherwise the run is left. Without a level found nothing is
    touched, full-scale samples included. The result passes through a soft clip at -0.1 dB.

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

    /** Updates the clip levels from x[0 .. n), chunk by chunk: three equal samples beyond half the
        largest (or smallest) sample seen, or a histogram bin (400 bins of 0.005 over -1 .. 1) near the
        extreme whose samples equal to a neighbour outnumber almost ten to one both the bins about five
        steps further in and the bin at zero, with fewer than 1.04 % of the chunk beyond it. The level is
        the plateau's value and persists until reset or until another plateau replaces it.
    */
    void detectClipLevels (const float* x, long n);

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
    bool isClipPeak (int bin, int comparisonBin) const noexcept;
    void takeExactLevel (float value) noexcept;
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
    bool detecting = false;
    float peakRatio = 9.92f;
    float centreRatio = 9.902f;
    float tailFraction = 0.0104f;

    std::unique_ptr<ZSoftClip> softClip;
    std::unique_ptr<ZBuffer> analysisBuffer;
    std::array<float, histogramBins> histogram {};
    // Per bin, the samples of the chunk equal to a neighbour, and the last such value.
    std::array<float, histogramBins> plateauHistogram {};
    std::array<float, histogramBins> plateauValue {};
    std::unique_ptr<ZGain> kernels;

    // Sized for the longest region (run plus both margins) whenever the lengths are derived.
    std::vector<float> weights;
    std::vector<double> pivots, firstMultipliers, secondMultipliers, substitution;
    std::vector<float> fitted;
};

} // namespace vesk
