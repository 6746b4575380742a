#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"
#include "ZSpectralSmoother.h"

#include <memory>

namespace vesk
{

/** The spectral gate: compares the smoothed power of every bin with a per-bin threshold in dB plus a
    common offset, maps the difference through a 256-entry gain curve (one entry per dB, entry 128 for
    a power within 1 dB of the threshold), smooths the gains across bins and applies them.

    With level tracking on, the gains blend towards unity as the smoothed total level rises from the
    level floor through the level range (both dB). Until buildGainCurve runs the curve is neutral.
*/
class ZSpectralCompressor : private ZDSPObject
{
public:
    static constexpr int curveSize = 256;

    ZSpectralCompressor();
    ~ZSpectralCompressor() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZSpectralCompressor> create (unsigned bins, float sampleRate);

    virtual void initialize (unsigned bins, float sampleRate);

    /** Attack weight per bin, ramped from first (bin 0) to last (last bin). */
    virtual void setAttackRamp (float first, float last);
    /** Release weight per bin, ramped from 1 - first to 1 - last. */
    virtual void setReleaseRamp (float first, float last);
    virtual void update() {}
    /** Rewrites the gain curve in place for a depth and a slope above the threshold, both dB. */
    virtual void buildGainCurve (float depthDb, float slopeDb);
    /** Copies the first min (bins, profile length) values as thresholds (dB). */
    virtual void setThresholds (ZBuffer* profile);
    virtual void fillThresholds (float dB);
    virtual void setThresholdOffset (float dB) { thresholdOffset = dB; }
    virtual ZBuffer* getThresholds() { return thresholds.get(); }
    virtual float getThresholdOffset() { return thresholdOffset; }
    /** Stores the rate (Hz) and recomputes both level coefficients. */
    virtual void setSampleRate (float sampleRate);
    virtual void setTrack (bool shouldTrack) { track = shouldTrack; }
    virtual bool getTrack() { return track; }
    virtual void setLevelFloorDb (float dB) { levelFloorDb = dB; }
    virtual void setLevelRangeDb (float dB) { levelRangeDb = dB; }
    /** Level attack time in seconds. */
    virtual void setLevelAttack (float seconds);
    /** Level release time in seconds. */
    virtual void setLevelRelease (float seconds);
    /** Stores the bounds (Hz); the gating resets them to 0..384000 Hz on every call. */
    virtual void setFrequencyRange (float upper, float lower);
    /** Gates one spectrum; outputs may be the inputs. */
    virtual void process (ZBuffer* re, ZBuffer* im, ZBuffer* outRe, ZBuffer* outIm);
    /** Keeps only what process would remove (before the level blend). */
    virtual void processNoiseOnly (ZBuffer* re, ZBuffer* im, ZBuffer* outRe, ZBuffer* outIm);
    /** Clears the smoothed power and the level. */
    virtual void reset();

    /** Index into the gain curve for a level difference in dB: truncated, plus 128, limited to
        0..255 before conversion; NaN maps to entry 0.
    */
    static int curveIndex (float differenceDb) noexcept;

    /** The level-tracking weight for a level (dB), limited to 0..1; a range not above 0 is a step. */
    static float trackWeight (float levelDb, float floorDb, float rangeDb) noexcept;

    /** 0.33 ^ (hop / (seconds * rate)), hop = (bins - 1) / 2. */
    static float levelCoefficient (unsigned bins, float seconds, float sampleRate) noexcept;

    ZBuffer* getGainCurve() noexcept { return gainCurve.get(); }
    ZBuffer* getSpectralGain() noexcept { return spectralGain.get(); }
    ZBuffer* getAttack() noexcept { return attack.get(); }
    ZBuffer* getRelease() noexcept { return release.get(); }
    float getLevel() const noexcept { return level; }
    /** True when the spectrum last gated held finite values only (its power summed to a finite total),
        and so did its gated copy.
    */
    bool gatedFiniteSpectrum() const noexcept { return lastSpectrumFinite; }
    float getLevelAttackCoefficient() const noexcept { return levelAttackCoefficient; }
    float getLevelReleaseCoefficient() const noexcept { return levelReleaseCoefficient; }
    float getLowerFrequencyBound() const noexcept { return lowerBound; }
    float getUpperFrequencyBound() const noexcept { return upperBound; }

private:
    void computeRawGains (ZBuffer* re, ZBuffer* im, bool noiseOnly);
    void setRamp (ZBuffer* weights, float first, float last);

    unsigned bins = 0;
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZSpectralSmoother> smoother;
    std::unique_ptr<ZBuffer> outDelay, attack, release, spectralPower, spectralGain, gainCurve, thresholds, rampScratch;
    float thresholdOffset = 0.0f;
    float lowerBound = 0.0f, upperBound = 48000.0f;
    float sampleRate = 0.0f;
    float level = 0.0f;
    float levelAttackTime = 0.001f, levelReleaseTime = 0.005f;
    float levelAttackCoefficient = 0.0f, levelReleaseCoefficient = 0.0f;
    float levelFloorDb = 0.0f, levelRangeDb = 6.0f;
    bool track = true;
    bool lastSpectrumFinite = true;
};

} // namespace vesk
