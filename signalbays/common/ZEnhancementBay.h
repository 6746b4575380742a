#pragma once

#include "ZBuffer.h"
#include "ZDelayBuffer.h"
#include "ZHandover.h"
#include "ZLatencySwitch.h"
#include "ZLinPhMultibandCompressor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vesk
{

/** The enhancer: a three-band linear-phase multiband compressor set up by one of seven presets, whose
    band thresholds follow one amount control, switched on and off by that amount with equal latency.

    Threads: setAmount, setPreset and setBand may run on the message thread while blocks run. The amount
    and its on/off state are one atomic value; band settings and presets are kept as a pending set that
    the audio thread takes over at the start of its next block, so a block never sees half a preset.
    prepare, setSampleRate, setBlockSize and reset run only while no block runs.
*/
class ZEnhancementBay
{
public:
    static constexpr int bandCount = 3;
    static constexpr int crossoverCount = bandCount - 1;
    static constexpr int maxChannels = (int) ZLinPhMultibandCompressor::maxChannels;
    static constexpr int presetCount = 7;

    /** The name is ignored. Throws vj_dsp_exception for a channel count other than 1 or 2. */
    ZEnhancementBay (const char* name, int channels);
    virtual ~ZEnhancementBay();

    ZEnhancementBay (const ZEnhancementBay&) = delete;
    ZEnhancementBay& operator= (const ZEnhancementBay&) = delete;

    /** Sample rate in Hz; rebuilds an existing compressor for it and resets. A rate that is not above 0
        is ignored.
    */
    virtual void setSampleRate (float sampleRate);

    /** Block size in samples (a power of two); prepares again. */
    virtual void setBlockSize (int blockSize);

    /** Builds the compressor and the dry delays for the current block size and rate and applies the
        current preset. On failure it throws and leaves the bay as it was.
    */
    virtual bool prepare();

    /** Clears the compressor's accumulators and levels and the dry delays; the switching state stays. */
    virtual void reset();

    /** One block of every channel; in and out are different buffer sets of count samples. Does nothing
        before prepare or for a count outside 1..block size.
    */
    virtual void process (ZBuffer** in, ZBuffer** out, int count);

    /** process() in steps, so that the channels may run on threads of their own: beginBlock (false when
        the block does nothing), every channel's analyseChannel, linkChannels once (the channels share
        their band gains), every channel's finishChannel, endBlock. Different channels' steps may overlap.
    */
    bool beginBlock (ZBuffer** in, ZBuffer** out, int count);
    void analyseChannel (int channel, ZBuffer* in);
    void linkChannels();
    void finishChannel (int channel, ZBuffer* in, ZBuffer* out);
    void endBlock();

private:
    /** What the message thread sets on the compressor's bands, handed over whole. */
    struct BandSettings
    {
        std::array<float, bandCount> ratio {}, range {}, makeup {}, attack {}, release {};
        std::array<float, bandCount> attackCoefficient {}, releaseCoefficient {};
        std::array<bool, bandCount> bypass {};
        std::array<float, crossoverCount> crossovers {};
        uint32_t resetGeneration = 0;
    };

public:
    /** What planBlock settles for one block whose analysis runs on another thread than its gains and
        synthesis: the switching plan, the settings taken over at its start, the compressor's slot.
    */
    struct BlockPlan
    {
        ZLatencySwitch::Block block;
        int count = 0;
        unsigned slot = 0;
        bool compressing = false, takesBands = false, resets = false, setsThreshold = false;
        float threshold = 0.0f;
        BandSettings bands;
    };

    /** process() in steps for blocks in flight on two threads, each with a plan of its own: planBlock
        in block order on the thread that brings the blocks (the settings are read there, as beginBlock
        reads them), every channel's analyseChannel on any thread, and, in block order on the bringing
        thread, linkChannels and every channel's finishChannel. While a block's gains and synthesis are
        pending, the next block may be planned and analysed in the other slot of the compressor, never
        one further. Gives the same output as beginBlock .. endBlock; false when the block does nothing.
    */
    bool planBlock (ZBuffer** in, ZBuffer** out, int count, unsigned slot, BlockPlan& plan);
    void analyseChannel (int channel, ZBuffer* in, const BlockPlan& plan);
    void linkChannels (const BlockPlan& plan);
    void finishChannel (int channel, ZBuffer* in, ZBuffer* out, const BlockPlan& plan);

    /** Chooses a preset (0..6); a number outside that range changes no band. Either way the next block
        starts afresh: compressor and dry delays reset, no switch in progress.
    */
    virtual void setPreset (int preset);
    virtual int getPreset();

    /** Sets one band: a crossover (Hz) other than 0 becomes the band's lower or upper crossover; then
        ratio, range (dB), makeup (dB), attack and release (s) and the bypass flag. Threshold and knee
        stay. A band number of 3 or more is ignored.
    */
    virtual void setBand (unsigned band, bool bypass, float lowerCrossover, float upperCrossover, float ratio,
                          float rangeDb, float makeupDb, float attackSeconds, float releaseSeconds);

    /** Amount 0..1: 0 switches the bay off, any other value on, with thresholds from -100 dB near 0 up to
        -16.5 dB at 1.
    */
    void setAmount (float amount);
    float getAmount() const noexcept;

    /** Samples of delay; equals the block size once prepared. */
    int getLatency() const noexcept { return latency; }

    /** The band threshold (dB) the amount gives. */
    static float thresholdForAmount (float amount) noexcept;

    /** The compressor, null before prepare. Between blocks only. */
    const ZLinPhMultibandCompressor* getCompressor() const noexcept { return compressor.get(); }
    /** The equal-latency switching state. Between blocks only. */
    const ZLatencySwitch& getSwitch() const noexcept { return latencySwitch; }
    int getNumChannels() const noexcept { return channels; }
    float getSampleRate() const noexcept { return sampleRate; }
    int getBlockSize() const noexcept { return blockSize; }

private:
    /** The amount and its on/off state, read together by the audio thread. */
    // Aligned to its size, so clang too loads and stores it with one instruction instead of calling libatomic.
    struct alignas (8) Control
    {
        float amount;
        int enabled;
    };

    void applyBand (BandSettings& settings, unsigned band, bool bypass, float lowerCrossover, float upperCrossover,
                    float ratio, float rangeDb, float makeupDb, float attackSeconds, float releaseSeconds) const;
    void applyPreset (BandSettings& settings, int preset) const;
    void prepareFor (int newBlockSize);
    void readBandsFromCompressor();
    void takePendingSettings();
    void applyBands (const BandSettings& settings);
    void runPaths (int channel, ZBuffer* in, ZBuffer* out, const ZLatencySwitch::Block& plan, bool compressesBlock,
                   int count, unsigned slot);

    int channels = 0;
    ZLatencySwitch latencySwitch;
    ZLatencySwitch::Block block;
    int blockCount = 0;
    bool compressing = false;
    int latency = 0;
    std::atomic<int> preset { 0 };
    std::unique_ptr<ZLinPhMultibandCompressor> compressor;
    std::vector<std::unique_ptr<ZDelayBuffer>> dryDelays;
    std::atomic<Control> control { Control { 0.0f, 1 } };
    float sampleRate = 44100.0f;
    int blockSize = 512;

    BandSettings messageBands;
    ZHandover<BandSettings> pendingBands;
    BandSettings audioBands;
    uint32_t appliedResetGeneration = 0;

    static_assert (std::atomic<Control>::is_always_lock_free, "the audio thread reads the amount lock-free");
};

} // namespace vesk
