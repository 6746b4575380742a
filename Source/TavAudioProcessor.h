#pragma once

#include "ProcessingChain.h"

#include <juce_audio_processors/juce_audio_processors.h>

/** The application's one audio processor: the restoration chain (ProcessingChain) that it owns, presented as a
    framework audio processor.

    Every call goes to the chain, which holds the stages, the queues, the parameters' DSP objects and the
    two-thread pipeline; the framework base mirrors the chain's play configuration and latency, and the
    chain's change messages go out on this object's broadcaster. Parameters cross this interface
    normalised to 0..1; notified writes also reach the framework's parameter listeners.
*/
class TavAudioProcessor : public juce::AudioProcessor,
                          public juce::ActionListener,
                          public juce::ChangeBroadcaster,
                          private ProcessingChain::Host
{
public:
    static constexpr int numParameters = ProcessingChain::numParameters;
    static constexpr int numChannels = ProcessingChain::numChannels;
    static constexpr int chainBlockSize = ProcessingChain::chainBlockSize;

    using Parameter = ProcessingChain::Parameter;
    static constexpr Parameter clickCrackleDetection = ProcessingChain::clickCrackleDetection;
    static constexpr Parameter enhance = ProcessingChain::enhance;
    static constexpr Parameter tunerBroadbandNR = ProcessingChain::tunerBroadbandNR;
    static constexpr Parameter amountBroadbandNR = ProcessingChain::amountBroadbandNR;
    static constexpr Parameter preserveVoice = ProcessingChain::preserveVoice;
    static constexpr Parameter removeRumble = ProcessingChain::removeRumble;
    static constexpr Parameter humRemoval = ProcessingChain::humRemoval;
    static constexpr Parameter noiseReductionMode = ProcessingChain::noiseReductionMode;
    static constexpr Parameter boostVolume = ProcessingChain::boostVolume;
    static constexpr Parameter declipper = ProcessingChain::declipper;
    static constexpr Parameter track = ProcessingChain::track;
    static constexpr Parameter bypassParameter = ProcessingChain::bypassParameter;
    static constexpr Parameter numHumHarmonics = ProcessingChain::numHumHarmonics;
    static constexpr Parameter rumbleFreq = ProcessingChain::rumbleFreq;
    static constexpr Parameter lowPassFreq = ProcessingChain::lowPassFreq;
    static constexpr Parameter broadbandLimitLow = ProcessingChain::broadbandLimitLow;
    static constexpr Parameter broadbandLimitHigh = ProcessingChain::broadbandLimitHigh;
    static constexpr Parameter enhancePreset = ProcessingChain::enhancePreset;
    static constexpr Parameter dexpThreshold = ProcessingChain::dexpThreshold;
    static constexpr Parameter dexpAmount = ProcessingChain::dexpAmount;

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

    /** The chain's two-thread set-up for an offline pass (ProcessingChain::OfflineProcessing). */
    class OfflineProcessing
    {
    public:
        explicit OfflineProcessing (TavAudioProcessor& processorToUse) : pass (processorToUse.chain) {}

    private:
        ProcessingChain::OfflineProcessing pass;
    };

    /** The column step that runs after every chain block, or null for none. Replacing or clearing it
        returns only once no column step of the previous one is still running, so the previous one may be
        destroyed right after.
    */
    void setWashWindow (SpectrumColumnSink* washWindow);

    /** Sets the play configuration of the chain, which the framework base then mirrors. It stands in for
        the base's call, so that the chain, which taps also drive directly, keeps the one configuration.
    */
    void setPlayConfigDetails (int numIns, int numOuts, double sampleRate, int blockSize);

    /** The chain this processor presents. */
    ProcessingChain& getChain() noexcept { return chain; }

    //==============================================================================
    vesk::ZNoiseReductionBay& getNoiseReductionBay() noexcept { return chain.getNoiseReductionBay(); }
    vesk::ZEnhancementBay& getEnhancementBay() noexcept { return chain.getEnhancementBay(); }
    vesk::ZClickAndCrackleBay& getClickAndCrackleBay() noexcept { return chain.getClickAndCrackleBay(); }
    vesk::ZDeclipping& getDeclipper (int channel = 0) noexcept { return chain.getDeclipper (channel); }
    vesk::ZMaximizer& getMaximizer (int channel = 0) noexcept { return chain.getMaximizer (channel); }
    vesk::ZExpander& getExpander (int channel = 0) noexcept { return chain.getExpander (channel); }
    vesk::ZNoiseAnalyzer& getNoiseAnalyzer() noexcept { return chain.getNoiseAnalyzer(); }
    LearnRegion& getLearnRegion() noexcept { return chain.getLearnRegion(); }
    MeterData& getOutputMeter() noexcept { return chain.getOutputMeter(); }
    /** The progress of the current long operation, 0..1, read by reference by the progress displays. */
    double& getProgress() noexcept { return progress; }
    bool isBypassed() const noexcept { return chain.isBypassed(); }
    /** Chain blocks run on two threads since construction. */
    int64_t getBlocksOnTwoThreads() const noexcept { return chain.getBlocksOnTwoThreads(); }

private:
    void playConfigChanged (int inputChannels, int outputChannels, double sampleRate, int blockSize) override;
    void latencyChanged (int samples) override;
    void restateParameter (int index, float value) override;

    ProcessingChain chain { *this, this };
    double progress = 0.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TavAudioProcessor)
};
