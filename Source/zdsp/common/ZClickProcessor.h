#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <array>
#include <memory>

namespace vesk
{

/** Removes clicks from one channel.

    A click is a run of samples whose magnitude exceeds the median of the surrounding block peaks by
    more than the threshold. Each run (at most 512 samples) is replaced by a time-reversed copy of the
    waveform just before it, faded in and out over 132 samples. The processor looks 6 blocks ahead and
    delays by 6N + 776 samples for block size N.

    The threshold never falls below an absolute floor, so that a sound after digital silence (median 0)
    is not taken for a click.
*/
class ZClickProcessor : private ZDSPObject
{
public:
    /** Largest block size accepted, in samples. */
    static constexpr int maxBlockSize = 1 << 20;

    /** Lowest detection level (linear, -40 dBFS): quieter samples are never flagged. */
    static constexpr float thresholdFloor = 0.01f;

    /** Throws vj_dsp_exception for a block size outside 1 .. maxBlockSize. */
    ZClickProcessor (int blockSize, float sampleRate);
    ~ZClickProcessor() override;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    static std::unique_ptr<ZClickProcessor> create (int blockSize, float sampleRate);

    /** Zeroes the history, the flags and the block peaks. */
    void reset();

    /** Detection ratio = 10^(dB / 20). */
    void setThresholdDb (float dB);

    float getThresholdRatio() const noexcept { return thresholdRatio; }

    /** 6N + 776 samples. */
    int getLatency() const noexcept { return (int) latency; }

    int getBlockSize() const noexcept { return blockSize; }

    /** Runs one block from in to out. The count should be the block size; it is cut to the block
        size and to the lengths of both buffers, so no call reads or writes past them.
    */
    void process (ZBuffer& in, ZBuffer& out, int count);

    /** Blocks of peaks kept for the median: the tested one and up to 6 on either side. */
    static constexpr int peakWindow = 13;

    /** Half width k of the median window at a rate (Hz): 1 to 6 blocks, 3 at 44.1 and 48 kHz. */
    static int medianHalfWidth (float sampleRate) noexcept;

    /** Hz; the owner may change it between blocks. */
    float sampleRate;

private:
    void slideWindow (int n);
    void processBlock (const float* input, float* output, int n);
    void repair (float* h, int c, int e) const noexcept;

    static constexpr int longestClick = 512;
    static constexpr int fadeLength = 132;

    int blockSize;
    float thresholdRatio = 1.0f;
    // Storage for a window of history and flags that slides on by a block per call.
    std::unique_ptr<ZBuffer> history;
    std::unique_ptr<ZBuffer> flags;
    int windowStart = 0;
    std::array<float, peakWindow> blockPeaks {};
    std::array<float, peakWindow> sortScratch {};
    unsigned latency;
    unsigned outputPosition = longestClick + fadeLength;
    int detectionPosition = 1420;
    int writePosition;
};

} // namespace vesk
