#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <atomic>

namespace vesk
{

/** A sample-by-sample downward expander on a smoothed power envelope.

    Per sample: envelope += (x^2 - envelope) * (attack or release coefficient); the ratio is the
    ratio below while the linear threshold exceeds the envelope, else the ratio above; the gain in dB is
    min (max gain, (E - threshold dB) * ratio + threshold dB - E) with E the envelope in dB.

    Levels are floored at -300 dB, so that silence, an envelope that has decayed to zero or a threshold
    of 0 still give a finite gain.
*/
class ZExpander : private ZDSPObject
{
public:
    /** The lowest level (dB) the gain computation works with. */
    static constexpr float floorDb = -300.0f;

    ZExpander();
    ~ZExpander() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** Stores the rate (Hz) and recomputes both coefficients. */
    virtual void setSampleRate (float sampleRate);
    /** Threshold dB := dB; linear threshold := 10^(dB / 10), a power. */
    virtual void setThresholdDb (float dB);
    /** Linear threshold := x, as given; threshold dB := 20 log10 (x). */
    virtual void setThreshold (float x);
    virtual float getThresholdDb() { return thresholdDb; }
    virtual float getThreshold() { return thresholdLinear; }
    virtual void setRatioBelow (float ratio) { ratioBelow = ratio; }
    virtual float getRatioBelow() { return ratioBelow; }
    virtual void setRatioAbove (float ratio) { ratioAbove = ratio; }
    virtual float getRatioAbove() { return ratioAbove; }
    /** Attack time in ms: the envelope covers 63 % of a rising step in that time. */
    virtual void setAttackMs (float ms);
    virtual float getAttackMs() { return attackMs; }
    /** Release time in ms. */
    virtual void setReleaseMs (float ms);
    virtual float getReleaseMs() { return releaseMs; }
    virtual int getLatency() { return 0; }
    /** Upper limit of the gain, in dB. */
    virtual void setMaxGainDb (float dB) { maxGainDb = dB; }
    /** Processes the whole of in (at most out's length) into out; out may be in. */
    virtual void process (ZBuffer* in, ZBuffer* out);
    /** Envelope := 1e-7. */
    virtual void reset();

    /** 1 - 0.37^(1 / (ms * 0.001 * rate)), limited to 0 .. 1. */
    static float coefficient (float ms, float sampleRate) noexcept;

    /** Processing on; written by the owner from any thread, read once per block. */
    std::atomic<bool> enabled { false };

    float getAttackCoefficient() const noexcept { return attackCoefficient; }
    float getReleaseCoefficient() const noexcept { return releaseCoefficient; }

private:
    float thresholdDb = -96.0f;
    float thresholdLinear = 1.5849e-5f;
    float ratioBelow = 1.0f;
    float ratioAbove = 1.0f;
    float attackMs = 5.0f;
    float releaseMs = 50.0f;
    float attackCoefficient = 0.0045f;
    float releaseCoefficient = 0.00045f;
    float envelope = 0.0f;
    float sampleRate = 44100.0f;
    float maxGainDb = 3.0f;
};

} // namespace vesk
