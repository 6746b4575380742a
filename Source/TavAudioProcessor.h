#pragma once

#include "ChannelWorker.h"
#include "LearnRegion.h"
#include "MeterData.h"
#include "ProcessorParameter.h"
#include "SampleFifo.h"
#include "SpectrumColumnSink.h"

#include <juce_audio_processors/juce_audio_processors.h>

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

/** The application's one audio processor: owns the whole restoration chain.

    Host buffers of any size are queued per channel and run through the chain in fixed blocks of 512
    samples: declipper per channel, click and crackle bay, noise-reduction bay, downward expander per
    channel, enhancement bay, maximizer per channel. The output is taken from a second queue primed with
    one host block (at least 512 samples) of silence and clamped to [-1, 1]; it is the input delayed by
    getLatencySamples(), also while bypassed.

    Parameters cross this interface normalised to 0..1 and are never stored here: every read-back comes
    from the DSP object that holds the value.
*/
class TavAudioProcessor : public juce::AudioProcessor, public juce::ActionListener, public juce::ChangeBroadcaster
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

    TavAudioProcessor();
    ~TavAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int blockSize) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    const juce::String getInputChannelName (int channelIndex) const override;
    const juce::String getOutputChannelName (int channelIndex) const override;
    bool isInputChannelStereoPair (int index) const override;
    bool isOutputChannelStereoPair (int index) const override;
    bool silenceInProducesSilenceOut() const override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    void reset() override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumParameters() override;
    const juce::String getParameterName (int index) override;
    float getParameter (int index) override;
    const juce::String getParameterText (int index) override;
    float getParameterDefaultValue (int index) override;
    void setParameter (int index, float value) override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& name) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    void actionListenerCallback (const juce::String& message) override;

    //==============================================================================
    /** Sets a parameter and informs the registered parameter listeners: the path the panel and the
        transport bar use. The framework's own index-based call is reached only from here.
    */
    void setParameterNotifyingHost (int index, float value);

    /** Processes the first count samples of the buffer (a larger buffer) instead of its whole length. */
    void processBlockWithSize (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi, int count);

    /** Restores a state blob: parameters 0 to 10 (a missing or unreadable value counts as 0) and, when the
        first two child elements read whole, both noise profiles. A block that is not a readable blob
        changes nothing and gives false.
    */
    bool restoreState (const void* data, int sizeInBytes);

    /** Factory settings: parameters 0 to 10, the noise profiles, the expanders and maximizers, the learn
        region; bypass, the expander ratio, the filter corners and the broadband limits are kept.
    */
    void resetToDefaults();

    /** The latency, in samples, that prepareToPlay (sampleRate, hostBlockSize) will report; sampleRate in
        Hz, above 0. Lets the player delay the video before playback starts.
    */
    int getLatencyFor (double sampleRate, int hostBlockSize) const;

    /** Hands channel 0 of the buffer to the noise analyzer, one hop of its hop size per call. */
    void feedNoiseAnalyzer (const juce::AudioBuffer<float>& buffer);
    void finishNoiseAnalysis();

    /** While one lives, the processor runs its chain on two threads as a pipeline, when the driving
        thread may use two cores: the declipper and the click and crackle bay of a block on the driving
        thread while a second thread runs the noise reduction and expanders of the blocks before, whose
        enhancement and maximizers the driving thread runs when a host call needs their output. For
        offline passes (export, batch, learning from the file), whose caller waits for the whole result;
        playback stays on one thread. The output is the same to the bit. Made and destroyed on the thread
        that drives the processor, between calls; its end finishes the blocks still on the second thread.
    */
    class OfflineProcessing
    {
    public:
        explicit OfflineProcessing (TavAudioProcessor& processorToUse);
        ~OfflineProcessing();

        OfflineProcessing (const OfflineProcessing&) = delete;
        OfflineProcessing& operator= (const OfflineProcessing&) = delete;

    private:
        TavAudioProcessor& processor;
    };

    /** The column step that runs after every chain block, or null for none. Replacing or clearing it
        returns only once no column step of the previous one is still running, so the previous one may be
        destroyed right after.
    */
    void setWashWindow (SpectrumColumnSink* washWindow);

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
    /** The progress of the current long operation, 0..1, read by reference by the progress displays. */
    double& getProgress() noexcept { return progress; }
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
    void runChannelFront (int channel, bool active);
    void runChannelBack (int channel, bool active, const BufferSet& a, const BufferSet& b);
    void runChannelEnd (int channel, bool active, const BufferSet& a, const BufferSet& b, bool limit = true);
    void runColumnStep();
    int getChainLatency() const;
    /** The value of a parameter as the DSP object holding it has it, in the table's unit. */
    float getParameterValue (int index);
    void resizeQueues (int hostBlockSize);

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
    // The second thread of offline passes, made with the first of them and kept for the next.
    std::unique_ptr<ChannelWorker> channelWorker;
    int offlinePasses = 0;
    bool workerRunning = false;
    // The blocks on the second thread, oldest first, each with its buffers, channel count and settings:
    // up to four, so that blocks whose later stages take long (those with noise-reduction frames) and
    // light ones even out when a host call brings several.
    struct LaterBlock
    {
        TavAudioProcessor* processor = nullptr;
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
    int32_t sizeOverride = 0;
    double progress = 0.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavAudioProcessor)
};
