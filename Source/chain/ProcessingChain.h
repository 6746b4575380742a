#pragma once

#include "ChannelWorker.h"
#include "LearnRegion.h"
#include "MeterData.h"
#include "ProcessorParameter.h"
#include "SampleFifo.h"
#include "SpectrumColumnSink.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_events/juce_events.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>

#include "ZEnhancementBay.h"
#include "ZNoiseReductionBay.h"

namespace vesk
{
class ZBuffer;
class ZClickAndCrackleBay;
class ZDeclipping;
class ZDelayBuffer;
class ZEnhancementBay;
class ZExpander;
class ZMaximizer;
class ZNoiseAnalyzer;
class ZNoiseReductionBay;
} // namespace vesk

/** The whole restoration chain, without any audio-processor framework around it.

    Host buffers of any size are queued per channel and run through the chain in fixed blocks of 512
    samples: declipper per channel, click and crackle bay, noise-reduction bay, downward expander per
    channel, enhancement bay, maximizer per channel. The output is taken from a second queue primed with
    one host block (at least 512 samples) of silence and clamped to [-1, 1]; it is the input delayed by
    getLatencySamples(), also while bypassed.

    Parameters cross this interface normalised to 0..1 and are never stored here: every read-back comes
    from the DSP object that holds the value. Changes are announced as change messages on the announcer.
*/
class ProcessingChain : public juce::ActionListener
{
public:
    static constexpr int numParameters = ProcessorParameter::count;
    static constexpr int numChannels = 2;
    static constexpr int chainBlockSize = 512;

    enum Parameter
    {
        clickCrackleDetection = 0,
        enhance,
        tunerBroadbandNR,
        amountBroadbandNR,
        preserveVoice,
        removeRumble,
        humRemoval,
        noiseReductionMode,
        boostVolume,
        declipper,
        track,
        bypassParameter,
        numHumHarmonics,
        rumbleFreq,
        lowPassFreq,
        broadbandLimitLow,
        broadbandLimitHigh,
        enhancePreset,
        dexpThreshold,
        dexpAmount
    };

    /** The audio processor that presents the chain to its callers, told at once, on the calling thread. */
    class Host
    {
    public:
        virtual ~Host() = default;

        /** setPlayConfig set a new play configuration (sample rate in Hz, block size in samples). */
        virtual void playConfigChanged (int inputChannels, int outputChannels, double sampleRate, int blockSize) = 0;

        /** prepare set the latency, in samples. */
        virtual void latencyChanged (int samples) = 0;

        /** A new noise-reduction mode brought a parameter's value (normalised) that is written again, as if
            from outside: the host writes it through its own parameter path.
        */
        virtual void restateParameter (int index, float value) = 0;
    };

    /** A chain announcing on a broadcaster of its own, with no host. */
    ProcessingChain();

    /** announcer carries the change messages and outlives the chain; host, if not null, too. */
    ProcessingChain (juce::ChangeBroadcaster& announcer, Host* host);

    ~ProcessingChain() override;

    //==============================================================================
    /** Primes every stage for sampleRate (Hz) and host blocks of up to blockSize samples; announces a change. */
    void prepare (double sampleRate, int blockSize);

    /** Empties the queues and brings every stage back to its primed state; announces nothing. */
    void reset();

    /** Sets the play configuration that process (buffer, count) uses: channel counts, sample rate (Hz) and
        host block size (samples). From construction: 2 in, 2 out, 44100 Hz, 4096.
    */
    void setPlayConfig (int inputChannels, int outputChannels, double sampleRate, int blockSize);

    int getNumInputChannels() const noexcept { return numInputChannels; }
    int getNumOutputChannels() const noexcept { return numOutputChannels; }
    double getSampleRate() const noexcept { return playSampleRate; }
    int getBlockSize() const noexcept { return playBlockSize; }

    /** The delay from input to output, in samples, since construction or the last prepare. */
    int getLatencySamples() const noexcept { return latencySamples; }

    /** Processes the first count samples of the buffer (limited to its length) with the play configuration's
        channels; output channels past the processed ones are cleared over the whole buffer.
    */
    void process (juce::AudioBuffer<float>& buffer, int count);

    /** As process (buffer, count), with the given channel counts instead of the play configuration's. */
    void process (juce::AudioBuffer<float>& buffer, int count, int inputChannels, int outputChannels);

    //==============================================================================
    const juce::String getParameterName (int index) const;
    float getParameterDefaultValue (int index) const;
    /** The normalised value, read back from the DSP object holding it; 0 for an index out of range. */
    float getParameter (int index);
    /** Brings value into 0..1 and hands it to the DSP objects; an index out of range only announces. */
    void setParameter (int index, float value);
    const juce::String getParameterText (int index);

    /** Writes the state blob: parameters with a state key and both noise profiles. */
    void getState (juce::MemoryBlock& destData);

    /** Restores a state blob: parameters 0 to 10 (a missing or unreadable value counts as 0) and, when the
        first two child elements read whole, both noise profiles. A block that is not a readable blob
        changes nothing and gives false.
    */
    bool restoreState (const void* data, int sizeInBytes);

    /** Factory settings: parameters 0 to 10, the noise profiles, the expanders and maximizers, the learn
        region; bypass, the expander ratio, the filter corners and the broadband limits are kept.
    */
    void resetToDefaults();

    /** The answers to the noise-reduction bay's messages. */
    void actionListenerCallback (const juce::String& message) override;

    /** The latency, in samples, that prepare (sampleRate, hostBlockSize) will set; sampleRate in Hz, above 0.
        Lets the player delay the video before playback starts.
    */
    int getLatencyFor (double sampleRate, int hostBlockSize) const;

    /** Hands channel 0 of the buffer to the noise analyzer, one hop of its hop size per call. */
    void feedNoiseAnalyzer (const juce::AudioBuffer<float>& buffer);
    void finishNoiseAnalysis();

    /** While one lives, the chain runs on two threads as a pipeline, when the driving thread may use two
        cores: the declipper and the click and crackle bay of a block on the driving thread while a second
        thread runs the noise reduction and expanders of the blocks before, whose enhancement and maximizers
        the driving thread runs when a host call needs their output. For offline passes (export, batch,
        learning from the file), whose caller waits for the whole result; playback stays on one thread. The
        output is the same to the bit. Made and destroyed on the thread that drives the chain, between
        calls; its end finishes the blocks still on the second thread.
    */
    class OfflineProcessing
    {
    public:
        explicit OfflineProcessing (ProcessingChain& chainToUse);
        ~OfflineProcessing();

        OfflineProcessing (const OfflineProcessing&) = delete;
        OfflineProcessing& operator= (const OfflineProcessing&) = delete;

    private:
        ProcessingChain& chain;
    };

    /** The column step that runs after every chain block, or null for none. Replacing or clearing it
        returns only once no column step of the previous one is still running, so the previous one may be
        destroyed right after.
    */
    void setWashWindow (SpectrumColumnSink* washWindow);

    /** Where the change messages go. */
    juce::ChangeBroadcaster& getAnnouncer() noexcept { return announcer; }

    //==============================================================================
    vesk::ZNoiseReductionBay& getNoiseReductionBay() noexcept { return *noiseReductionBay; }
    vesk::ZEnhancementBay& getEnhancementBay() noexcept { return *enhancementBay; }
    vesk::ZClickAndCrackleBay& getClickAndCrackleBay() noexcept { return *clickAndCrackleBay; }
    vesk::ZDeclipping& getDeclipper (int channel = 0) noexcept { return *declippers[(size_t) channel]; }
    vesk::ZMaximizer& getMaximizer (int channel = 0) noexcept { return *maximizers[(size_t) channel]; }
    vesk::ZExpander& getExpander (int channel = 0) noexcept { return *expanders[(size_t) channel]; }
    vesk::ZNoiseAnalyzer& getNoiseAnalyzer() noexcept { return *noiseAnalyzer; }
    LearnRegion& getLearnRegion() noexcept { return learnRegion; }
    MeterData& getOutputMeter() noexcept { return *outputMeter; }
    bool isBypassed() const noexcept { return bypass.load (std::memory_order_relaxed); }
    /** Chain blocks run on two threads since construction. */
    int64_t getBlocksOnTwoThreads() const noexcept { return blocksOnTwoThreads; }

private:
    using BufferSet = std::array<vesk::ZBuffer*, numChannels>;

    void processChunk (juce::AudioBuffer<float>& buffer, int offset, int count, int channels);
    void runChainBlocks (int channels);
    void runChainBlock (int channels);
    void runChainSteps (int channels);
    void catchUpAfterBypass (int channels);
    bool decidePipeline();
    void runPipelinedSteps (int channels);
    struct LaterBlock;
    void runLaterSteps (LaterBlock& block);
    void finishOldestBlock();
    void finishBlockInFlight();
    void beginOfflinePass();
    void endOfflinePass();
    /** announcer null: the chain's own broadcaster. */
    ProcessingChain (juce::ChangeBroadcaster* announcer, Host* host);

    void runChannelFront (int channel, bool active);
    void runChannelBack (int channel, bool active, const BufferSet& a, const BufferSet& b);
    void runChannelEnd (int channel, bool active, const BufferSet& a, const BufferSet& b, bool limit = true);
    void runColumnStep();
    int getChainLatency() const;
    /** The value of a parameter as the DSP object holding it has it, in the table's unit. */
    float getParameterValue (int index);
    void resizeQueues (int hostBlockSize);

    juce::ChangeBroadcaster ownAnnouncer;
    juce::ChangeBroadcaster& announcer;
    Host* host = nullptr;

    std::unique_ptr<vesk::ZNoiseReductionBay> noiseReductionBay;
    std::unique_ptr<vesk::ZEnhancementBay> enhancementBay;
    std::unique_ptr<vesk::ZClickAndCrackleBay> clickAndCrackleBay;
    std::array<std::unique_ptr<vesk::ZMaximizer>, numChannels> maximizers;
    std::array<std::unique_ptr<vesk::ZExpander>, numChannels> expanders;
    std::array<std::unique_ptr<vesk::ZDeclipping>, numChannels> declippers;
    std::unique_ptr<vesk::ZNoiseAnalyzer> noiseAnalyzer;

    std::atomic<SpectrumColumnSink*> washWindow { nullptr };
    std::atomic<int> columnStepsRunning { 0 };

    std::array<std::unique_ptr<SampleFifo>, numChannels> inputQueues, outputQueues;
    // The input delayed by the chain's latency, handed out instead of the processed block while bypassed.
    std::array<std::unique_ptr<vesk::ZDelayBuffer>, numChannels> dryDelays;
    std::atomic<bool> bypass { false };
    LearnRegion learnRegion;
    std::unique_ptr<MeterData> outputMeter;
    std::array<std::unique_ptr<vesk::ZBuffer>, numChannels> blockBuffersA, blockBuffersB;
    BufferSet blocksA {}, blocksB {};
    int chainLatency = 0;
    int latencySamples = 0;
    int numInputChannels = numChannels, numOutputChannels = numChannels;
    double playSampleRate = 44100.0;
    int playBlockSize = 4096;
    // The second thread of offline passes, made with the first of them and kept for the next.
    std::unique_ptr<ChannelWorker> channelWorker;
    int offlinePasses = 0;
    bool workerRunning = false;
    // The blocks on the second thread, oldest first, each with its buffers, channel count and settings:
    // up to four, so that blocks whose later stages take long (those with noise-reduction frames) and
    // light ones even out when a host call brings several.
    struct LaterBlock
    {
        ProcessingChain* chain = nullptr;
        std::array<std::unique_ptr<vesk::ZBuffer>, numChannels> buffersA, buffersB;
        BufferSet a {}, b {};
        int channels = 0;
        vesk::ZNoiseReductionBay::BlockSettings noiseSettings;
        vesk::ZEnhancementBay::BlockPlan enhancerPlan;
        unsigned slot = 0;
        uint64_t ticket = 0;
        std::chrono::steady_clock::duration workTime {};
    };

    std::array<LaterBlock, 4> laterBlocks;
    int oldestLater = 0, blocksInFlight = 0;
    int64_t blocksOnTwoThreads = 0;
    int blocksMeasured = 0, soloBlocksLeft = 0;
    // This thread's waits for the second one, and that one's processor time for the later stages.
    std::chrono::steady_clock::duration waitTime {}, laterWorkTime {};
    bool clickBlock = false, noiseBlock = false, enhanceBlock = false, blockBypassed = false;
    // The chain sat out bypassed blocks and has to catch up before its next block; it is doing so.
    bool chainSatOut = false, catchingUp = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProcessingChain)
};
