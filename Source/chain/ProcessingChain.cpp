#include "ProcessingChain.h"

#include "StateBlob.h"

#include "ZBuffer.h"
#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZDelayBuffer.h"
#include "ZEnhancementBay.h"
#include "ZExpander.h"
#include "ZMaximizer.h"
#include "ZNoiseAnalyzer.h"
#include "ZNoiseReductionBay.h"
#include "ZNumberText.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

namespace
{
const char* const stateTag = "NoiseProfile";

/** The general notation with up to 20 significant digits, independent of the C locale. */
juce::String formatStateValue (double value)
{
    char text[64];
    auto result = std::to_chars (text, text + sizeof (text) - 1, value, std::chars_format::general, 20);
    *result.ptr = 0;
    return text;
}

float normalised (float value)
{
    return std::isnan (value) ? 0.0f : std::clamp (value, 0.0f, 1.0f);
}

/** A restore sets every parameter the state holds but bypass, which stays as the transport bar left it. */
bool isRestored (int index)
{
    return ProcessorParameter::table[index].stateKey != nullptr && index != ProcessingChain::bypassParameter;
}
} // namespace

//==============================================================================
ProcessingChain::ProcessingChain() : ProcessingChain (nullptr, nullptr) {}

ProcessingChain::ProcessingChain (juce::ChangeBroadcaster& announcerToUse, Host* hostToUse)
    : ProcessingChain (&announcerToUse, hostToUse)
{
}

// The own broadcaster is named only here, among the members, once the object's bases are made.
ProcessingChain::ProcessingChain (juce::ChangeBroadcaster* announcerToUse, Host* hostToUse)
    : announcer (announcerToUse != nullptr ? *announcerToUse : ownAnnouncer), host (hostToUse)
{
    noiseReductionBay = std::make_unique<vesk::ZNoiseReductionBay> ("Noise Reduction", numChannels);
    noiseReductionBay->prepare();
    noiseReductionBay->addActionListener (this);
    noiseReductionBay->setDisplayActive (false);

    enhancementBay = std::make_unique<vesk::ZEnhancementBay> ("Enhance", numChannels);
    enhancementBay->prepare();

    clickAndCrackleBay = std::make_unique<vesk::ZClickAndCrackleBay> ("Declick", numChannels);
    clickAndCrackleBay->prepare();

    noiseAnalyzer = std::make_unique<vesk::ZNoiseAnalyzer>();

    for (size_t c = 0; c < (size_t) numChannels; ++c)
    {
        inputQueues[c] = std::make_unique<SampleFifo> (4096, 0);
        outputQueues[c] = std::make_unique<SampleFifo> (4096, 2048);
        blockBuffersA[c] = std::make_unique<vesk::ZBuffer> (chainBlockSize, "ZBuffer");
        blockBuffersB[c] = std::make_unique<vesk::ZBuffer> (chainBlockSize, "ZBuffer");
        blocksA[c] = blockBuffersA[c].get();
        blocksB[c] = blockBuffersB[c].get();

        for (auto& later : laterBlocks)
        {
            later.chain = this;
            later.slot = (unsigned) (&later - laterBlocks.data());
            later.buffersA[c] = std::make_unique<vesk::ZBuffer> (chainBlockSize, "ZBuffer");
            later.buffersB[c] = std::make_unique<vesk::ZBuffer> (chainBlockSize, "ZBuffer");
            later.a[c] = later.buffersA[c].get();
            later.b[c] = later.buffersB[c].get();
        }
        maximizers[c] = std::make_unique<vesk::ZMaximizer> (chainBlockSize);
        maximizers[c]->initialize();
        expanders[c] = std::make_unique<vesk::ZExpander>();
        declippers[c] = std::make_unique<vesk::ZDeclipping> (chainBlockSize, 44100.0f);
        declippers[c]->setDefaults();
    }

    resetToDefaults();

    chainLatency = getChainLatency();

    for (auto& dry : dryDelays)
        dry = vesk::ZDelayBuffer::create ((chainLatency + chainBlockSize) * 2);

    latencySamples = chainLatency + 4096;

    outputMeter = std::make_unique<MeterData>();
}

ProcessingChain::~ProcessingChain()
{
    finishBlockInFlight();
    noiseReductionBay->removeActionListener (this);
}

//==============================================================================
int ProcessingChain::getChainLatency() const
{
    return (int) declippers[0]->getLatency() + noiseReductionBay->getLatency() + enhancementBay->getLatency()
           + clickAndCrackleBay->getLatency() + maximizers[0]->getLatency() + expanders[0]->getLatency();
}

int ProcessingChain::getLatencyFor (double sampleRate, int hostBlockSize) const
{
    // Only the declipper's share depends on the rate; the others are fixed by the 512-sample blocks.
    vesk::ZDeclipping declipperAtRate (chainBlockSize, (float) sampleRate);

    return getChainLatency() - (int) declippers[0]->getLatency() + (int) declipperAtRate.getLatency()
           + std::max (hostBlockSize, chainBlockSize);
}

void ProcessingChain::resizeQueues (int hostBlockSize)
{
    auto n = std::max (hostBlockSize, chainBlockSize);

    for (size_t c = 0; c < (size_t) numChannels; ++c)
    {
        inputQueues[c]->resize (2 * n, 0);
        outputQueues[c]->resize (2 * n, n);
    }
}

void ProcessingChain::prepare (double sampleRate, int blockSize)
{
    finishBlockInFlight();
    const auto rate = (float) sampleRate;

    noiseReductionBay->prepare();
    noiseReductionBay->setSampleRate (rate);
    noiseReductionBay->setBlockSize (chainBlockSize);

    enhancementBay->prepare();
    enhancementBay->setSampleRate (rate);
    enhancementBay->setBlockSize (chainBlockSize);

    clickAndCrackleBay->prepare();
    clickAndCrackleBay->setSampleRate (rate);
    clickAndCrackleBay->setBlockSize (chainBlockSize);

    resizeQueues (blockSize);

    for (size_t c = 0; c < (size_t) numChannels; ++c)
    {
        blockBuffersA[c]->clear();
        blockBuffersB[c]->clear();
        maximizers[c]->reset();
        expanders[c]->reset();
        expanders[c]->setSampleRate (rate);
        declippers[c]->reset();
        declippers[c]->setSampleRate (rate);
        declippers[c]->setBlockSize (chainBlockSize);
    }

    chainLatency = getChainLatency();

    for (auto& dry : dryDelays)
        if (dry->getCapacity() < (unsigned) (chainLatency + chainBlockSize))
            dry = vesk::ZDelayBuffer::create ((chainLatency + chainBlockSize) * 2);

    latencySamples = chainLatency + std::max (blockSize, chainBlockSize);

    if (host != nullptr)
        host->latencyChanged (latencySamples);

    // The bays' block-size change leaves their converters and delay lines unprimed; a reset brings every
    // stage to the state in which the chain delays by exactly the latency just reported.
    reset();

    announcer.sendChangeMessage();
}

void ProcessingChain::setPlayConfig (int inputChannels, int outputChannels, double sampleRate, int blockSize)
{
    numInputChannels = inputChannels;
    numOutputChannels = outputChannels;
    playSampleRate = sampleRate;
    playBlockSize = blockSize;

    if (host != nullptr)
        host->playConfigChanged (inputChannels, outputChannels, sampleRate, blockSize);
}

void ProcessingChain::reset()
{
    finishBlockInFlight();
    chainSatOut = false;

    noiseReductionBay->reset();
    enhancementBay->reset();
    clickAndCrackleBay->reset();

    for (size_t c = 0; c < (size_t) numChannels; ++c)
    {
        inputQueues[c]->clear (true);
        outputQueues[c]->clear (true);
        blockBuffersA[c]->clear();
        blockBuffersB[c]->clear();
        dryDelays[c]->reset();
        maximizers[c]->reset();
        expanders[c]->reset();
        declippers[c]->reset();
    }
}

//==============================================================================
void ProcessingChain::process (juce::AudioBuffer<float>& buffer, int count)
{
    process (buffer, count, numInputChannels, numOutputChannels);
}

void ProcessingChain::process (juce::AudioBuffer<float>& buffer, int count, int inputChannels, int outputChannels)
{
    const auto length = buffer.getNumSamples();
    const auto n = std::clamp (count, 0, length);
    const auto channels = std::min ({ inputChannels, numChannels, buffer.getNumChannels() });

    if (channels > 0)
    {
        // The output queue holds twice its prefill, so no call may hand it more than the prefill at once.
        const auto chunk = outputQueues[0]->getPrefill();

        for (int offset = 0; offset < n; offset += chunk)
            processChunk (buffer, offset, std::min (chunk, n - offset), channels);

        for (int c = 0; c < channels; ++c)
        {
            auto peak = buffer.getMagnitude (c, 0, n);
            auto& level = outputMeter->level[c];

            if (peak > level.load (std::memory_order_relaxed))
                level.store (peak, std::memory_order_relaxed);
        }
    }

    for (int c = std::max (channels, 0); c < std::min (outputChannels, buffer.getNumChannels()); ++c)
        buffer.clear (c, 0, length);
}

void ProcessingChain::processChunk (juce::AudioBuffer<float>& buffer, int offset, int count, int channels)
{
    for (int c = 0; c < channels; ++c)
        inputQueues[(size_t) c]->write (count, buffer.getReadPointer (c, offset));

    runChainBlocks (channels);

    // The block on the second thread is needed only once the output queue runs short of samples.
    while (blocksInFlight > 0 && outputQueues[0]->getAvailable() < count)
        finishOldestBlock();

    for (int c = 0; c < channels; ++c)
        outputQueues[(size_t) c]->read (count, true, buffer.getWritePointer (c, offset));
}

void ProcessingChain::runChainBlocks (int channels)
{
    const auto k = (size_t) channels;

    for (;;)
    {
        // The queues normally hold the same count; a block runs only when every channel has one.
        for (size_t c = 0; c < k; ++c)
            if (inputQueues[c]->getAvailable() < chainBlockSize)
                return;

        for (size_t c = 0; c < k; ++c)
            inputQueues[c]->read (chainBlockSize, false, blocksA[c]->getData());

        runChainBlock (channels);

        // A block left on the second thread has its column step when it is finished.
        if (blocksInFlight == 0)
            runColumnStep();
    }
}

void ProcessingChain::runChainBlock (int channels)
{
    const auto bypassed = bypass.load (std::memory_order_relaxed);

    // A bypassed block runs on this thread, and asks whether the noise reduction learns, which a block
    // on the second thread may be ending.
    if (bypassed)
        finishBlockInFlight();

    // Bypassed, with nothing learning and no display to feed, the chain's work would go unused: the
    // block is only the input delayed by the chain's latency.
    if (bypassed && noiseReductionBay->isLearning() == 0 && !noiseReductionBay->isDisplayActive())
    {
        for (size_t c = 0; c < (size_t) channels; ++c)
        {
            dryDelays[c]->writeSamples (blocksA[c], chainBlockSize);
            dryDelays[c]->readSamples (blocksA[c], (unsigned) chainLatency, chainBlockSize);
            outputQueues[c]->write (chainBlockSize, blocksA[c]->getData());
        }

        chainSatOut = true;
        return;
    }

    if (chainSatOut)
    {
        finishBlockInFlight();
        catchUpAfterBypass (channels);
    }

    blockBypassed = bypassed;

    // Two channels, each with its own buffers all the way: a mono block keeps its unused channel's
    // buffers from block to block, and those feed the enhancer's linked levels.
    if (!bypassed && channels == numChannels && decidePipeline())
    {
        runPipelinedSteps (channels);
        return;
    }

    finishBlockInFlight();
    runChainSteps (channels);
}

void ProcessingChain::catchUpAfterBypass (int channels)
{
    // The chain takes in the delayed input it sat out, as far back as its latency and a block reach,
    // with its output thrown away: from the next block on it delivers processed sound in step, as if
    // it had run all along (only its slowest memories, such as levels, start from the older state).
    chainSatOut = false;
    catchingUp = true;
    const auto blocks = chainLatency / chainBlockSize + 2;
    std::array<std::vector<float>, numChannels> current;

    for (size_t c = 0; c < (size_t) channels; ++c)
        current[c].assign (blocksA[c]->getData(), blocksA[c]->getData() + chainBlockSize);

    for (int k = blocks; k >= 1; --k)
    {
        for (size_t c = 0; c < (size_t) channels; ++c)
            dryDelays[c]->readSamples (blocksA[c], (unsigned) ((k - 1) * chainBlockSize), chainBlockSize);

        blockBypassed = false;
        runChainSteps (channels);
    }

    for (size_t c = 0; c < (size_t) channels; ++c)
        std::copy (current[c].begin(), current[c].end(), blocksA[c]->getData());

    catchingUp = false;
}

void ProcessingChain::runChainSteps (int channels)
{
    clickBlock = clickAndCrackleBay->beginBlock (blocksA.data());
    noiseBlock = noiseReductionBay->beginBlock (blocksA.data(), blocksB.data(), chainBlockSize);
    enhanceBlock = enhancementBay->beginBlock (blocksA.data(), blocksB.data(), chainBlockSize);

    // Stage by stage, so that the click and crackle bay can take both channels at once.
    for (int c = 0; c < numChannels; ++c)
        runChannelFront (c, c < channels);

    if (clickBlock)
        clickAndCrackleBay->processChannels (blocksB.data(), blocksA.data(), chainBlockSize);

    if (noiseBlock)
        noiseReductionBay->processChannels (blocksA.data(), blocksB.data(), chainBlockSize);

    for (int c = 0; c < numChannels; ++c)
        runChannelBack (c, c < channels, blocksA, blocksB);

    if (noiseBlock)
        noiseReductionBay->endBlock();

    if (enhanceBlock)
        enhancementBay->linkChannels();

    for (int c = 0; c < numChannels; ++c)
        runChannelEnd (c, c < channels, blocksA, blocksB);

    if (enhanceBlock)
        enhancementBay->endBlock();

    if (catchingUp)
        return;

    for (size_t c = 0; c < (size_t) channels; ++c)
    {
        if (blockBypassed)
            dryDelays[c]->readSamples (blocksA[c], (unsigned) chainLatency, chainBlockSize);

        outputQueues[c]->write (chainBlockSize, blocksA[c]->getData());
    }
}

void ProcessingChain::runPipelinedSteps (int channels)
{
    // The first stages of this block here, while the second thread finishes the block before.
    clickBlock = clickAndCrackleBay->beginBlock (blocksA.data());

    for (int c = 0; c < numChannels; ++c)
        runChannelFront (c, c < channels);

    if (clickBlock)
        clickAndCrackleBay->processChannels (blocksB.data(), blocksA.data(), chainBlockSize);

    // The settings of a block must not be read while a block that ends learning, and so changes them,
    // is still on the second thread; and four blocks at most are there.
    auto stopping = false;

    for (int i = 0; i < blocksInFlight; ++i)
        stopping = stopping || laterBlocks[(size_t) ((oldestLater + i) % (int) laterBlocks.size())].noiseSettings.stop;

    if (stopping)
        finishBlockInFlight();
    else if (blocksInFlight == (int) laterBlocks.size())
        finishOldestBlock();

    auto& later = laterBlocks[(size_t) ((oldestLater + blocksInFlight) % (int) laterBlocks.size())];

    for (size_t c = 0; c < (size_t) numChannels; ++c)
        later.a[c]->copyFrom (*blocksA[c]);

    // The noise reduction and the enhancer take their settings now, in the call that brought the block, as
    // on one thread; the enhancer's analysis of the block goes into a slot of its own.
    later.noiseSettings = noiseReductionBay->latchSettings();
    enhancementBay->planBlock (later.a.data(), later.b.data(), chainBlockSize, later.slot, later.enhancerPlan);
    later.channels = channels;
    ++blocksInFlight;
    ++blocksOnTwoThreads;
    later.ticket = channelWorker->post (
        [] (void* block)
        {
            auto& b = *static_cast<LaterBlock*> (block);
            b.chain->runLaterSteps (b);
        },
        &later);
}

void ProcessingChain::runLaterSteps (LaterBlock& later)
{
    timespec began {}, ended {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &began);

    // The noise reduction and the expanders; the enhancer and the maximizers wait for this thread's owner,
    // which has the lighter stages. Only the blocks' samples go between the threads: the enhancer's
    // spectra, four times as large, stay with the thread that makes and uses them.
    const auto noiseBlockHere =
        noiseReductionBay->beginBlock (later.noiseSettings, later.a.data(), later.b.data(), chainBlockSize);

    if (noiseBlockHere)
        noiseReductionBay->processChannels (later.a.data(), later.b.data(), chainBlockSize);

    for (int c = 0; c < later.channels; ++c)
        expanders[(size_t) c]->process (later.b[(size_t) c], later.a[(size_t) c]);

    if (noiseBlockHere)
        noiseReductionBay->endBlock();

    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &ended);
    later.workTime =
        std::chrono::seconds (ended.tv_sec - began.tv_sec) + std::chrono::nanoseconds (ended.tv_nsec - began.tv_nsec);
}

void ProcessingChain::finishOldestBlock()
{
    if (blocksInFlight == 0)
        return;

    auto& later = laterBlocks[(size_t) oldestLater];
    const auto started = std::chrono::steady_clock::now();
    channelWorker->waitFor (later.ticket);
    waitTime += std::chrono::steady_clock::now() - started;
    laterWorkTime += later.workTime;
    oldestLater = (oldestLater + 1) % (int) laterBlocks.size();
    --blocksInFlight;

    // The enhancer and the maximizers are this thread's share of the block.
    const auto& plan = later.enhancerPlan;

    for (int c = 0; c < numChannels; ++c)
        enhancementBay->analyseChannel (c, later.a[(size_t) c], plan);

    if (plan.block.runs)
        enhancementBay->linkChannels (plan);

    for (int c = 0; c < numChannels; ++c)
    {
        const auto i = (size_t) c;

        if (plan.block.runs)
            enhancementBay->finishChannel (c, later.a[i], later.b[i], plan);

        if (c < later.channels)
        {
            maximizers[i]->process (later.b[i], later.a[i]);
            outputQueues[i]->write (chainBlockSize, later.a[i]->getData());
        }
    }

    runColumnStep();
}

void ProcessingChain::finishBlockInFlight()
{
    while (blocksInFlight > 0)
        finishOldestBlock();
}

void ProcessingChain::runChannelFront (int channel, bool active)
{
    const auto c = (size_t) channel;

    if (!active)
        return;

    if (!catchingUp)
        dryDelays[c]->writeSamples (blocksA[c], chainBlockSize);

    declippers[c]->process (blocksA[c], blocksB[c], chainBlockSize);
}

void ProcessingChain::runChannelBack (int channel, bool active, const BufferSet& as, const BufferSet& bs)
{
    const auto c = (size_t) channel;
    auto* a = as[c];
    auto* b = bs[c];

    if (active)
        expanders[c]->process (b, a);

    if (enhanceBlock)
        enhancementBay->analyseChannel (channel, a);
}

void ProcessingChain::runChannelEnd (int channel, bool active, const BufferSet& as, const BufferSet& bs, bool limit)
{
    const auto c = (size_t) channel;
    auto* a = as[c];
    auto* b = bs[c];

    if (enhanceBlock)
        enhancementBay->finishChannel (channel, a, b);

    if (active && limit)
        maximizers[c]->process (b, a);
}

bool ProcessingChain::decidePipeline()
{
    if (offlinePasses == 0)
        return false;

    if (soloBlocksLeft > 0)
    {
        if (--soloBlocksLeft > 0)
            return false;

        channelWorker->start();
        workerRunning = true;
    }

    if (!workerRunning)
        return false;

    // Every 64 blocks: when this thread waited longer for the second one than that one worked, its core
    // is busy with something else, and the pass goes on alone for a while rather than wait on it.
    if (++blocksMeasured == 64)
    {
        const auto starved = waitTime > laterWorkTime;
        blocksMeasured = 0;
        waitTime = laterWorkTime = {};

        if (starved)
        {
            finishBlockInFlight();
            channelWorker->stop();
            workerRunning = false;
            soloBlocksLeft = 1024;
            return false;
        }
    }

    return true;
}

void ProcessingChain::beginOfflinePass()
{
    soloBlocksLeft = 0;
    blocksMeasured = 0;
    waitTime = laterWorkTime = {};

    // With one core allowed the second thread would only take turns with this one: it stays asleep.
    if (!ChannelWorker::callerHasTwoCores())
        return;

    if (channelWorker == nullptr)
        channelWorker = std::make_unique<ChannelWorker>();

    channelWorker->start();
    workerRunning = true;
}

void ProcessingChain::endOfflinePass()
{
    finishBlockInFlight();

    if (workerRunning)
        channelWorker->stop();

    workerRunning = false;
    soloBlocksLeft = 0;
}

ProcessingChain::OfflineProcessing::OfflineProcessing (ProcessingChain& chainToUse) : chain (chainToUse)
{
    if (chain.offlinePasses++ == 0)
        chain.beginOfflinePass();
}

ProcessingChain::OfflineProcessing::~OfflineProcessing()
{
    if (--chain.offlinePasses == 0)
        chain.endOfflinePass();
}

void ProcessingChain::runColumnStep()
{
    columnStepsRunning.fetch_add (1);

    if (auto* target = washWindow.load())
        target->pushSpectrumColumn();

    columnStepsRunning.fetch_sub (1);
}

void ProcessingChain::setWashWindow (SpectrumColumnSink* newWashWindow)
{
    // Without a wash window nobody looks at the display spectrum, and the bay leaves it be.
    noiseReductionBay->setDisplayActive (newWashWindow != nullptr);
    auto* previous = washWindow.exchange (newWashWindow);

    // A column step that loaded the previous pointer is counted until it returns.
    if (previous != nullptr && previous != newWashWindow)
        while (columnStepsRunning.load() != 0)
            std::this_thread::yield();
}

//==============================================================================
void ProcessingChain::feedNoiseAnalyzer (const juce::AudioBuffer<float>& buffer)
{
    if (buffer.getNumChannels() > 0 && buffer.getNumSamples() >= noiseAnalyzer->getHopSize())
        noiseAnalyzer->process (buffer.getReadPointer (0));
}

void ProcessingChain::finishNoiseAnalysis()
{
    noiseAnalyzer->finish();
}

//==============================================================================
const juce::String ProcessingChain::getParameterName (int index) const
{
    return juce::isPositiveAndBelow (index, numParameters) ? ProcessorParameter::table[index].name : "";
}

float ProcessingChain::getParameterDefaultValue (int index) const
{
    return juce::isPositiveAndBelow (index, numParameters) ? ProcessorParameter::table[index].getDefaultNormalised()
                                                           : 0.0f;
}

float ProcessingChain::getParameter (int index)
{
    return juce::isPositiveAndBelow (index, numParameters)
               ? ProcessorParameter::table[index].toNormalised (getParameterValue (index))
               : 0.0f;
}

float ProcessingChain::getParameterValue (int index)
{
    auto& nr = *noiseReductionBay;

    switch (index)
    {
        case clickCrackleDetection:
            return clickAndCrackleBay->getAmount();
        case enhance:
            return enhancementBay->getAmount();
        case tunerBroadbandNR:
            return nr.getTuner();
        case amountBroadbandNR:
            return nr.getReduction();
        case preserveVoice:
            return nr.getPreserveVoice() ? 1.0f : 0.0f;
        case removeRumble:
            return nr.getRemoveRumble() ? 1.0f : 0.0f;
        case humRemoval:
            return (float) nr.getHumMode();
        case noiseReductionMode:
            return (float) nr.getMode();
        case boostVolume:
            return maximizers[0]->getThresholdDb();
        case declipper:
            return declippers[0]->enabled.load() ? 1.0f : 0.0f;
        case track:
            return nr.getTrack() ? 1.0f : 0.0f;
        case bypassParameter:
            return bypass.load() ? 1.0f : 0.0f;
        case numHumHarmonics:
            return (float) nr.getNumHumHarmonics();
        case rumbleFreq:
            return nr.getRumbleFrequency();
        case lowPassFreq:
            return nr.getLowPassFrequency();
        case broadbandLimitLow:
            return nr.getBroadbandLimitLow();
        case broadbandLimitHigh:
            return nr.getBroadbandLimitHigh();
        case enhancePreset:
            return (float) enhancementBay->getPreset();
        case dexpThreshold:
            return expanders[0]->getThreshold();
        case dexpAmount:
            return expanders[0]->getRatioBelow();
        default:
            return 0.0f;
    }
}

void ProcessingChain::setParameter (int index, float value)
{
    if (!juce::isPositiveAndBelow (index, numParameters))
    {
        announcer.sendChangeMessage();
        return;
    }

    // Out-of-range and NaN values are brought into 0..1 first, so no mode or index can go astray.
    const auto v = normalised (value);
    const auto& parameter = ProcessorParameter::table[index];
    const auto x = parameter.toValue (v);
    const auto on = x != 0.0f;
    auto& nr = *noiseReductionBay;

    switch (index)
    {
        case clickCrackleDetection:
            clickAndCrackleBay->setAmount (x);
            break;
        case enhance:
            enhancementBay->setAmount (x);
            break;
        case tunerBroadbandNR:
            nr.setTuner (x);
            break;
        case amountBroadbandNR:
            nr.setReduction (x);
            break;
        case preserveVoice:
            nr.setPreserveVoice (on);
            break;
        case removeRumble:
            nr.setRemoveRumble (on);
            break;
        case humRemoval:
            nr.setHumMode ((int) x);
            break;
        case noiseReductionMode:
            nr.setMode ((int) x);
            break;
        case boostVolume:
            for (auto& m : maximizers)
            {
                m->enabled = on;
                m->setThresholdDb (x);
            }
            break;
        case declipper:
            for (auto& d : declippers)
                d->enabled = on;
            break;
        case track:
            nr.setTrack (on);
            break;
        case bypassParameter:
            bypass = on;
            break;
        case numHumHarmonics:
            nr.setNumHumHarmonics ((int) x);
            break;
        case rumbleFreq:
            nr.setRumbleFrequency (x);
            break;
        case lowPassFreq:
            nr.setLowPassFrequency (x);
            break;
        case broadbandLimitLow:
            nr.setBroadbandLimitLow (x);
            break;
        case broadbandLimitHigh:
            nr.setBroadbandLimitHigh (x);
            break;
        case enhancePreset:
            enhancementBay->setPreset ((int) x);
            break;
        case dexpThreshold:
            for (auto& e : expanders)
                e->setThreshold (x);
            break;
        case dexpAmount:
            for (auto& e : expanders)
            {
                e->setRatioBelow (x);
                e->enabled = x != 1.0f;
            }
            break;
        default:
            break;
    }

    if (parameter.announces)
        announcer.sendChangeMessage();
}

const juce::String ProcessingChain::getParameterText (int index)
{
    char text[32];

    if (index == boostVolume)
    {
        std::snprintf (text, sizeof (text), "%+2.2f", (double) maximizers[0]->getMakeupGain());
        return text;
    }

    // Two decimals, halves rounded away from zero.
    auto hundredths = std::round ((double) getParameter (index) * 100.0) + 0.0;
    std::snprintf (text, sizeof (text), "%.2f", hundredths / 100.0);
    return text;
}

//==============================================================================
void ProcessingChain::resetToDefaults()
{
    auto& nr = *noiseReductionBay;

    nr.clearNoiseProfiles();
    nr.resetToDefaults();
    nr.setTrack (false);
    nr.setLevelFloorDb (-36.0f);
    nr.setLevelRangeDb (18.0f);
    nr.setLevelAttack (0.001f);
    nr.setLevelRelease (0.01f);

    for (size_t c = 0; c < (size_t) numChannels; ++c)
    {
        maximizers[c]->enabled = false;
        maximizers[c]->setCeilingDb (-0.3f);
        maximizers[c]->setThresholdDb (0.0f);
        expanders[c]->enabled = false;
        expanders[c]->setThreshold (0.15f);
        expanders[c]->setMaxGainDb (0.0f);
        expanders[c]->setReleaseMs (30.0f);
        declippers[c]->enabled = false;
    }

    learnRegion = {};

    enhancementBay->setPreset (0);
    enhancementBay->setAmount (0.0f);

    clickAndCrackleBay->setAmount (0.0f);

    nr.setNumHumHarmonics (3);
    nr.setHumMode (2);

    announcer.sendChangeMessage();
}

void ProcessingChain::actionListenerCallback (const juce::String& message)
{
    announcer.sendChangeMessage();

    // A new mode brings its own tuner and amount: they are stated again, as if written from outside.
    if (message == "Mode")
        for (auto index : { tunerBroadbandNR, amountBroadbandNR, noiseReductionMode })
        {
            const auto value = getParameter (index);

            if (host != nullptr)
                host->restateParameter (index, value);
            else
                setParameter (index, value);
        }
}

//==============================================================================
void ProcessingChain::getState (juce::MemoryBlock& destData)
{
    auto* profile0 = noiseReductionBay->getChannelNoiseProfile (0);
    auto* profile1 = noiseReductionBay->getChannelNoiseProfile (1);

    if (profile0 == nullptr || profile1 == nullptr)
        return;

    auto xml0 = profile0->createXml();
    auto xml1 = profile1->createXml();

    if (xml0 == nullptr || xml1 == nullptr)
        return;

    juce::XmlElement root (stateTag);

    for (int i = 0; i < numParameters; ++i)
        if (const auto* key = ProcessorParameter::table[i].stateKey)
            root.setAttribute (key, formatStateValue ((double) getParameter (i)));

    root.addChildElement (xml0.release());
    root.addChildElement (xml1.release());

    StateBlob::write (root, destData);
}

bool ProcessingChain::restoreState (const void* data, int sizeInBytes)
{
    if (sizeInBytes <= 0)
        return false;

    // The root's tag is not checked: a renamed root still holds the settings.
    auto root = StateBlob::read (data, (size_t) sizeInBytes);

    if (root == nullptr)
        return false;

    // A missing or unreadable value (empty, not a number, not finite, beyond the float range) counts as 0.
    std::array<float, numParameters> values {};

    for (int i = 0; i < numParameters; ++i)
        if (isRestored (i))
            values[(size_t) i] =
                vesk::readFiniteFloat (root->getStringAttribute (ProcessorParameter::table[i].stateKey))
                    .value_or (0.0f);

    // The profiles come from the first two child elements, whatever their tags, and only when both read
    // whole at the bay's profile length; otherwise the current profiles stay, as with fewer children.
    auto* profile0 = noiseReductionBay->getChannelNoiseProfile (0);
    auto* profile1 = noiseReductionBay->getChannelNoiseProfile (1);
    auto restoreProfiles = root->getNumChildElements() >= 2 && profile0 != nullptr && profile1 != nullptr;

    for (int c = 0; c < 2 && restoreProfiles; ++c)
    {
        auto* profile = c == 0 ? profile0 : profile1;
        vesk::ZBuffer scratch (profile->getLength(), "ZBuffer");
        restoreProfiles =
            scratch.restoreFromXml (*root->getChildElement (c)) && scratch.getLength() == profile->getLength();
    }

    for (int i = 0; i < numParameters; ++i)
        if (isRestored (i))
            setParameter (i, values[(size_t) i]);

    if (restoreProfiles)
    {
        profile0->restoreFromXml (*root->getChildElement (0));
        profile1->restoreFromXml (*root->getChildElement (1));
        noiseReductionBay->applyNoiseProfiles();
    }

    return true;
}
