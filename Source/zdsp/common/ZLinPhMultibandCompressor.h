#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <array>
#include <memory>

namespace vesk
{

/** A block-based multiband compressor that never splits the signal into band signals.

    Per block of N samples it measures every band's level from a Blackman-windowed power spectrum
    (2N-point transform, bins sr / 2N apart), gives each band a gain from a soft-knee curve with range
    and makeup, turns the piecewise gain curve over frequency into one linear-phase FIR filter of 2N taps
    and applies it to every channel by fast convolution (4N-point transforms) with overlap-add. All
    channels share the gains: the loudest channel decides. The latency is exactly one block.

    The band fields are plain data that the owner writes between blocks, on the thread that runs process;
    after changing a crossover it calls buildCrossoverWeights, and with a new attack or release time it
    stores the coefficient from timeCoefficient. Nothing here allocates after construction or reconfigure.
*/
class ZLinPhMultibandCompressor : private ZDSPObject
{
public:
    static constexpr unsigned maxChannels = 2;
    static constexpr unsigned maxBands = 8;
    static constexpr unsigned maxCrossovers = maxBands - 1;
    static constexpr int crossfadeLength = 512;

    /** Channels above 2 and bands above 8 are reduced to those. Throws vj_dsp_exception for no channel,
        no band, a block size that is not a power of two, or a sample rate (Hz) that is not above 0.
    */
    ZLinPhMultibandCompressor (unsigned channels, unsigned bands, int blockSize, float sampleRate);
    ~ZLinPhMultibandCompressor() override;

    using ZDSPObject::getName;

    static std::unique_ptr<ZLinPhMultibandCompressor> create (int channels, int bands, int blockSize, float sampleRate);

    /** Rebuilds every buffer, transform and transition curve for a new block size and sample rate (Hz),
        then resets; band settings, crossovers and the stored coefficients stay. Returns false and leaves
        the compressor as it was for a size or rate the constructor would refuse.
    */
    bool reconfigure (unsigned blockSize, float sampleRate);

    /** Zeroes the overlap accumulators and returns every channel's band levels to 0 dB, as after
        construction. From then on each level starts as the running mean of the blocks with sound, so
        that neither a reset nor the first block after construction overshoots or fades in.
    */
    void reset();

    /** Recomputes the bins of every band and the transition weights from the crossovers (Hz). Bins
        beyond the Nyquist bin are limited to it, so crossovers near or above half the rate are safe.
    */
    void buildCrossoverWeights();

    /** One block of every channel; in and out may be the same buffers. Count 0 does nothing. Returns
        false, touching nothing, for a count above the block size or buffers shorter than the count.
    */
    bool process (ZBuffer** in, ZBuffer** out, int count);

    /** Blocks whose analysis can wait for their gains and synthesis at once, each in a slot of its own. */
    static constexpr unsigned slots = 2;

    /** Band levels, gains and the filter spectrum for the block whose power spectra are in the slot. */
    void computeBandGains (unsigned slot = 0);

    /** process() in steps, so that channels may run on threads of their own: accepts checks the
        buffers as process does; then every channel's analyseChannel, computeBandGains once (it links
        the channels), and every channel's synthesizeChannel, all with the block's slot. Different
        channels' steps may overlap, and so may a block's analysis with the gains and synthesis of the
        block before in the other slot; the gains and syntheses run in the order of the blocks.
    */
    bool accepts (ZBuffer** in, ZBuffer** out, int count) const noexcept;
    void analyseChannel (unsigned channel, ZBuffer& in, int count, unsigned slot = 0);
    void synthesizeChannel (unsigned channel, ZBuffer& out, int count, unsigned slot = 0);

    /** 0.33 ^ (blockSize / (seconds * sampleRate)): the exponent in single precision, the power in
        double; a time of 0 gives 0.
    */
    static float timeCoefficient (int blockSize, float seconds, float sampleRate) noexcept;

    int getLatency() const noexcept { return latency; }
    int getBlockSize() const noexcept { return blockSize; }
    float getSampleRate() const noexcept { return sampleRate; }
    unsigned getNumChannels() const noexcept { return channels; }
    unsigned getNumBands() const noexcept { return bands; }
    unsigned getNumCrossovers() const noexcept { return bands - 1; }
    float getLevelScale() const noexcept { return levelScale; }

    /** Gain (dB) each band got in the last block. */
    float getBandGain (unsigned band) const noexcept { return bandGain[band]; }
    /** Largest smoothed channel level (dB) of each band in the last block. */
    float getBandLevel (unsigned band) const noexcept { return bandLevel[band]; }
    /** Smoothed level (dB) of one channel and band. */
    float getChannelLevel (unsigned channel, unsigned band) const noexcept { return channelLevel[channel][band]; }

    /** The flat region of a band, in bins of the 2N-point grid (inclusive). */
    unsigned getFirstBin (unsigned band) const noexcept { return firstBin[band]; }
    unsigned getLastBin (unsigned band) const noexcept { return lastBin[band]; }
    /** The first bin of a transition and its number of bins (0 when the bands touch). */
    unsigned getTransitionStart (unsigned crossover) const noexcept { return transitionStart[crossover]; }
    unsigned getTransitionLength (unsigned crossover) const noexcept { return transitionLength[crossover]; }
    /** The upper band's weight for the k-th bin of a transition. */
    float getTransitionWeight (unsigned crossover, unsigned k) const noexcept;
    /** The raised-cosine curve the transition weights are taken from, rising from about 0 to 1. */
    const std::array<float, crossfadeLength>& getCrossfadeCurve() const noexcept { return crossfade; }

    /** The filter spectrum of the last block on the 4N-point grid (2N + 1 bins each). */
    const ZBuffer& getFilterRe() const noexcept;
    const ZBuffer& getFilterIm() const noexcept;

    //==============================================================================
    // Band settings, written by the owner between blocks.

    /** Threshold (dB), default -20. */
    std::array<float, maxBands> threshold {};
    /** Ratio, default 3; below 1 the band is raised above the threshold. */
    std::array<float, maxBands> ratio {};
    /** Largest gain change (dB), default 18. */
    std::array<float, maxBands> range {};
    /** Makeup gain (dB), default 0. */
    std::array<float, maxBands> makeup {};
    /** Attack and release times (s), defaults 0.05 and 0.2, and their per-block coefficients. */
    std::array<float, maxBands> attack {}, release {};
    std::array<float, maxBands> attackCoefficient {}, releaseCoefficient {};
    /** Half-width of the soft knee (dB), default 2; 0 is a hard knee, other values below 0.01 act as 0.01. */
    std::array<float, maxBands> knee {};
    /** Crossover frequencies (Hz) between band i and i + 1. */
    std::array<float, maxCrossovers> crossovers {};
    /** With any band soloed, every other band gets -200 dB. */
    std::array<bool, maxBands> solo {};
    /** A bypassed band gets 0 dB. */
    std::array<bool, maxBands> bypass {};

private:
    struct Storage;

    static bool isUsableSize (long long size, float rate) noexcept;
    void deriveSizes();
    /** The filter (2N + 1 bins) of the given linear band gains. */
    void designFilter (const float* linear, ZBuffer& outRe, ZBuffer& outIm);
    std::unique_ptr<Storage> makeStorage() const;
    void useStorage (std::unique_ptr<Storage> newStorage);

    unsigned channels = 0;
    float sampleRate = 0.0f;
    int order = 0;
    unsigned analysisSize = 0;
    unsigned convolutionSize = 0;
    int blockSize = 0;
    int latency = 0;
    unsigned bands = 0;
    float binsPerHertz = 0.0f;
    float hertzPerBin = 0.0f;
    float levelScale = 0.0f;

    std::array<float, maxBands> bandGain {};
    std::array<float, maxBands> bandLevel {};
    std::array<std::array<float, maxBands>, maxChannels> channelLevel {};
    /** Blocks with sound each channel level has taken in since the reset, up to levelStartBlocks. */
    std::array<std::array<unsigned, maxBands>, maxChannels> levelBlocks {};
    static constexpr unsigned levelStartBlocks = 1u << 20;
    std::array<unsigned, maxBands> firstBin {}, lastBin {};
    std::array<unsigned, maxCrossovers> transitionStart {}, transitionLength {};
    std::array<float, crossfadeLength> crossfade {};

    std::unique_ptr<Storage> storage;
};

} // namespace vesk
