#include "TavAudioProcessor.h"

TavAudioProcessor::TavAudioProcessor()
{
    juce::AudioProcessor::setPlayConfigDetails (chain.getNumInputChannels(), chain.getNumOutputChannels(),
                                                chain.getSampleRate(), chain.getBlockSize());
    setLatencySamples (chain.getLatencySamples());
}

TavAudioProcessor::~TavAudioProcessor() = default;

//==============================================================================
void TavAudioProcessor::playConfigChanged (int inputChannels, int outputChannels, double sampleRate, int blockSize)
{
    juce::AudioProcessor::setPlayConfigDetails (inputChannels, outputChannels, sampleRate, blockSize);
}

void TavAudioProcessor::latencyChanged (int samples)
{
    setLatencySamples (samples);
}

void TavAudioProcessor::restateParameter (int index, float value)
{
    setParameterNotifyingHost (index, value);
}

void TavAudioProcessor::setPlayConfigDetails (int numIns, int numOuts, double sampleRate, int blockSize)
{
    chain.setPlayConfig (numIns, numOuts, sampleRate, blockSize);
}

//==============================================================================
const juce::String TavAudioProcessor::getName() const
{
    return "Tavlin";
}

int TavAudioProcessor::getLatencyFor (double sampleRate, int hostBlockSize) const
{
    return chain.getLatencyFor (sampleRate, hostBlockSize);
}

void TavAudioProcessor::prepareToPlay (double sampleRate, int blockSize)
{
    chain.prepare (sampleRate, blockSize);
}

void TavAudioProcessor::releaseResources() {}

void TavAudioProcessor::reset()
{
    chain.reset();
}

void TavAudioProcessor::processBlockWithSize (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&, int count)
{
    // A count of 0 stands for the buffer's own length.
    chain.process (buffer, count != 0 ? count : buffer.getNumSamples(), getTotalNumInputChannels(),
                   getTotalNumOutputChannels());
}

void TavAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    chain.process (buffer, buffer.getNumSamples(), getTotalNumInputChannels(), getTotalNumOutputChannels());
}

void TavAudioProcessor::setWashWindow (SpectrumColumnSink* washWindow)
{
    chain.setWashWindow (washWindow);
}

void TavAudioProcessor::feedNoiseAnalyzer (const juce::AudioBuffer<float>& buffer)
{
    chain.feedNoiseAnalyzer (buffer);
}

void TavAudioProcessor::finishNoiseAnalysis()
{
    chain.finishNoiseAnalysis();
}

//==============================================================================
const juce::String TavAudioProcessor::getInputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}

const juce::String TavAudioProcessor::getOutputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}

bool TavAudioProcessor::isInputChannelStereoPair (int) const
{
    return true;
}

bool TavAudioProcessor::isOutputChannelStereoPair (int) const
{
    return true;
}

bool TavAudioProcessor::silenceInProducesSilenceOut() const
{
    return false;
}

double TavAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

bool TavAudioProcessor::acceptsMidi() const
{
    return false;
}

bool TavAudioProcessor::producesMidi() const
{
    return false;
}

bool TavAudioProcessor::hasEditor() const
{
    return true;
}

int TavAudioProcessor::getNumPrograms()
{
    return 1;
}

int TavAudioProcessor::getCurrentProgram()
{
    return 0;
}

void TavAudioProcessor::setCurrentProgram (int) {}

const juce::String TavAudioProcessor::getProgramName (int)
{
    return "Default";
}

void TavAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
int TavAudioProcessor::getNumParameters()
{
    return numParameters;
}

const juce::String TavAudioProcessor::getParameterName (int index)
{
    return chain.getParameterName (index);
}

float TavAudioProcessor::getParameterDefaultValue (int index)
{
    return chain.getParameterDefaultValue (index);
}

float TavAudioProcessor::getParameter (int index)
{
    return chain.getParameter (index);
}

void TavAudioProcessor::setParameter (int index, float value)
{
    chain.setParameter (index, value);
}

const juce::String TavAudioProcessor::getParameterText (int index)
{
    return chain.getParameterText (index);
}

void TavAudioProcessor::setParameterNotifyingHost (int index, float value)
{
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    juce::AudioProcessor::setParameterNotifyingHost (index, value);
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
}

void TavAudioProcessor::resetToDefaults()
{
    chain.resetToDefaults();
}

void TavAudioProcessor::actionListenerCallback (const juce::String& message)
{
    chain.actionListenerCallback (message);
}

//==============================================================================
void TavAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    chain.getState (destData);
}

void TavAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    chain.restoreState (data, sizeInBytes);
}

bool TavAudioProcessor::restoreState (const void* data, int sizeInBytes)
{
    return chain.restoreState (data, sizeInBytes);
}
