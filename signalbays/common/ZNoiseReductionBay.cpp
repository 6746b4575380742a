#include "ZNoiseReductionBay.h"

#include "vj_exception.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vesk
{

namespace
{
constexpr float profileFloorDb = -48.0f;
constexpr float displayFloorDb = -120.0f;
constexpr int overlapSamples = ZNoiseReductionBay::frameLength * 3 / 4;

void fill (ZBuffer& buffer, float value)
{
    std::fill_n (buffer.getData(), buffer.getLength(), value);
}

bool allFinite (const ZBuffer& buffer)
{
    const auto* d = buffer.getData();
    return std::all_of (d, d + buffer.getLength(), [] (float x) { return std::isfinite (x); });
}
} // namespace

ZNoiseReductionBay::ZNoiseReductionBay (const char*, int numChannels) : channels (numChannels)
{
    if (numChannels > maxChannels)
        VJ_DSP_THROW ("Noise Reduction does not support that many channels.");

    if (numChannels < 1)
        VJ_DSP_THROW ("Noise Reduction needs at least one channel.");

    tuner = std::make_unique<juce::Value> (juce::var (3.0));
    reduction = std::make_unique<juce::Value> (juce::var (15.0));
    attackRamp = std::make_unique<juce::Value> (juce::var (0.15));
    releaseRamp = std::make_unique<juce::Value> (juce::var (0.1));
    preserveVoice = std::make_unique<juce::Value> (juce::var (0));
    lowPassFrequency = std::make_unique<juce::Value> (juce::var (8000));
    removeRumble = std::make_unique<juce::Value> (juce::var (0));
    rumbleFrequency = std::make_unique<juce::Value> (juce::var (100));
    humMode = std::make_unique<juce::Value> (juce::var (2));
    mode = std::make_unique<juce::Value> (juce::var (0));
    learning = std::make_unique<juce::Value> (juce::var (0));
    appliedMode = std::make_unique<juce::Value> (juce::var (1));
    broadbandLimitLow = std::make_unique<juce::Value> (juce::var (22050.0));
    broadbandLimitHigh = std::make_unique<juce::Value> (juce::var (0.0));
}

ZNoiseReductionBay::~ZNoiseReductionBay() = default;

//==============================================================================
int ZNoiseReductionBay::primingFor (int n) noexcept
{
    if (n < 1)
        return overlapSamples;

    return std::max (overlapSamples, frameLength - std::gcd (n, frameLength));
}

void ZNoiseReductionBay::updateLatency()
{
    const auto overlap = overlapAdd[0] != nullptr ? overlapAdd[0]->getOverlap() : overlapSamples;
    latency = overlap + primingFor (blockSize);
}

bool ZNoiseReductionBay::prepare()
{
    if (kernels == nullptr)
        kernels = ZGain::create (false);

    if (learningWindow == nullptr)
        learningWindow = ZSignalWindow::create (frameLength, ZSignalWindow::hamming, 0.0f);

    const auto windowSum = learningWindow->getSum();
    spectrumGain = windowSum != 0.0f ? 2048.0f / windowSum : 1.0f;

    if (spectrum == nullptr)
        spectrum = std::make_unique<ZBuffer> (binCount, "mSpectrum");

    if (noiseProfileDisplay == nullptr)
        noiseProfileDisplay = std::make_unique<ZBuffer> (binCount, "mNoiseProfile");

    for (int c = 0; c < channels; ++c)
    {
        if (noiseProfiles[(size_t) c] == nullptr)
        {
            const auto name = juce::String ("NoiseProfile") + juce::String (c);
            noiseProfiles[(size_t) c] = std::make_unique<ZBuffer> (binCount, name.toRawUTF8());
            fill (*noiseProfiles[(size_t) c], profileFloorDb);
        }
    }

    const auto humFiltersExisted = humFilters[0][0] != nullptr;

    for (int c = 0; c < channels; ++c)
        createChannel (c);

    // Notches made now follow a hum mode chosen before they existed.
    if (!humFiltersExisted && getHumMode() != 2)
        setHumMode (getHumMode());

    const auto makeWork = [] (std::unique_ptr<ZBuffer>& buffer, int length)
    {
        if (buffer == nullptr)
            buffer = std::make_unique<ZBuffer> (length, "ZBuffer");
    };

    for (int c = 0; c < channels; ++c)
        createWork (c);

    makeWork (displayAccumulator, binCount);
    makeWork (profileDisplayWork, binCount);
    prepared = true;

    fill (*displayAccumulator, displayFloorDb);
    spectrum->copyFrom (*displayAccumulator);

    updateLatency();
    rebuildNoiseProfileDisplay();
    reset();
    return true;
}

void ZNoiseReductionBay::createChannel (int c)
{
    const auto i = (size_t) c;

    if (overlapAdd[i] == nullptr)
        overlapAdd[i] = ZWindowedOverlapAdd::create (frameLength, segmentCount);

    if (gates[i] == nullptr)
    {
        gates[i] = ZSpectralCompressor::create (binCount, sampleRate);
        auto& gate = *gates[i];
        gate.buildGainCurve (readFloat (*reduction), 2.0f);
        gate.fillThresholds (profileFloorDb);
        gate.setThresholdOffset (readFloat (*tuner));
        const auto a = readFloat (*attackRamp);
        const auto r = readFloat (*releaseRamp);
        gate.setAttackRamp (a, 1.5f * a);
        gate.setReleaseRamp (r, 2.0f * r);
    }

    if (rumbleFilters[i] == nullptr)
    {
        rumbleFilters[i] = ZParametricFilter::create (sampleRate);
        rumbleFilters[i]->setParameters (ZParametricFilter::highPass, readFloat (*rumbleFrequency), 0.9f, 0.0f);
    }

    if (voiceFilters[i] == nullptr)
    {
        voiceFilters[i] = ZParametricFilter::create (sampleRate);
        voiceFilters[i]->setParameters (ZParametricFilter::lowPass, readFloat (*lowPassFrequency), 0.707f, 0.0f);
    }

    if (learningSums[i] == nullptr)
        learningSums[i] = std::make_unique<ZBuffer> (binCount, "ZBuffer");

    if (inputConverters[i] == nullptr)
        inputConverters[i] = ZBufferSizeConverter::create (blockSize, frameLength);

    if (outputConverters[i] == nullptr)
        outputConverters[i] = ZBufferSizeConverter::create (frameLength, blockSize);

    for (auto& filter : humFilters[i])
        if (filter == nullptr)
            filter = ZParametricFilter::create (sampleRate);
}

void ZNoiseReductionBay::createWork (int c)
{
    auto& w = work[(size_t) c];

    if (w.forward == nullptr)
        w.forward = ZFourierTransform::create (10, ZFourierTransform::forward, true);

    if (w.inverse == nullptr)
        w.inverse = ZFourierTransform::create (10, ZFourierTransform::inverse, true);

    if (w.frame == nullptr)
        w.frame = std::make_unique<ZBuffer> (frameLength, "ZBuffer");

    if (w.spectrumRe == nullptr)
        w.spectrumRe = std::make_unique<ZBuffer> (binCount, "ZBuffer");

    if (w.spectrumIm == nullptr)
        w.spectrumIm = std::make_unique<ZBuffer> (binCount, "ZBuffer");

    if (w.filterScratch == nullptr)
        w.filterScratch = std::make_unique<ZBuffer> (frameLength, "ZBuffer");

    if (w.heldRe == nullptr)
        w.heldRe = std::make_unique<ZBuffer> (binCount, "ZBuffer");

    if (w.heldIm == nullptr)
        w.heldIm = std::make_unique<ZBuffer> (binCount, "ZBuffer");

    // Enough kept spectra for the frames that one block of the current size can complete.
    const auto framesPerBlock = (size_t) (blockSize / frameLength + 2);

    while (w.displayRe.size() < framesPerBlock)
    {
        w.displayRe.push_back (std::make_unique<ZBuffer> (binCount, "ZBuffer"));
        w.displayIm.push_back (std::make_unique<ZBuffer> (binCount, "ZBuffer"));
    }
}

void ZNoiseReductionBay::primeConverters (int c)
{
    const auto i = (size_t) c;
    inputConverters[i]->reset();
    outputConverters[i]->reset();

    auto* frame = work[i].frame.get();

    if (frame == nullptr)
        return;

    frame->clear();
    inputConverters[i]->writeSamples (frame, (unsigned) primingFor (blockSize));
}

void ZNoiseReductionBay::reset()
{
    if (!prepared)
        return;

    for (int c = 0; c < channels; ++c)
    {
        auto& w = work[(size_t) c];
        w.frame->clear();
        w.spectrumRe->clear();
        w.spectrumIm->clear();
    }

    fill (*displayAccumulator, displayFloorDb);
    fill (*profileDisplayWork, profileFloorDb);

    for (int c = 0; c < channels; ++c)
    {
        const auto i = (size_t) c;
        overlapAdd[i]->reset();
        gates[i]->reset();
        voiceFilters[i]->reset();
        rumbleFilters[i]->reset();

        // Sums and counts go together, so a reset while learning never divides old frames' count
        // into a cleared sum.
        learningSums[i]->clear();
        learningFrameCounts[i] = 0;

        primeConverters (c);

        for (auto& filter : humFilters[i])
            filter->reset();
    }
}

void ZNoiseReductionBay::setSampleRate (float newRate)
{
    if (!(newRate > 0.0f) || !std::isfinite (newRate))
        return;

    sampleRate = newRate;
    const auto rumbleHz = readFloat (*rumbleFrequency);
    const auto voiceHz = readFloat (*lowPassFrequency);

    for (int c = 0; c < channels; ++c)
    {
        const auto i = (size_t) c;

        if (auto* rumble = rumbleFilters[i].get())
        {
            rumble->setSampleRate (newRate);
            rumble->setParameters (ZParametricFilter::highPass, rumbleHz, 0.9f, 0.0f);
        }

        if (auto* voice = voiceFilters[i].get())
        {
            voice->setSampleRate (newRate);
            voice->setParameters (ZParametricFilter::lowPass, voiceHz, 0.707f, 0.0f);
        }

        if (auto* gate = gates[i].get())
            gate->setSampleRate (newRate);

        for (auto& filter : humFilters[i])
            if (filter != nullptr)
                filter->setSampleRate (newRate);
    }

    const auto hum = getHumMode();

    if (hum == 1)
        setHumFrequency (60.0f);
    else if (hum == 0)
        setHumFrequency (50.0f);
}

void ZNoiseReductionBay::setBlockSize (int n)
{
    if (n < 1)
        return;

    blockSize = n;

    for (int c = 0; c < channels; ++c)
    {
        if (prepared)
            createWork (c);

        inputConverters[(size_t) c] = ZBufferSizeConverter::create (n, frameLength);
        outputConverters[(size_t) c] = ZBufferSizeConverter::create (frameLength, n);
        primeConverters (c);
    }

    updateLatency();
}

void ZNoiseReductionBay::resetToDefaults()
{
    setTuner (3.0f);
    setReduction (15.0f);
    attackRamp->setValue (0.15);
    releaseRamp->setValue (0.1);
    applyGateRamps();
    preserveVoice->setValue (0);
    removeRumble->setValue (0);
    setHumMode (2);
    mode->setValue (0);
    learning->setValue (0);
    appliedMode->setValue (1);

    for (int c = 0; c < channels; ++c)
        if (auto* profile = noiseProfiles[(size_t) c].get())
            fill (*profile, profileFloorDb);

    applyNoiseProfiles();
}

//==============================================================================
void ZNoiseReductionBay::setReduction (float dB)
{
    if (!std::isfinite (dB))
        return;

    reduction->setValue ((double) dB);

    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->buildGainCurve (dB, 2.0f);
}

float ZNoiseReductionBay::getReduction() const
{
    return readFloat (*reduction);
}

void ZNoiseReductionBay::setTuner (float dB)
{
    if (!std::isfinite (dB))
        return;

    tuner->setValue ((double) dB);

    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setThresholdOffset (dB);

    rebuildNoiseProfileDisplay();
}

float ZNoiseReductionBay::getTuner() const
{
    return readFloat (*tuner);
}

void ZNoiseReductionBay::setPreserveVoice (bool shouldPreserve)
{
    preserveVoice->setValue (shouldPreserve);
}

bool ZNoiseReductionBay::getPreserveVoice() const
{
    return (bool) preserveVoice->getValue();
}

void ZNoiseReductionBay::setRemoveRumble (bool shouldRemove)
{
    removeRumble->setValue (shouldRemove);
}

bool ZNoiseReductionBay::getRemoveRumble() const
{
    return (bool) removeRumble->getValue();
}

void ZNoiseReductionBay::setRumbleFrequency (float hz)
{
    if (!(hz > 0.0f) || !std::isfinite (hz))
        return;

    rumbleFrequency->setValue ((double) hz);
    applyRumbleFilter();
}

float ZNoiseReductionBay::getRumbleFrequency() const
{
    return readFloat (*rumbleFrequency);
}

void ZNoiseReductionBay::setLowPassFrequency (float hz)
{
    if (!(hz > 0.0f) || !std::isfinite (hz))
        return;

    lowPassFrequency->setValue ((double) hz);
    applyVoiceFilter();
}

float ZNoiseReductionBay::getLowPassFrequency() const
{
    return readFloat (*lowPassFrequency);
}

void ZNoiseReductionBay::applyRumbleFilter()
{
    const auto hz = readFloat (*rumbleFrequency);

    for (int c = 0; c < channels; ++c)
        if (auto* filter = rumbleFilters[(size_t) c].get())
            filter->setParameters (ZParametricFilter::highPass, hz, 0.9f, 0.0f);
}

void ZNoiseReductionBay::applyVoiceFilter()
{
    const auto hz = readFloat (*lowPassFrequency);

    for (int c = 0; c < channels; ++c)
        if (auto* filter = voiceFilters[(size_t) c].get())
            filter->setParameters (ZParametricFilter::lowPass, hz, 0.707f, 0.0f);
}

void ZNoiseReductionBay::setBroadbandLimitLow (float hz)
{
    if (!std::isfinite (hz))
        return;

    broadbandLimitLow->setValue ((double) hz);

    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setFrequencyRange (hz, getBroadbandLimitHigh());
}

void ZNoiseReductionBay::setBroadbandLimitHigh (float hz)
{
    if (!std::isfinite (hz))
        return;

    broadbandLimitHigh->setValue ((double) hz);

    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setFrequencyRange (getBroadbandLimitLow(), hz);
}

float ZNoiseReductionBay::getBroadbandLimitLow() const
{
    return readFloat (*broadbandLimitLow);
}

float ZNoiseReductionBay::getBroadbandLimitHigh() const
{
    return readFloat (*broadbandLimitHigh);
}

void ZNoiseReductionBay::setHumMode (int m)
{
    m = juce::jlimit (0, 2, m);
    humMode->setValue (m);

    if (m == 0)
        setHumFrequency (50.0f);
    else if (m == 1)
        setHumFrequency (60.0f);
}

int ZNoiseReductionBay::getHumMode() const
{
    return readInt (*humMode);
}

void ZNoiseReductionBay::setHumFrequency (float base)
{
    for (int c = 0; c < channels; ++c)
    {
        for (int j = 0; j < maxHumHarmonics; ++j)
        {
            if (auto* filter = humFilters[(size_t) c][(size_t) j].get())
                filter->setParameters (ZParametricFilter::peaking, (float) (j + 1) * base, 60.0f,
                                       (float) (2 * j) - 48.0f);
        }
    }
}

void ZNoiseReductionBay::setNumHumHarmonics (int n)
{
    humHarmonics.store (juce::jlimit (0, maxHumHarmonics, n), std::memory_order_relaxed);
    setHumMode (getHumMode());
}

void ZNoiseReductionBay::setMode (int m)
{
    mode->setValue (juce::jlimit (0, 2, m));
}

int ZNoiseReductionBay::getMode() const
{
    return readInt (*mode);
}

int ZNoiseReductionBay::isLearning() const
{
    return readInt (*learning);
}

void ZNoiseReductionBay::setTrack (bool shouldTrack)
{
    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setTrack (shouldTrack);
}

bool ZNoiseReductionBay::getTrack() const
{
    return gates[0] != nullptr ? gates[0]->getTrack() : true;
}

void ZNoiseReductionBay::setLevelFloorDb (float dB)
{
    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setLevelFloorDb (dB);
}

void ZNoiseReductionBay::setLevelRangeDb (float dB)
{
    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setLevelRangeDb (dB);
}

void ZNoiseReductionBay::setLevelAttack (float seconds)
{
    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setLevelAttack (seconds);
}

void ZNoiseReductionBay::setLevelRelease (float seconds)
{
    for (int c = 0; c < channels; ++c)
        if (auto* gate = gates[(size_t) c].get())
            gate->setLevelRelease (seconds);
}

void ZNoiseReductionBay::applyGateRamps()
{
    const auto a = readFloat (*attackRamp);
    const auto r = readFloat (*releaseRamp);

    for (int c = 0; c < channels; ++c)
    {
        if (auto* gate = gates[(size_t) c].get())
        {
            gate->setAttackRamp (a, 1.5f * a);
            gate->setReleaseRamp (r, 2.0f * r);
        }
    }
}

//==============================================================================
ZBuffer* ZNoiseReductionBay::getChannelNoiseProfile (int channel)
{
    if (channel < 0 || channel >= channels)
        return nullptr;

    return noiseProfiles[(size_t) channel].get();
}

void ZNoiseReductionBay::applyNoiseProfiles()
{
    for (int c = 0; c < channels; ++c)
    {
        auto* gate = gates[(size_t) c].get();
        auto* profile = noiseProfiles[(size_t) c].get();

        // A restored profile may carry bins that are not finite; they go back to the empty profile's level.
        if (profile != nullptr)
            for (auto* x = profile->getData(); x != profile->getData() + profile->getLength(); ++x)
                if (!std::isfinite (*x))
                    *x = profileFloorDb;

        if (gate != nullptr && profile != nullptr)
            gate->setThresholds (profile);

        rebuildNoiseProfileDisplay();
    }

    sendActionMessage (noiseProfileMessage);
}

void ZNoiseReductionBay::clearNoiseProfiles()
{
    for (int c = 0; c < channels; ++c)
        if (auto* profile = noiseProfiles[(size_t) c].get())
            fill (*profile, profileFloorDb);

    applyNoiseProfiles();
}

void ZNoiseReductionBay::rebuildNoiseProfileDisplay()
{
    if (profileDisplayWork == nullptr || noiseProfileDisplay == nullptr || kernels == nullptr)
        return;

    for (int c = 0; c < channels; ++c)
        if (gates[(size_t) c] == nullptr)
            return;

    const auto offset = 20.0f * std::log10 (spectrumGain) + gates[0]->getThresholdOffset();
    fill (*profileDisplayWork, (float) channels * offset);

    for (int c = 0; c < channels; ++c)
        kernels->scaleAddTo (gates[(size_t) c]->getThresholds(), profileDisplayWork.get(), 1.0f);

    kernels->scale (profileDisplayWork.get(), 1.0f / (float) channels);
    noiseProfileDisplay->copyFrom (*profileDisplayWork);
    spectrum->sendActionMessage (noiseProfileUpdateMessage);
}

//==============================================================================
void ZNoiseReductionBay::startLearning()
{
    stopRequest.store (false);

    for (int c = 0; c < channels; ++c)
    {
        learningFrameCounts[(size_t) c] = 0;

        if (auto* sum = learningSums[(size_t) c].get())
            sum->clear();
    }

    mode->setValue (0);
    learning->setValue (1);
}

void ZNoiseReductionBay::stopLearning()
{
    stopRequest.store (true);
}

uint32_t ZNoiseReductionBay::getLearningFrameCount (int channel) const noexcept
{
    if (channel < 0 || channel >= channels)
        return 0;

    return learningFrameCounts[(size_t) channel];
}

//==============================================================================
void ZNoiseReductionBay::process (ZBuffer** in, ZBuffer** out, int count)
{
    if (!beginBlock (in, out, count))
        return;

    processChannels (in, out, count);
    endBlock();
}

bool ZNoiseReductionBay::beginBlock (ZBuffer** in, ZBuffer** out, int count)
{
    if (!prepared || in == nullptr || out == nullptr || count <= 0)
        return beginBlock (BlockSettings {}, in, out, count);

    return beginBlock (latchSettings(), in, out, count);
}

ZNoiseReductionBay::BlockSettings ZNoiseReductionBay::latchSettings()
{
    // One decision for the whole block and every channel, so that the channels stay in step.
    BlockSettings settings;
    settings.mode = juce::jlimit (0, 2, readInt (*mode));

    if (settings.mode != readInt (*appliedMode))
        appliedMode->setValue (settings.mode);

    settings.learning = readInt (*learning) == 1;
    settings.stop = settings.learning && stopRequest.load();
    settings.humOn = getHumMode() != 2;
    settings.harmonics = getNumHumHarmonics();
    settings.voice = readInt (*preserveVoice) == 1;
    settings.rumble = readInt (*removeRumble) == 1;
    settings.display = displayActive.load();
    return settings;
}

bool ZNoiseReductionBay::beginBlock (const BlockSettings& settings, ZBuffer** in, ZBuffer** out, int count)
{
    if (!prepared || in == nullptr || out == nullptr || count <= 0)
    {
        if (out != nullptr && count > 0)
            for (int c = 0; c < channels; ++c)
                if (out[c] != nullptr)
                    std::fill_n (out[c]->getData(), std::min (count, out[c]->getLength()), 0.0f);

        return false;
    }

    blockMode = settings.mode;
    blockLearning = settings.learning;
    blockStop = settings.stop;
    blockHumOn = settings.humOn;
    blockHarmonics = settings.harmonics;
    blockVoice = settings.voice;
    blockRumble = settings.rumble;
    blockDisplay = settings.display;

    for (int c = 0; c < channels; ++c)
    {
        auto& w = work[(size_t) c];
        w.displayFrames = 0;
        w.displayed = false;
        w.learned = false;
    }

    return true;
}

void ZNoiseReductionBay::processChannel (int c, ZBuffer* source, ZBuffer* destination, int count)
{
    if (source == nullptr || destination == nullptr)
        return;

    const auto n = std::min ({ count, source->getLength(), destination->getLength() });
    auto& input = *inputConverters[(size_t) c];
    auto* frame = work[(size_t) c].frame.get();
    input.writeSamples (source, (unsigned) n);

    while (input.read (frame))
    {
        if (blockLearning)
        {
            processLearningFrame (c);
            work[(size_t) c].learned = true;
            continue;
        }

        switch (blockMode)
        {
            case 1:
                processFrameGated (c, false);
                break;
            case 2:
                processFrameGated (c, true);
                break;
            default:
                processFrameOff (c);
                break;
        }
    }

    readOutput (c, destination, n);
}

void ZNoiseReductionBay::processChannels (ZBuffer** in, ZBuffer** out, int count)
{
    const auto length = [count] (ZBuffer* source, ZBuffer* destination) {
        return std::min ({ count, source->getLength(), destination->getLength() });
    };

    // Two channels whose frames complete together and both start with the hum notches: those run
    // side by side. Anything else goes channel by channel.
    const auto paired = channels == 2 && in[0] != nullptr && in[1] != nullptr && out[0] != nullptr && out[1] != nullptr
                        && !blockLearning && blockMode != 2 && blockHumOn && blockHarmonics > 0
                        && length (in[0], out[0]) == length (in[1], out[1])
                        && inputConverters[0]->getAvailable() == inputConverters[1]->getAvailable();

    if (!paired)
    {
        for (int c = 0; c < channels; ++c)
            processChannel (c, in[c], out[c], count);

        return;
    }

    const auto n = length (in[0], out[0]);
    auto* frame0 = work[0].frame.get();
    auto* frame1 = work[1].frame.get();
    inputConverters[0]->writeSamples (in[0], (unsigned) n);
    inputConverters[1]->writeSamples (in[1], (unsigned) n);

    while (inputConverters[0]->read (frame0) && inputConverters[1]->read (frame1))
    {
        ZParametricFilter* notches0[maxHumHarmonics];
        ZParametricFilter* notches1[maxHumHarmonics];

        for (int j = 0; j < blockHarmonics; ++j)
        {
            notches0[j] = humFilters[0][(size_t) j].get();
            notches1[j] = humFilters[1][(size_t) j].get();
        }

        ZParametricFilter::processCascadePair (notches0, notches1, blockHarmonics, frame0, frame1);

        for (int c = 0; c < 2; ++c)
        {
            if (blockMode == 1)
                processFrameGated (c, false, false);
            else
                processFrameOff (c, false);
        }
    }

    readOutput (0, out[0], n);
    readOutput (1, out[1], n);
}

void ZNoiseReductionBay::endBlock()
{
    auto learnedFrames = false, displayed = false;

    for (int c = 0; c < channels; ++c)
    {
        learnedFrames = learnedFrames || work[(size_t) c].learned;
        displayed = displayed || work[(size_t) c].displayed;
    }

    // Learning ends between blocks: every channel has summed the same frames, and the output stream
    // goes on with the same overlap-add and converters, so no sample is skipped or repeated.
    if (blockStop && learnedFrames)
        finishLearning();

    if (displayed)
    {
        // The kept spectra in channel and frame order: the sums of a single-threaded pass.
        displayAccumulator->clear();

        for (int c = 0; c < channels; ++c)
        {
            auto& w = work[(size_t) c];

            for (int f = 0; f < w.displayFrames; ++f)
            {
                kernels->multiplyAddTo (w.displayRe[(size_t) f].get(), w.displayRe[(size_t) f].get(),
                                        displayAccumulator.get());
                kernels->multiplyAddTo (w.displayIm[(size_t) f].get(), w.displayIm[(size_t) f].get(),
                                        displayAccumulator.get());
            }
        }

        kernels->scale (displayAccumulator.get(), spectrumGain * spectrumGain);
        kernels->powerToDecibelsFloor (displayAccumulator.get(), displayFloorDb);
        spectrum->copyFrom (*displayAccumulator);
    }

    // Nobody to tell without a display.
    if (blockDisplay)
        spectrum->sendActionMessage (spectrumUpdateMessage);
}

void ZNoiseReductionBay::readOutput (int c, ZBuffer* destination, int count)
{
    auto& output = *outputConverters[(size_t) c];

    if (output.readSamples (destination, (unsigned) count))
        return;

    // Only with calls of another size than the block size: what is queued, then silence.
    const auto available = (int) std::min (output.getAvailable(), (unsigned) count);
    output.readSamples (destination, (unsigned) available);
    std::fill (destination->getData() + available, destination->getData() + count, 0.0f);
}

void ZNoiseReductionBay::runHumFilters (int c, ZBuffer* buffer)
{
    if (!blockHumOn)
        return;

    ZParametricFilter* notches[maxHumHarmonics];

    for (int j = 0; j < blockHarmonics; ++j)
        notches[j] = humFilters[(size_t) c][(size_t) j].get();

    ZParametricFilter::processCascade (notches, blockHarmonics, buffer);
}

void ZNoiseReductionBay::runOutputFilters (int c, ZBuffer* buffer)
{
    ZParametricFilter* filters[2];
    int count = 0;

    if (blockVoice)
        filters[count++] = voiceFilters[(size_t) c].get();

    if (blockRumble)
        filters[count++] = rumbleFilters[(size_t) c].get();

    ZParametricFilter::processCascade (filters, count, buffer);
}

void ZNoiseReductionBay::keepForDisplay (ChannelWork& w)
{
    if (!blockDisplay)
        return;

    if (w.displayFrames < (int) w.displayRe.size())
    {
        w.displayRe[(size_t) w.displayFrames]->copyFrom (*w.spectrumRe);
        w.displayIm[(size_t) w.displayFrames]->copyFrom (*w.spectrumIm);
        ++w.displayFrames;
    }

    w.displayed = true;
}

void ZNoiseReductionBay::processFrameOff (int c, bool humFilters)
{
    auto& w = work[(size_t) c];
    auto* frame = w.frame.get();

    if (humFilters)
        runHumFilters (c, frame);

    ZBuffer** segments = nullptr;
    overlapAdd[(size_t) c]->split (frame, &segments);

    // The spectrum is only for the display.
    if (blockDisplay)
        w.forward->transformReal (segments[0], w.spectrumRe.get(), w.spectrumIm.get());

    overlapAdd[(size_t) c]->merge (segments, frame);

    runOutputFilters (c, frame);
    outputConverters[(size_t) c]->write (frame);
    keepForDisplay (w);
}

void ZNoiseReductionBay::processFrameGated (int c, bool noiseOnly, bool humFilters)
{
    auto& w = work[(size_t) c];
    auto* frame = w.frame.get();
    auto* re = w.spectrumRe.get();
    auto* im = w.spectrumIm.get();

    // Noise only monitors just what the gate removes: the hum and output filters stay out of it.
    if (!noiseOnly && humFilters)
        runHumFilters (c, frame);

    ZBuffer** segments = nullptr;
    auto& gate = *gates[(size_t) c];
    overlapAdd[(size_t) c]->split (frame, &segments);

    // Two segments in turn go back in one transform of both, within float rounding of one each: an even
    // segment's gated spectrum waits in re and im for the next one's, gated in the held buffers. Only
    // finite spectra are paired, so that a bad sample spoils no segment that does not hold it.
    auto waiting = false;

    for (int j = 0; j < segmentCount; ++j)
    {
        const auto even = j % 2 == 0;
        auto* segmentRe = even ? re : w.heldRe.get();
        auto* segmentIm = even ? im : w.heldIm.get();
        w.forward->transformReal (segments[j], segmentRe, segmentIm);

        if (j == 0)
            keepForDisplay (w);

        if (noiseOnly)
            gate.processNoiseOnly (segmentRe, segmentIm, segmentRe, segmentIm);
        else
            gate.process (segmentRe, segmentIm, segmentRe, segmentIm);

        const auto finite = gate.gatedFiniteSpectrum();

        if (even && finite && j + 1 < segmentCount)
        {
            waiting = true;
            continue;
        }

        if (waiting && finite)
        {
            w.inverse->transformRealPair (segments[j - 1], re, im, segments[j], segmentRe, segmentIm);
        }
        else
        {
            if (waiting)
                w.inverse->transformReal (segments[j - 1], re, im);

            w.inverse->transformReal (segments[j], segmentRe, segmentIm);
        }

        waiting = false;
    }

    overlapAdd[(size_t) c]->merge (segments, frame);

    if (!noiseOnly)
        runOutputFilters (c, frame);

    outputConverters[(size_t) c]->write (frame);
}

void ZNoiseReductionBay::processLearningFrame (int c)
{
    const auto i = (size_t) c;
    auto& w = work[i];
    auto* frame = w.frame.get();
    auto* re = w.spectrumRe.get();
    auto* im = w.spectrumIm.get();

    // The unchanged frame goes through the overlap-add like every other frame, so the output keeps the
    // bay's latency; split keeps its own copy, which frees the frame buffer for the analysis.
    ZBuffer** segments = nullptr;
    overlapAdd[i]->split (frame, &segments);

    runHumFilters (c, frame);
    learningWindow->apply (frame);
    w.forward->transformReal (frame, re, im);
    kernels->multiply (re, re);
    kernels->multiplyAddTo (im, im, re);

    // A frame holding a non-finite or overflowing sample is left out, so it cannot spoil what is learned.
    if (allFinite (*re))
    {
        kernels->scaleAddTo (re, learningSums[i].get(), 1.0f);
        ++learningFrameCounts[i];
    }

    // Learning frames show as silence on the display.
    w.displayed = blockDisplay;

    overlapAdd[i]->merge (segments, frame);

    // The voice and rumble filters keep running on a copy, so they resume without a transient.
    if (blockVoice || blockRumble)
    {
        w.filterScratch->copyFrom (*frame);
        runOutputFilters (c, w.filterScratch.get());
    }

    outputConverters[i]->write (frame);
}

void ZNoiseReductionBay::finishLearning()
{
    for (int c = 0; c < channels; ++c)
    {
        const auto i = (size_t) c;
        const auto frames = learningFrameCounts[i];
        auto* sum = learningSums[i].get();

        // A channel without a learned frame, or with a non-finite mean, keeps its previous profile.
        if (frames == 0)
            continue;

        kernels->scale (sum, 1.0f / (float) frames);

        if (!allFinite (*sum))
            continue;

        kernels->powerToDecibelsFloor (sum, displayFloorDb);
        noiseProfiles[i]->copyFrom (*sum);
    }

    applyNoiseProfiles();

    for (int c = 0; c < channels; ++c)
    {
        const auto i = (size_t) c;
        learningSums[i]->clear();
        learningFrameCounts[i] = 0;
        gates[i]->reset();
    }

    stopRequest.store (false);
    learning->setValue (0);
    mode->setValue (1);
    appliedMode->setValue (1);
    sendActionMessage (modeMessage);
}

} // namespace vesk
