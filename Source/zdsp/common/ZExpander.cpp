#include "ZExpander.h"

#include "ZVectorKernels.h"

#include <algorithm>
#include <array>
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
    const vectorKernels::ExpanderCurve curve { thresholdLinear, ratioBelow, ratioAbove,
                                               thresholdDb,     maxGainDb,  floorPower };

    // The envelope follows sample by sample; the gains then go by whole vectors.
    constexpr int chunk = 256;
    std::array<float, chunk> envelopes;

    for (int start = 0; start < count; start += chunk)
    {
        const auto n = std::min (chunk, count - start);

        for (int i = 0; i < n; ++i)
        {
            const auto sample = x[start + i];
            const auto power = std::min (sample * sample, largestPower);

            // A NaN or infinite sample passes through without poisoning the envelope, which would take
            // seconds to fall back from the largest power.
            if (std::isfinite (sample))
                envelope += (power - envelope) * (power > envelope ? attackCoefficient : releaseCoefficient);

            envelopes[(size_t) i] = envelope;
        }

        vectorKernels::expanderGains (x + start, envelopes.data(), y + start, (std::size_t) n, curve);
    }
}

} // namespace vesk
