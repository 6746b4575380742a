#include "AnalysisPass.h"

#include "ProcessingChain.h"
#include "ProgressLoop.h"
#include "TavAudioTapProcessor.h"

#include "ZClickAndCrackleBay.h"
#include "ZDeclipping.h"
#include "ZNoiseAnalyzer.h"
#include "ZNoiseReductionBay.h"

AnalysisPass::AnalysisPass (ProcessingChain& chainToUse, SessionHost& hostToUse) : chain (chainToUse), host (hostToUse)
{
}

std::unique_ptr<juce::AudioFormatReader> AnalysisPass::createReader (const juce::File& file)
{
    auto* formats = host.getFormatManager();

    if (formats == nullptr || !file.existsAsFile())
        return nullptr;

    return std::unique_ptr<juce::AudioFormatReader> (formats->createReaderFor (file));
}

void AnalysisPass::readBlock (juce::AudioFormatReader* reader, juce::int64 startSample, int numSamples,
                              juce::AudioBuffer<float>& buffer)
{
    const auto n = juce::jmin (numSamples, buffer.getNumSamples());
    const auto channels = juce::jmin (2, buffer.getNumChannels());

    if (n <= 0 || channels <= 0)
        return;

    for (int c = 0; c < channels; ++c)
        buffer.clear (c, 0, n);

    if (reader == nullptr)
        return;

    // Before the start and past the end there is only silence.
    const auto from = juce::jmax<juce::int64> (0, startSample);
    const auto to = juce::jmin<juce::int64> (reader->lengthInSamples, startSample + n);

    if (to <= from)
        return;

    const auto offset = (int) (from - startSample);
    const auto count = (int) (to - from);
    float* targets[2] = { buffer.getWritePointer (0, offset),
                          channels > 1 ? buffer.getWritePointer (1, offset) : nullptr };

    if (reader->numChannels < 2 || targets[1] == nullptr)
    {
        reader->read (targets, 1, from, count);

        if (targets[1] != nullptr)
            juce::FloatVectorOperations::copy (targets[1], targets[0], count);
    }
    else
    {
        reader->read (targets, 2, from, count);
    }
}

bool AnalysisPass::readSamples (const juce::File& file, juce::int64 startSample, int numSamples,
                                juce::AudioBuffer<float>& buffer)
{
    auto reader = createReader (file);

    if (reader == nullptr)
        return false;

    readBlock (reader.get(), startSample, numSamples, buffer);
    return true;
}

void AnalysisPass::clearResults()
{
    chain.getLearnRegion() = {};

    // What the analyzer found in an earlier file must never be taken for this one's.
    auto& analyzer = chain.getNoiseAnalyzer();
    analyzer.prepare (0);
    analyzer.finish();
}

bool AnalysisPass::findNoise (const juce::File& file)
{
    auto reader = createReader (file);

    if (reader == nullptr)
        return false;

    auto& analyzer = chain.getNoiseAnalyzer();
    const auto hop = analyzer.getHopSize();
    const auto total = reader->lengthInSamples;
    juce::AudioBuffer<float> buffer (2, hop);

    analyzer.prepare (total);
    analyzer.setSensitivity (sensitivity);

    {
        ProgressLoop analyzing (host, "Analyzing...");

        for (juce::int64 position = 0; position < total; position += hop)
        {
            analyzing.update (position, total);
            readBlock (reader.get(), position, hop, buffer);
            chain.feedNoiseAnalyzer (buffer);
        }
    }

    chain.finishNoiseAnalysis();

    if (!(analyzer.getConfidence() > confidence))
        return false;

    chain.getLearnRegion() = { analyzer.getStartSample(), analyzer.getLengthSamples() };
    return true;
}

void AnalysisPass::learnFromRegion (const juce::File& file)
{
    auto& bay = chain.getNoiseReductionBay();
    const auto region = chain.getLearnRegion();

    // The bay sees the chain's input late by the stages ahead of it, and cuts what reaches it into frames
    // after a priming of zeros. Feeding starts early enough for the region's first sample to open a frame
    // at the bay, and learning covers exactly the frames that hold the region.
    constexpr juce::int64 block = ProcessingChain::chainBlockSize;
    constexpr juce::int64 frame = vesk::ZNoiseReductionBay::frameLength;
    const juce::int64 priming = vesk::ZNoiseReductionBay::primingFor ((int) block);
    const juce::int64 ahead =
        (juce::int64) chain.getDeclipper (0).getLatency() + chain.getClickAndCrackleBay().getLatency();

    const auto length = region.lengthSamples > 0 ? region.lengthSamples : 2 * (juce::int64) chain.getBlockSize();
    const auto frames = juce::jmax<juce::int64> (1, length / frame);
    const auto firstFrame = (ahead + priming + frame - 1) / frame;
    const auto feedStart = region.startSample + ahead + priming - frame * firstFrame;

    // Frame k is complete at the bay in the call that brings its input to frame k + frame - priming samples.
    const auto callCompleting = [&] (juce::int64 k) { return (frame * k + frame - priming + block - 1) / block - 1; };
    const auto startCall = callCompleting (firstFrame);
    const auto stopCall = callCompleting (firstFrame + frames - 1);

    auto reader = createReader (file);
    juce::AudioBuffer<float> buffer (2, (int) block);

    // A renderer may run ahead of a paused player: it waits while the pass drives the chain.
    const std::lock_guard<std::mutex> hold (TavAudioTapProcessor::getProcessorLock());
    const ProcessingChain::OfflineProcessing offline (chain);
    chain.reset();

    for (juce::int64 call = 0; call <= stopCall; ++call)
    {
        if (call == startCall)
            bay.startLearning();

        // Learning ends at the frame this call completes.
        if (call == stopCall)
            bay.stopLearning();

        readBlock (reader.get(), feedStart + call * block, (int) block, buffer);
        chain.process (buffer, (int) block);
    }

    chain.reset();
}
