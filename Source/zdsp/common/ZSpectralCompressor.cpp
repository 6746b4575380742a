#include "ZSpectralCompressor.h"

#include "ZVectorKernels.h"

#include <algorithm>
#include <cmath>

namespace vesk
{

namespace
{
// Added to a power before its logarithm, as the kernels' decibel conversion does.
constexpr float powerOffset = 1e-20f;
} // namespace

ZSpectralCompressor::ZSpectralCompressor()
{
    setName ("ZSpectralCompressor");
}

std::unique_ptr<ZSpectralCompressor> ZSpectralCompressor::create (unsigned binCount, float rate)
{
    auto gate = std::make_unique<ZSpectralCompressor>();
    gate->initialize (binCount, rate);
    return gate;
}

float ZSpectralCompressor::levelCoefficient (unsigned binCount, float seconds, float rate) noexcept
{
    const auto hop = (binCount - 1) / 2;
    const auto exponent = (float) hop / (seconds * rate);
    return (float) std::pow (0.33, (double) exponent);
}

void ZSpectralCompressor::initialize (unsigned binCount, float rate)
{
    bins = binCount;
    levelAttackTime = 0.001f;
    levelReleaseTime = 0.005f;
    levelFloorDb = 0.0f;
    levelRangeDb = 6.0f;
    track = true;
    setSampleRate (rate);

    kernels = ZGain::create (false);
    smoother = ZSpectralSmoother::create (6);

    const auto length = (int) binCount;
    attack = std::make_unique<ZBuffer> (length, "Attack");
    release = std::make_unique<ZBuffer> (length, "Release");
    std::fill_n (attack->getData(), length, 1.0f);
    std::fill_n (release->getData(), length, 0.9f);
    outDelay = std::make_unique<ZBuffer> (length, "mOutDelay");
    spectralPower = std::make_unique<ZBuffer> (length, "mSpectralPower");
    spectralGain = std::make_unique<ZBuffer> (length, "mSpectralGain");
    thresholds = std::make_unique<ZBuffer> (length, "mThresholds");
    rampScratch = std::make_unique<ZBuffer> (length, "mRampScratch");

    // A neutral curve until buildGainCurve runs.
    gainCurve = std::make_unique<ZBuffer> (curveSize, "ZBuffer");
    std::fill_n (gainCurve->getData(), curveSize, 1.0f);

    lowerBound = 0.0f;
    upperBound = 48000.0f;
}

void ZSpectralCompressor::setRamp (ZBuffer* weights, float first, float last)
{
    // Built aside and copied in one pass, so the audio thread only ever sees old or final weights.
    std::fill_n (rampScratch->getData(), rampScratch->getLength(), 1.0f);
    kernels->scaleRamp (rampScratch.get(), first, last);
    std::copy_n (rampScratch->getData(), weights->getLength(), weights->getData());
}

void ZSpectralCompressor::setAttackRamp (float first, float last)
{
    setRamp (attack.get(), first, last);
}

void ZSpectralCompressor::setReleaseRamp (float first, float last)
{
    setRamp (release.get(), 1.0f - first, 1.0f - last);
}

void ZSpectralCompressor::buildGainCurve (float depthDb, float slopeDb)
{
    auto* curve = gainCurve->getData();
    const auto floorGain = (float) std::pow (10.0, (double) (-depthDb / 20.0f));

    // Written in place, entry by entry: a concurrent process reads old or new gains.
    for (int i = 0; i < 128; ++i)
        curve[i] = floorGain;

    int j = 0;

    if (depthDb > 0.0f)
    {
        for (; 128 + j <= 255; ++j)
        {
            const auto u = -depthDb + (float) j * slopeDb;

            if (u >= 0.0f)
                break;

            curve[128 + j] = (float) std::pow (10.0, (double) (u / 20.0f));
        }
    }

    for (int i = 128 + j; i < curveSize; ++i)
        curve[i] = 1.0f;
}

void ZSpectralCompressor::setThresholds (ZBuffer* profile)
{
    std::copy_n (profile->getData(), std::min ((int) bins, profile->getLength()), thresholds->getData());
}

void ZSpectralCompressor::fillThresholds (float dB)
{
    std::fill_n (thresholds->getData(), thresholds->getLength(), dB);
}

void ZSpectralCompressor::setSampleRate (float rate)
{
    sampleRate = rate;
    levelAttackCoefficient = levelCoefficient (bins, levelAttackTime, rate);
    levelReleaseCoefficient = levelCoefficient (bins, levelReleaseTime, rate);
}

void ZSpectralCompressor::setLevelAttack (float seconds)
{
    levelAttackTime = seconds;
    levelAttackCoefficient = levelCoefficient (bins, seconds, sampleRate);
}

void ZSpectralCompressor::setLevelRelease (float seconds)
{
    levelReleaseTime = seconds;
    levelReleaseCoefficient = levelCoefficient (bins, seconds, sampleRate);
}

void ZSpectralCompressor::setFrequencyRange (float upper, float lower)
{
    upperBound = upper;
    lowerBound = lower;
}

int ZSpectralCompressor::curveIndex (float differenceDb) noexcept
{
    if (std::isnan (differenceDb))
        return 0;

    const auto index = std::trunc (differenceDb) + 128.0f;
    return (int) std::clamp (index, 0.0f, (float) (curveSize - 1));
}

float ZSpectralCompressor::trackWeight (float levelDb, float floorDb, float rangeDb) noexcept
{
    if (!(rangeDb > 0.0f))
        return levelDb >= floorDb ? 1.0f : 0.0f;

    const auto t = (levelDb - floorDb) / rangeDb;
    return std::isnan (t) ? 0.0f : std::clamp (t, 0.0f, 1.0f);
}

void ZSpectralCompressor::computeRawGains (ZBuffer* re, ZBuffer* im, bool noiseOnly)
{
    const auto n = (int) bins;
    auto* power = spectralPower->getData();
    const auto* r = re->getData();
    const auto* m = im->getData();
    auto* smoothed = outDelay->getData();
    const auto* a = attack->getData();
    const auto* rel = release->getData();

    // The bounds are reset on every call: every bin up to 384 kHz is gated.
    lowerBound = 0.0f;
    upperBound = 384000.0f;

    const auto binStep = (float) ((double) sampleRate * 0.5 / (double) bins);
    const auto* curve = gainCurve->getData();
    const auto* threshold = thresholds->getData();

    // Bins are at or above 0 Hz and rise with k, so the top bin tells whether every bin is inside.
    const auto topFrequency = (float) (n - 1) * binStep;
    const auto everyBinInside = binStep >= 0.0f && !(topFrequency > upperBound) && lowerBound <= 0.0f;

    const auto updateLevel = [&] (float total)
    {
        if (!noiseOnly)
        {
            const auto c = total > level ? levelAttackCoefficient : levelReleaseCoefficient;
            level = total * (1.0f - c) + level * c;
        }
    };

    if (everyBinInside)
    {
        // Power, smoothing and the decibels' curve look-up in one pass, the smoothing kept aside (in the
        // gain buffer, which the smoother fills afresh below) until the frame's total has been seen.
        auto* candidate = spectralGain->getData();
        const vectorKernels::GateFrame frame {
            r, m, a, rel, smoothed, candidate, powerOffset, threshold, thresholdOffset, curve, noiseOnly, power
        };
        const auto total = vectorKernels::gateGains (frame, (std::size_t) n);
        lastSpectrumFinite = std::isfinite (total);

        // A frame holding a non-finite or overflowing sample gates by the state so far and leaves it
        // alone: one bad sample would otherwise stay in the smoothed power and the level for good.
        if (std::isfinite (total))
        {
            std::copy_n (candidate, n, smoothed);
            updateLevel (total);
        }
        else
        {
            vectorKernels::decibelCurveGains (smoothed, powerOffset, threshold, thresholdOffset, curve, noiseOnly,
                                              power, (std::size_t) n);
        }

        smoother->smoothUpper (spectralPower.get(), spectralGain.get());
        return;
    }

    vectorKernels::squaredMagnitude (r, m, power, (std::size_t) n);

    // Summed in bin order, as the level has always been.
    float total = 0.0f;

    for (int k = 0; k < n; ++k)
        total += power[k];

    lastSpectrumFinite = std::isfinite (total);

    if (std::isfinite (total))
    {
        vectorKernels::recursiveSmooth (power, a, rel, smoothed, (std::size_t) n);
        updateLevel (total);
    }

    {
        spectralPower->copyFrom (*outDelay);
        kernels->powerToDecibels (spectralPower.get());

        for (int k = 0; k < n; ++k)
        {
            const auto f = (float) k * binStep;
            const auto inside = !(f < lowerBound || f > upperBound);

            if (!inside)
            {
                power[k] = noiseOnly ? 0.0f : 1.0f;
                continue;
            }

            const auto gain = curve[curveIndex (power[k] - (thresholdOffset + threshold[k]))];
            power[k] = noiseOnly ? 1.0f - gain : gain;
        }
    }

    smoother->smoothUpper (spectralPower.get(), spectralGain.get());
}

void ZSpectralCompressor::process (ZBuffer* re, ZBuffer* im, ZBuffer* outRe, ZBuffer* outIm)
{
    computeRawGains (re, im, false);

    if (track)
    {
        const auto levelDb = level > 0.0f ? (float) (10.0 * std::log10 ((double) level)) : -1000.0f;
        const auto t = trackWeight (levelDb, levelFloorDb, levelRangeDb);
        const auto t2 = t * t;
        vectorKernels::blend (spectralGain->getData(), bins, 1.0f - t2, t2);
    }

    kernels->multiplyTo (spectralGain.get(), re, outRe);
    kernels->multiplyTo (spectralGain.get(), im, outIm);
}

void ZSpectralCompressor::processNoiseOnly (ZBuffer* re, ZBuffer* im, ZBuffer* outRe, ZBuffer* outIm)
{
    computeRawGains (re, im, true);
    kernels->multiplyTo (spectralGain.get(), re, outRe);
    kernels->multiplyTo (spectralGain.get(), im, outIm);
}

void ZSpectralCompressor::reset()
{
    outDelay->clear();
    level = 0.0f;
}

} // namespace vesk
