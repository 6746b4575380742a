#include "ZExpander.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vesk
{

namespace
{
constexpr float ceilingDb = 300.0f;
constexpr float floorPower = 1.0e-30f; // floorDb as a power

float limitedDb (double dB)
{
    if (std::isnan (dB))
        return ZExpander::floorDb;

    return (float) std::clamp (dB, (double) ZExpander::floorDb, (double) ceilingDb);
}
} // namespace

ZExpander::ZExpander()
{
    setName ("ZExpander");
}

float ZExpander::coefficient (float ms, float rate) noexcept
{
    const auto c = 1.0f - std::pow (0.37f, 1.0f / (ms * 0.001f * rate));

    // A time of 0 gives 1 (no smoothing); a negative or meaningless time must not make the envelope
    // diverge.
    return std::isnan (c) ? 1.0f : std::clamp (c, 0.0f, 1.0f);
}

void ZExpander::setSampleRate (float rate)
{
    sampleRate = rate;
    attackCoefficient = coefficient (attackMs, sampleRate);
    releaseCoefficient = coefficient (releaseMs, sampleRate);
}

void ZExpander::setAttackMs (float ms)
{
    attackMs = ms;
    attackCoefficient = coefficient (attackMs, sampleRate);
}

void ZExpander::setReleaseMs (float ms)
{
    releaseMs = ms;
    releaseCoefficient = coefficient (releaseMs, sampleRate);
}

void ZExpander::setThresholdDb (float dB)
{
    thresholdDb = limitedDb (dB);
    thresholdLinear = std::pow (10.0f, thresholdDb / 10.0f);
}

void ZExpander::setThreshold (float x)
{
    thresholdLinear = x;
    thresholdDb = limitedDb (20.0 * std::log10 ((double) x));
}

void ZExpander::reset()
{
    envelope = 1.0e-7f;
}

void ZExpander::process (ZBuffer* in, ZBuffer* out)
{
    if (!enabled.load (std::memory_order_relaxed))
    {
        out->copyFrom (*in);
        return;
    }

    const auto* x = in->getData();
    auto* y = out->getData();
    const auto count = std::min (in->getLength(), out->getLength());
    constexpr auto largestPower = std::numeric_limits<float>::max();

    for (int i = 0; i < count; ++i)
    {
        const auto sample = x[i];
        const auto power = std::min (sample * sample, largestPower);

        // A NaN or infinite sample passes through without poisoning the envelope, which would take
        // seconds to fall back from the largest power.
        if (std::isfinite (sample))
            envelope += (power - envelope) * (power > envelope ? attackCoefficient : releaseCoefficient);

        const auto ratio = thresholdLinear > envelope ? ratioBelow : ratioAbove;
        const auto level = 10.0f * std::log10 (std::max (envelope, floorPower));
        const auto gainDb = std::min (maxGainDb, (level - thresholdDb) * ratio + thresholdDb - level);

        y[i] = sample * std::pow (10.0f, gainDb * 0.05f);
    }
}

} // namespace vesk
