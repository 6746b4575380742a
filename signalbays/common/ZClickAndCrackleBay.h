#pragma once

#include "ZBuffer.h"
#include "ZClickProcessor.h"
#include "ZCrackleProcessor.h"
#include "ZDelayBuffer.h"
#include "ZLatencySwitch.h"

#include <juce_data_structures/juce_data_structures.h>

#include <array>
#include <memory>
#include <vector>

namespace vesk
{

/** The click and crackle removal chain: per channel a click processor, then in place a crackle
    processor, both thresholds driven by one amount.

    Beside the processed path each channel has a dry path that delays the input by the same latency, so
    that the enabled value switches between them without a repeated, dropped or shifted sample.

    Call prepare once before anything else. setAmount may run on the message thread while process runs
    on the audio thread; the rest is called while the audio is stopped.
*/
class ZClickAndCrackleBay
{
public:
    /** Most channels the switching state holds. */
    static constexpr int maxChannels = 2;

    /** The name is ignored. Throws vj_dsp_exception for a channel count outside 1 .. maxChannels. */
    ZClickAndCrackleBay (const char* name, int channels);
    virtual ~ZClickAndCrackleBay();

    ZClickAndCrackleBay (const ZClickAndCrackleBay&) = delete;
    ZClickAndCrackleBay& operator= (const ZClickAndCrackleBay&) = delete;

    /** Hz; passed to every existing processor for its next block. Nothing is rebuilt. */
    virtual void setSampleRate (float sampleRate);

    /** Stores the block size (samples) and prepares again. On failure the previous size is kept. */
    virtual void setBlockSize (int blockSize);

    /** Builds the processors and dry delays for the current block size and rate, settles the switching
        state in the current enabled state and resets. On failure nothing changes and the
        vj_dsp_exception propagates.
    */
    virtual bool prepare();

    /** Resets the processors and the dry delays; the switching state is left alone. */
    virtual void reset();

    /** One block of every channel; in and out are different buffer sets of at least getNumChannels()
        buffers. The count should be the block size; it is cut to the block size and to each channel's
        buffer lengths. Before the first prepare the outputs are cleared.
    */
    virtual void process (ZBuffer** in, ZBuffer** out, int count);

    /** process() in steps, so that the channels may run on threads of their own: beginBlock latches the
        thresholds and the enabled value (false, with the outputs cleared, before the first prepare),
        then processChannel for every channel, in any order and at the same time.
    */
    bool beginBlock (ZBuffer** out);
    void processChannel (int channel, ZBuffer& in, ZBuffer& out, int count);

    /** Every channel's processChannel, faster on one thread. */
    void processChannels (ZBuffer** in, ZBuffer** out, int count);

    /** Click threshold 27 (1 - x) + 3 dB, crackle threshold 20 (1 - x) + 10 dB. */
    void setAmount (float x);
    float getAmount() const noexcept { return amount; }

    /** Crackle latency plus click latency, in samples (4139 at block size 512). */
    int getLatency() const noexcept { return latency; }

    int getNumChannels() const noexcept { return channels; }
    float getSampleRate() const noexcept { return sampleRate; }
    int getBlockSize() const noexcept { return blockSize; }

    /** 1 runs the processed path, 0 the dry path; any other value leaves the output untouched. */
    juce::Value& getEnabledValue() noexcept { return *enabled; }
    /** dB, given to every crackle processor at every block. */
    juce::Value& getCrackleThresholdValue() noexcept { return *crackleThreshold; }
    /** dB, given to every click processor at every block. */
    juce::Value& getClickThresholdValue() noexcept { return *clickThreshold; }

    /** The switching state of one channel (read-only). */
    const ZLatencySwitch& getSwitch (int channel) const { return switches[(size_t) channel]; }

private:
    int channels;
    int latency = 0;
    std::array<ZLatencySwitch, maxChannels> switches;
    std::vector<std::unique_ptr<ZCrackleProcessor>> crackleProcessors;
    std::vector<std::unique_ptr<ZClickProcessor>> clickProcessors;
    std::vector<std::unique_ptr<ZDelayBuffer>> dryDelays;
    std::unique_ptr<juce::Value> enabled;
    std::unique_ptr<juce::Value> crackleThreshold;
    std::unique_ptr<juce::Value> clickThreshold;
    float sampleRate = 44100.0f;
    int blockSize = 512;
    float amount = 0.0f;
    float blockClickDb = 30.0f, blockCrackleDb = 30.0f;
    int blockEnabled = 1;
};

} // namespace vesk
