#include "ZClickAndCrackleBay.h"

#include "vj_exception.h"

#include <algorithm>

namespace vesk
{

namespace
{
int checkedChannels (int channels)
{
    if (channels < 1 || channels > ZClickAndCrackleBay::maxChannels)
        VJ_DSP_THROW ("The click and crackle bay supports 1 or 2 channels.");

    return channels;
}
} // namespace

ZClickAndCrackleBay::ZClickAndCrackleBay (const char*, int numChannels)
    : channels (checkedChannels (numChannels)), crackleProcessors ((size_t) channels),
      clickProcessors ((size_t) channels), dryDelays ((size_t) channels),
      enabled (std::make_unique<juce::Value> (juce::var (1))),
      crackleThreshold (std::make_unique<juce::Value> (juce::var (30.0))),
      clickThreshold (std::make_unique<juce::Value> (juce::var (30.0)))
{
}

ZClickAndCrackleBay::~ZClickAndCrackleBay() = default;

void ZClickAndCrackleBay::setSampleRate (float newSampleRate)
{
    sampleRate = newSampleRate;

    for (auto& crackle : crackleProcessors)
        if (crackle != nullptr)
            crackle->sampleRate = newSampleRate;

    for (auto& click : clickProcessors)
        if (click != nullptr)
            click->sampleRate = newSampleRate;
}

void ZClickAndCrackleBay::setBlockSize (int newBlockSize)
{
    const auto previous = blockSize;
    blockSize = newBlockSize;

    try
    {
        prepare();
    }
    catch (...)
    {
        blockSize = previous;
        throw;
    }
}

bool ZClickAndCrackleBay::prepare()
{
    // Everything is built first, so that a failure leaves the bay as it was.
    std::vector<std::unique_ptr<ZCrackleProcessor>> newCrackle ((size_t) channels);
    std::vector<std::unique_ptr<ZClickProcessor>> newClick ((size_t) channels);
    std::vector<std::unique_ptr<ZDelayBuffer>> newDelays ((size_t) channels);

    for (size_t c = 0; c < (size_t) channels; ++c)
    {
        newCrackle[c] = ZCrackleProcessor::create (blockSize, sampleRate);
        newClick[c] = ZClickProcessor::create (blockSize, sampleRate);
    }

    const auto newLatency = newCrackle[0]->getLatency() + newClick[0]->getLatency();

    for (auto& delay : newDelays)
        delay = ZDelayBuffer::create ((newLatency + blockSize) * 2);

    crackleProcessors = std::move (newCrackle);
    clickProcessors = std::move (newClick);
    dryDelays = std::move (newDelays);
    latency = newLatency;

    const auto enabledNow = (int) enabled->getValue();

    for (auto& channelSwitch : switches)
        channelSwitch.prepare (enabledNow, (unsigned) latency);

    reset();
    return true;
}

void ZClickAndCrackleBay::reset()
{
    for (size_t c = 0; c < (size_t) channels; ++c)
    {
        if (crackleProcessors[c] != nullptr)
            crackleProcessors[c]->reset();

        if (clickProcessors[c] != nullptr)
            clickProcessors[c]->reset();

        if (dryDelays[c] != nullptr)
            dryDelays[c]->reset();
    }
}

void ZClickAndCrackleBay::process (ZBuffer** in, ZBuffer** out, int count)
{
    if (beginBlock (out))
        processChannels (in, out, count);
}

void ZClickAndCrackleBay::processChannels (ZBuffer** in, ZBuffer** out, int count)
{
    // Two channels settled on the processed path run their crackle processors side by side.
    const auto settled = [this] (size_t c)
    { return switches[c].getPreviousEnabled() == 1 && !switches[c].isInTransition(); };

    if (channels == 2 && blockEnabled == 1 && settled (0) && settled (1))
    {
        const auto n = std::min (
            { count, blockSize, in[0]->getLength(), out[0]->getLength(), in[1]->getLength(), out[1]->getLength() });

        if (n > 0)
        {
            for (size_t c = 0; c < 2; ++c)
            {
                clickProcessors[c]->setThresholdDb (blockClickDb);
                crackleProcessors[c]->setThresholdDb (blockCrackleDb);
                clickProcessors[c]->process (*in[c], *out[c], n);
            }

            ZCrackleProcessor::processPair (*crackleProcessors[0], *out[0], *out[0], *crackleProcessors[1], *out[1],
                                            *out[1], n);
            return;
        }
    }

    for (int c = 0; c < channels; ++c)
        processChannel (c, *in[c], *out[c], count);
}

bool ZClickAndCrackleBay::beginBlock (ZBuffer** out)
{
    if (clickProcessors[0] == nullptr)
    {
        for (int c = 0; c < channels; ++c)
            out[c]->clear();

        return false;
    }

    blockClickDb = (float) (double) clickThreshold->getValue();
    blockCrackleDb = (float) (double) crackleThreshold->getValue();
    blockEnabled = (int) enabled->getValue();
    return true;
}

void ZClickAndCrackleBay::processChannel (int channel, ZBuffer& input, ZBuffer& output, int count)
{
    const auto c = (size_t) channel;
    auto& click = *clickProcessors[c];
    auto& crackle = *crackleProcessors[c];
    auto& dry = *dryDelays[c];
    click.setThresholdDb (blockClickDb);
    crackle.setThresholdDb (blockCrackleDb);

    const auto n = std::min ({ count, blockSize, input.getLength(), output.getLength() });

    if (n <= 0)
        return;

    switches[c].process (
        blockEnabled, (unsigned) n,
        [&]
        {
            click.process (input, output, n);
            crackle.process (output, output, n);
        },
        [&]
        {
            dry.writeSamples (&input, (unsigned) n);
            dry.readSamples (&output, (unsigned) latency, n);
        });
}

void ZClickAndCrackleBay::setAmount (float x)
{
    const auto clickDb = 27.0f * (1.0f - x) + 3.0f;
    const auto crackleDb = 20.0f * (1.0f - x) + 10.0f;
    clickThreshold->setValue ((double) clickDb);
    crackleThreshold->setValue ((double) crackleDb);
    amount = x;
}

} // namespace vesk
