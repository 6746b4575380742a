#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZVectorKernels.h"

#include <array>
#include <memory>

namespace vesk
{

/** Removes crackle from one channel.

    An adaptive 5-tap linear predictor (normalised LMS) follows the signal; a burst is a run of samples
    whose prediction error exceeds the threshold times the smoothed error magnitude. Each burst (at most
    256 samples) is redrawn with a weighted second-difference smoother that ignores the burst's own
    samples and blends into the 15 samples on each side. Delays by 291 samples.

    The threshold never falls below an absolute floor, so that the collapsed error level of digital
    silence does not turn everything that follows into a burst.

    A run is redrawn only when it also stands out from what follows it: its largest error must exceed
    the threshold ratio, at most 20 (26 dB), with a margin of 1.25, times the median error magnitude of
    the 32 samples after it.
    The onset of a drum, a pluck or a consonant starts a run that the slowly rising envelope flags, but
    its error goes on after the run, so it is left alone. Those errors come from a second, steady
    predictor that learns only while no detection lies in its past, so that the crackle itself does not
    raise them.
*/
class ZCrackleProcessor : private ZDSPObject
{
public:
    /** Largest block size accepted, in samples. */
    static constexpr int maxBlockSize = 1 << 20;

    /** Lowest detection level of the prediction error (linear, -60 dBFS). */
    static constexpr float thresholdFloor = 0.001f;

    /** Longest region smoothRegion accepts: the longest burst plus both ramps. */
    static constexpr int maxSmoothedRegion = 286;

    /** Throws vj_dsp_exception for a block size outside 1 .. maxBlockSize. */
    ZCrackleProcessor (int blockSize, float sampleRate);
    ~ZCrackleProcessor() override;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZCrackleProcessor> create (int blockSize, float sampleRate);

    /** Zeroes history, detection, weights and the working buffers; the error envelope is kept. */
    void reset();

    /** Detection ratio = 10^(dB / 20). */
    void setThresholdDb (float dB);

    float getThresholdRatio() const noexcept { return thresholdRatio; }
    float getErrorEnvelope() const noexcept { return errorEnvelope; }

    /** 291 samples. */
    int getLatency() const noexcept { return latency; }

    int getBlockSize() const noexcept { return blockSize; }

    /** Runs one block; in and out may be the same buffer. The count should be the block size; it is
        cut to the block size and to the lengths of both buffers.
    */
    void process (ZBuffer& in, ZBuffer& out, int count);

    /** Whittaker smoother with second differences: solves (W + lambda D'D) z = W y for count samples,
        W the diagonal of weights. y and z may be the same array. A count below 5 or above
        maxSmoothedRegion leaves z as a copy of y.
    */
    static void smoothRegion (const float* weights, const float* y, float* z, int count, float lambda);

    /** NLMS step size at a rate (Hz): 0.005 up to 44.1 kHz, smaller above. */
    static float stepSize (float sampleRate) noexcept;

    /** Hz; the owner may change it between blocks. */
    float sampleRate;

    /** process on two processors at once (count cut to both blocks and all four buffers), each giving
        exactly what its own process gives; faster on one thread than the two calls in turn.
    */
    static void processPair (ZCrackleProcessor& a, ZBuffer& inA, ZBuffer& outA, ZCrackleProcessor& b, ZBuffer& inB,
                             ZBuffer& outB, int count);

private:
    /** One block's working pointers and what the predictors knew before it. */
    struct Block
    {
        float *h, *d, *w, *errors, *predicted, *steady, *sw;
        float mu;
        std::array<float, 5> learned, steadyLearned;
        float learnedEnvelope;
    };

    void processBlock (const float* input, float* output, int n);
    static void processPair (ZCrackleProcessor& a, const float* inputA, float* outputA, ZCrackleProcessor& b,
                             const float* inputB, float* outputB, int n);
    Block startBlock (const float* input, int n);
    vectorKernels::CrackleChannel predictors (const Block& block) const noexcept;
    void takePredictors (const vectorKernels::CrackleChannel& channel) noexcept;
    void finishBlock (const Block& block, float* output, int n);

    /** True when the run after c up to e stands out as crackle: its largest prediction error exceeds
        the threshold ratio (at most 20) times the median error magnitude just after it, with a margin
        (errors up to end, exclusive).
    */
    bool isImpulsive (const float* errors, int c, int e, int end) const;

    static constexpr int rampLength = 15;
    static constexpr int longestBurst = 256;
    static constexpr int taps = 5;
    static constexpr int afterWindow = 32;
    static constexpr int minimumAfterWindow = 8;
    static constexpr float afterMargin = 1.25f;
    static constexpr float envelopeDecay = 0.997f;
    static constexpr float afterContrastCeiling = 20.0f;

    int blockSize;
    float thresholdRatio = 1.0f;
    std::unique_ptr<ZBuffer> history;
    std::unique_ptr<ZBuffer> detection;
    std::unique_ptr<ZBuffer> weights;
    std::unique_ptr<ZBuffer> predictionErrors;
    std::unique_ptr<ZBuffer> predictions;
    std::unique_ptr<ZBuffer> steadyErrors;
    std::array<float, taps> steadyWeights {};
    int samplesSinceDetection = 0;
    float errorEnvelope = 0.0f;
    int latency = rampLength + longestBurst + rampLength + taps;
    int scanOrigin = 0;
    int writePosition = latency;
};

} // namespace vesk
