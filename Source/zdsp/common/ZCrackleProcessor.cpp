#include "ZCrackleProcessor.h"

#include "ZGain.h"
#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace vesk
{

namespace
{
int checkedBlockSize (int blockSize)
{
    if (blockSize < 1 || blockSize > ZCrackleProcessor::maxBlockSize)
        VJ_DSP_THROW ("Improper block size for the crackle processor.");

    return blockSize;
}

// One block after the latency, plus the 15 samples the last fade-out may reach.
int historyLength (int blockSize)
{
    return blockSize + 306;
}

} // namespace

ZCrackleProcessor::ZCrackleProcessor (int newBlockSize, float newSampleRate)
    : sampleRate (newSampleRate), blockSize (checkedBlockSize (newBlockSize)),
      history (std::make_unique<ZBuffer> (historyLength (blockSize), "ZBuffer")),
      detection (std::make_unique<ZBuffer> (historyLength (blockSize), "ZBuffer")),
      weights (std::make_unique<ZBuffer> (taps, "ZBuffer")),
      predictionErrors (std::make_unique<ZBuffer> (historyLength (blockSize), "ZBuffer")),
      predictions (std::make_unique<ZBuffer> (historyLength (blockSize), "ZBuffer")),
      steadyErrors (std::make_unique<ZBuffer> (historyLength (blockSize), "ZBuffer"))
{
}

ZCrackleProcessor::~ZCrackleProcessor() = default;

std::unique_ptr<ZCrackleProcessor> ZCrackleProcessor::create (int blockSize, float sampleRate)
{
    return std::make_unique<ZCrackleProcessor> (blockSize, sampleRate);
}

void ZCrackleProcessor::reset()
{
    history->clear();
    detection->clear();
    weights->clear();
    predictionErrors->clear();
    predictions->clear();
    steadyErrors->clear();
    steadyWeights.fill (0.0f);
    samplesSinceDetection = 0;
}

void ZCrackleProcessor::setThresholdDb (float dB)
{
    thresholdRatio = (float) std::pow (10.0, (double) (dB / 20.0f));
}

float ZCrackleProcessor::stepSize (float rate) noexcept
{
    // A rate that is not above 44.1 kHz, NaN included, keeps the base step.
    if (!(rate > 44100.0f))
        return 0.005f;

    return 0.005f * std::pow (100.0f, 1.0f - rate / 44100.0f);
}

void ZCrackleProcessor::process (ZBuffer& in, ZBuffer& out, int count)
{
    const auto n = std::min ({ count, blockSize, in.getLength(), out.getLength() });

    if (n > 0)
        processBlock (in.getData(), out.getData(), n);
}

void ZCrackleProcessor::processPair (ZCrackleProcessor& a, ZBuffer& inA, ZBuffer& outA, ZCrackleProcessor& b,
                                     ZBuffer& inB, ZBuffer& outB, int count)
{
    const auto n = std::min (
        { count, a.blockSize, b.blockSize, inA.getLength(), outA.getLength(), inB.getLength(), outB.getLength() });

    if (n > 0)
        processPair (a, inA.getData(), outA.getData(), b, inB.getData(), outB.getData(), n);
}

void ZCrackleProcessor::processBlock (const float* input, float* output, int n)
{
    const auto block = startBlock (input, n);
    auto channel = predictors (block);
    vectorKernels::predictCrackle (channel, writePosition, n);
    takePredictors (channel);
    finishBlock (block, output, n);
}

void ZCrackleProcessor::processPair (ZCrackleProcessor& a, const float* inputA, float* outputA, ZCrackleProcessor& b,
                                     const float* inputB, float* outputB, int n)
{
    // The same steps as two processBlock calls, with the two channels' sample loops interleaved: each
    // predictor waits on its own last update, so two of them keep the processor busier than one.
    const auto blockA = a.startBlock (inputA, n);
    const auto blockB = b.startBlock (inputB, n);
    auto channelA = a.predictors (blockA), channelB = b.predictors (blockB);
    vectorKernels::predictCracklePair (channelA, a.writePosition, channelB, b.writePosition, n);
    a.takePredictors (channelA);
    b.takePredictors (channelB);
    a.finishBlock (blockA, outputA, n);
    b.finishBlock (blockB, outputB, n);
}

ZCrackleProcessor::Block ZCrackleProcessor::startBlock (const float* input, int n)
{
    Block block { history->getData(),
                  detection->getData(),
                  weights->getData(),
                  predictionErrors->getData(),
                  predictions->getData(),
                  steadyErrors->getData(),
                  steadyWeights.data(),
                  stepSize (sampleRate),
                  {},
                  {},
                  errorEnvelope };

    std::memmove (block.h + writePosition, input, sizeof (float) * (size_t) n);

    // What the predictors had learned before this block, for a block that a NaN or infinity spoils.
    std::copy_n (block.w, taps, block.learned.begin());
    std::copy_n (block.sw, taps, block.steadyLearned.begin());
    return block;
}

vectorKernels::CrackleChannel ZCrackleProcessor::predictors (const Block& block) const noexcept
{
    return { block.h,
             block.d,
             block.errors,
             block.predicted,
             block.steady,
             block.w,
             block.sw,
             block.mu,
             thresholdRatio,
             thresholdFloor,
             envelopeDecay,
             errorEnvelope,
             samplesSinceDetection };
}

void ZCrackleProcessor::takePredictors (const vectorKernels::CrackleChannel& channel) noexcept
{
    errorEnvelope = channel.envelope;
    samplesSinceDetection = channel.samplesSinceDetection;
}

void ZCrackleProcessor::finishBlock (const Block& block, float* output, int n)
{
    const auto& [h, d, w, errors, predicted, steady, sw, mu, learned, steadyLearned, learnedEnvelope] = block;
    const auto length = history->getLength();

    // Repair scan over the burst edges c: the last undetected sample before each run.
    const int scanStart = scanOrigin + rampLength;
    const int scanEnd = scanStart + n;
    std::array<float, maxSmoothedRegion> regionWeights {};

    for (int c = scanStart; c < scanEnd;)
    {
        c += (int) vectorKernels::firstRise (d + c, (std::size_t) (scanEnd - c));

        if (c >= scanEnd)
            break;

        int e = -1;

        for (int j = c + 1; j <= c + longestBurst; ++j)
        {
            if (d[j] > 0.0f && d[j + 1] == 0.0f)
            {
                e = j;
                break;
            }
        }

        if (e < 0)
        {
            // A longer burst is redrawn in pieces of at most 256 samples.
            e = c + longestBurst;
            d[e] = 0.0f;
        }

        if (!isImpulsive (steady, c, e, writePosition + n))
        {
            // The onset of a sound: its error stays up after the run, so it is left as it is.
            std::fill (d + c + 1, d + e + 1, 0.0f);
            c = e;
            continue;
        }

        const auto burst = e - c;
        auto* rw = regionWeights.data();

        for (int k = 0; k < rampLength; ++k)
            rw[k] = 1.0f - (float) k / (float) rampLength;

        std::fill_n (rw + rampLength, burst, 0.0f);

        for (int k = 0; k < rampLength; ++k)
            rw[rampLength + burst + k] = (float) (k + 1) / (float) rampLength;

        auto* region = h + c - (rampLength - 1);
        smoothRegion (rw, region, region, burst + 2 * rampLength, 1.0f);
        c = e;
    }

    // A NaN or infinite input would otherwise leave the predictors and the envelope unusable for good;
    // they go on from where they were before it, so what follows sounds as it would have.
    const auto finite = [] (float v) { return std::isfinite (v); };

    if (!std::isfinite (errorEnvelope) || !std::all_of (w, w + taps, finite) || !std::all_of (sw, sw + taps, finite))
    {
        std::copy (learned.begin(), learned.end(), w);
        steadyWeights = steadyLearned;
        errorEnvelope = learnedEnvelope;
    }

    std::memmove (output, h + scanOrigin, sizeof (float) * (size_t) n);

    const auto kept = sizeof (float) * (size_t) (length - n);
    std::memmove (h, h + n, kept);
    std::memmove (d, d + n, kept);
    std::memmove (errors, errors + n, kept);
    std::memmove (predicted, predicted + n, kept);
    std::memmove (steady, steady + n, kept);
}

bool ZCrackleProcessor::isImpulsive (const float* errors, int c, int e, int end) const
{
    // The error level after the run, past the samples whose prediction still reads the run: the
    // median magnitude, so that other crackle nearby does not raise it.
    const auto from = e + 1 + taps;
    const auto count = std::min (afterWindow, end - from);

    if (count < minimumAfterWindow)
        return true;

    std::array<float, afterWindow> after {};

    for (int k = 0; k < count; ++k)
    {
        // A NaN would break the ordering the median needs.
        const auto magnitude = std::abs (errors[from + k]);
        after[(size_t) k] = magnitude == magnitude ? magnitude : std::numeric_limits<float>::infinity();
    }

    const auto middle = after.begin() + count / 2;
    std::nth_element (after.begin(), middle, after.begin() + count);

    float peak = 0.0f;

    for (int k = c + 1; k <= e; ++k)
        peak = std::max (peak, std::abs (errors[k]));

    // Crackle stands out from the programme's error on both sides; a sound that starts goes on. The
    // median of a peaky error lies below its mean (the envelope), hence the margin. The contrast asked
    // for follows the threshold only up to 26 dB: the onsets of speech and drums stand at most about 16
    // times above the error after them, crackle on voiced sound 25 to 35 times.
    return peak > ZGain::flushedProduct (*middle, std::min (thresholdRatio, afterContrastCeiling) * afterMargin);
}

void ZCrackleProcessor::smoothRegion (const float* w, const float* y, float* z, int m, float lambda)
{
    if (m < 5 || m > maxSmoothedRegion)
    {
        if (m > 0 && z != y)
            std::memmove (z, y, sizeof (float) * (size_t) m);

        return;
    }

    // Symmetric pentadiagonal system factored as U' D U, U unit upper with two bands.
    constexpr int capacity = maxSmoothedRegion + 2;
    std::array<double, capacity> pivot, upper1, upper2, g;
    const auto l = (double) lambda;

    for (int i = 0; i < m; ++i)
    {
        const auto edge = i == 0 || i == m - 1;
        const auto nextToEdge = i == 1 || i == m - 2;
        auto diagonal = (edge ? l : (nextToEdge ? 5.0 * l : 6.0 * l)) + (double) w[i];
        // A sample under weight 0 does not enter at all, so not even a NaN there spreads.
        auto rhs = w[i] == 0.0f ? 0.0 : (double) w[i] * (double) y[i];
        auto band1 = (i == 0 || i == m - 2) ? -2.0 * l : -4.0 * l;

        if (i >= 1)
        {
            diagonal -= pivot[i - 1] * upper1[i - 1] * upper1[i - 1];
            band1 -= pivot[i - 1] * upper1[i - 1] * upper2[i - 1];
            rhs -= pivot[i - 1] * upper1[i - 1] * g[i - 1];
        }

        if (i >= 2)
        {
            diagonal -= pivot[i - 2] * upper2[i - 2] * upper2[i - 2];
            rhs -= pivot[i - 2] * upper2[i - 2] * g[i - 2];
        }

        if (diagonal == 0.0)
            diagonal = 0.001;

        pivot[i] = diagonal;
        upper1[i] = i <= m - 2 ? band1 / diagonal : 0.0;
        upper2[i] = i <= m - 3 ? l / diagonal : 0.0;
        g[i] = rhs / diagonal;
    }

    double next1 = 0.0, next2 = 0.0;

    for (int i = m - 1; i >= 0; --i)
    {
        const auto value = g[i] - upper1[i] * next1 - upper2[i] * next2;
        z[i] = (float) value;
        next2 = next1;
        next1 = value;
    }
}

} // namespace vesk
