#include "ZEnhancementBay.h"

#include "vj_exception.h"

#include <cmath>

namespace vesk
{

namespace
{
struct BandPreset
{
    bool bypass;
    float lowerCrossover, upperCrossover; // Hz, 0 keeps the crossover as it is
    float ratio, rangeDb, makeupDb, attackSeconds, releaseSeconds;
};

// The two band settings that recur: a gentle lift of quiet passages, and a neutral band.
constexpr BandPreset lift (bool bypass, float lower = 0.0f, float upper = 0.0f)
{
    return { bypass, lower, upper, 3.0f, 9.0f, 9.0f, 5.0f, 5.0f };
}

constexpr BandPreset neutral (bool bypass, float lower = 0.0f, float upper = 0.0f)
{
    return { bypass, lower, upper, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
}

constexpr BandPreset presets[ZEnhancementBay::presetCount][ZEnhancementBay::bandCount] = {
    { lift (false, 200.0f, 6000.0f), neutral (true), lift (false) },
    { neutral (false, 250.0f, 6000.0f), lift (false), { true, 0.0f, 0.0f, 3.0f, 0.0f, 0.0f, 0.0f, 0.0f } },
    { neutral (true, 500.0f, 6000.0f), lift (false), lift (false) },
    { lift (false, 250.0f, 6000.0f), neutral (true), neutral (true) },
    { lift (true, 500.0f, 6000.0f), lift (false), neutral (true) },
    { lift (true, 500.0f, 6000.0f), neutral (true), lift (false) },
    { { false, 0.0f, 18000.0f, 0.1f, 18.0f, 0.0f, 5.0f, 5.0f }, neutral (true), lift (true) },
};
} // namespace

ZEnhancementBay::ZEnhancementBay (const char*, int channelCount) : channels (channelCount)
{
    if (channelCount < 1 || channelCount > maxChannels)
        VJ_DSP_THROW ("The enhancement bay supports 1 or 2 channels.");

    dryDelays.resize ((size_t) channels);
}

ZEnhancementBay::~ZEnhancementBay() = default;

float ZEnhancementBay::thresholdForAmount (float amount) noexcept
{
    return (1.0f - amount) * -83.5f - 16.5f;
}

void ZEnhancementBay::setSampleRate (float newSampleRate)
{
    if (!(newSampleRate > 0.0f) || !std::isfinite (newSampleRate))
        return;

    // Band settings and their coefficients stay; only the sizes and scales follow the rate.
    if (compressor != nullptr && !compressor->reconfigure ((unsigned) blockSize, newSampleRate))
        return;

    sampleRate = newSampleRate;
    reset();
}

void ZEnhancementBay::setBlockSize (int newBlockSize)
{
    prepareFor (newBlockSize);
}

bool ZEnhancementBay::prepare()
{
    prepareFor (blockSize);
    return true;
}

void ZEnhancementBay::prepareFor (int newBlockSize)
{
    // Everything is built before anything is replaced, so a refused size leaves the bay as it was.
    auto newCompressor = ZLinPhMultibandCompressor::create (channels, bandCount, newBlockSize, sampleRate);
    const auto newLatency = newCompressor->getLatency();

    std::vector<std::unique_ptr<ZDelayBuffer>> newDelays;
    newDelays.reserve ((size_t) channels);

    for (int c = 0; c < channels; ++c)
        newDelays.push_back (ZDelayBuffer::create ((newLatency + newBlockSize) * 2));

    compressor = std::move (newCompressor);
    dryDelays = std::move (newDelays);
    blockSize = newBlockSize;
    latency = newLatency;

    // The new compressor starts from its defaults, and the current preset goes on top of them.
    readBandsFromCompressor();
    setPreset (preset.load());
    takePendingSettings();
}

void ZEnhancementBay::reset()
{
    if (compressor != nullptr)
        compressor->reset();

    for (auto& delay : dryDelays)
        if (delay != nullptr)
            delay->reset();
}

void ZEnhancementBay::process (ZBuffer** in, ZBuffer** out, int count)
{
    if (!beginBlock (in, out, count))
        return;

    for (int c = 0; c < channels; ++c)
        analyseChannel (c, in[c]);

    linkChannels();

    for (int c = 0; c < channels; ++c)
        finishChannel (c, in[c], out[c]);

    endBlock();
}

bool ZEnhancementBay::beginBlock (ZBuffer** in, ZBuffer** out, int count)
{
    if (compressor == nullptr || count <= 0 || count > blockSize)
        return false;

    takePendingSettings();

    const auto state = control.load (std::memory_order_acquire);

    if (state.enabled == 1)
    {
        const auto threshold = thresholdForAmount (state.amount);

        for (int b = 0; b < bandCount; ++b)
            compressor->threshold[(size_t) b] = threshold;
    }

    block = latencySwitch.begin (state.enabled);
    blockCount = count;
    // The processed path of a block whose buffers the compressor refuses leaves the outputs alone.
    compressing = block.runs && (block.processedFirst || block.both) && compressor->accepts (in, out, count);
    return block.runs;
}

void ZEnhancementBay::analyseChannel (int c, ZBuffer* in)
{
    if (compressing)
        compressor->analyseChannel ((unsigned) c, *in, blockCount);
}

void ZEnhancementBay::linkChannels()
{
    if (compressing)
        compressor->computeBandGains();
}

void ZEnhancementBay::finishChannel (int c, ZBuffer* in, ZBuffer* out)
{
    runPaths (c, in, out, block, compressing, blockCount, 0);
}

void ZEnhancementBay::runPaths (int c, ZBuffer* in, ZBuffer* out, const ZLatencySwitch::Block& plan,
                                bool compressesBlock, int count, unsigned slot)
{
    const auto processed = [&]
    {
        if (compressesBlock)
            compressor->synthesizeChannel ((unsigned) c, *out, count, slot);
    };

    const auto dry = [&]
    {
        dryDelays[(size_t) c]->writeSamples (in, (unsigned) count);
        dryDelays[(size_t) c]->readSamples (out, (unsigned) latency, count);
    };

    if (plan.processedFirst)
        processed();
    else
        dry();

    if (plan.both)
    {
        if (plan.processedFirst)
            dry();
        else
            processed();
    }
}

bool ZEnhancementBay::planBlock (ZBuffer** in, ZBuffer** out, int count, unsigned slot, BlockPlan& plan)
{
    plan.block = {};
    plan.compressing = plan.takesBands = plan.resets = plan.setsThreshold = false;
    plan.count = count;
    plan.slot = slot;

    if (compressor == nullptr || count <= 0 || count > blockSize)
        return false;

    // As takePendingSettings, but what touches the compressor and the dry delays waits for linkChannels,
    // after the blocks before have been synthesised.
    plan.takesBands = pendingBands.take (plan.bands);

    if (plan.takesBands && plan.bands.resetGeneration != appliedResetGeneration)
    {
        appliedResetGeneration = plan.bands.resetGeneration;
        plan.resets = true;
        latencySwitch.prepare (control.load (std::memory_order_acquire).enabled, (unsigned) latency);
    }

    const auto state = control.load (std::memory_order_acquire);
    plan.setsThreshold = state.enabled == 1;
    plan.threshold = thresholdForAmount (state.amount);
    plan.block = latencySwitch.begin (state.enabled);
    latencySwitch.end (plan.block, (unsigned) count);
    plan.compressing =
        plan.block.runs && (plan.block.processedFirst || plan.block.both) && compressor->accepts (in, out, count);
    return plan.block.runs;
}

void ZEnhancementBay::analyseChannel (int c, ZBuffer* in, const BlockPlan& plan)
{
    if (plan.compressing)
        compressor->analyseChannel ((unsigned) c, *in, plan.count, plan.slot);
}

void ZEnhancementBay::linkChannels (const BlockPlan& plan)
{
    if (plan.takesBands)
        applyBands (plan.bands);

    if (plan.resets)
        reset();

    if (plan.setsThreshold)
        for (int b = 0; b < bandCount; ++b)
            compressor->threshold[(size_t) b] = plan.threshold;

    if (plan.compressing)
        compressor->computeBandGains (plan.slot);
}

void ZEnhancementBay::finishChannel (int c, ZBuffer* in, ZBuffer* out, const BlockPlan& plan)
{
    if (plan.block.runs)
        runPaths (c, in, out, plan.block, plan.compressing, plan.count, plan.slot);
}

void ZEnhancementBay::endBlock()
{
    latencySwitch.end (block, (unsigned) blockCount);
}

void ZEnhancementBay::setPreset (int newPreset)
{
    preset.store (newPreset);
    applyPreset (messageBands, newPreset);
    ++messageBands.resetGeneration;
    pendingBands.post (messageBands);
}

int ZEnhancementBay::getPreset()
{
    return preset.load();
}

void ZEnhancementBay::setBand (unsigned band, bool bypass, float lowerCrossover, float upperCrossover, float ratio,
                               float rangeDb, float makeupDb, float attackSeconds, float releaseSeconds)
{
    applyBand (messageBands, band, bypass, lowerCrossover, upperCrossover, ratio, rangeDb, makeupDb, attackSeconds,
               releaseSeconds);
    pendingBands.post (messageBands);
}

void ZEnhancementBay::setAmount (float amount)
{
    // One store, so the audio thread sees the old state or the new one, never a passing on/off pair.
    control.store (Control { amount, amount == 0.0f ? 0 : 1 }, std::memory_order_release);
}

float ZEnhancementBay::getAmount() const noexcept
{
    return control.load (std::memory_order_acquire).amount;
}

void ZEnhancementBay::applyBand (BandSettings& settings, unsigned band, bool bypass, float lowerCrossover,
                                 float upperCrossover, float ratio, float rangeDb, float makeupDb, float attackSeconds,
                                 float releaseSeconds) const
{
    if (band >= (unsigned) bandCount)
        return;

    if (lowerCrossover != 0.0f && band < (unsigned) crossoverCount)
        settings.crossovers[band] = lowerCrossover;

    if (upperCrossover != 0.0f && band + 1 < (unsigned) crossoverCount)
        settings.crossovers[band + 1] = upperCrossover;

    const auto n = compressor != nullptr ? compressor->getBlockSize() : blockSize;
    const auto rate = compressor != nullptr ? compressor->getSampleRate() : sampleRate;

    settings.ratio[band] = ratio;
    settings.range[band] = rangeDb;
    settings.makeup[band] = makeupDb;
    settings.attack[band] = attackSeconds;
    settings.attackCoefficient[band] = ZLinPhMultibandCompressor::timeCoefficient (n, attackSeconds, rate);
    settings.release[band] = releaseSeconds;
    settings.releaseCoefficient[band] = ZLinPhMultibandCompressor::timeCoefficient (n, releaseSeconds, rate);
    settings.bypass[band] = bypass;
}

void ZEnhancementBay::applyPreset (BandSettings& settings, int number) const
{
    if (number < 0 || number >= presetCount)
        return;

    for (unsigned b = 0; b < (unsigned) bandCount; ++b)
    {
        const auto& p = presets[number][b];
        applyBand (settings, b, p.bypass, p.lowerCrossover, p.upperCrossover, p.ratio, p.rangeDb, p.makeupDb,
                   p.attackSeconds, p.releaseSeconds);
    }
}

void ZEnhancementBay::readBandsFromCompressor()
{
    for (size_t b = 0; b < (size_t) bandCount; ++b)
    {
        messageBands.ratio[b] = compressor->ratio[b];
        messageBands.range[b] = compressor->range[b];
        messageBands.makeup[b] = compressor->makeup[b];
        messageBands.attack[b] = compressor->attack[b];
        messageBands.attackCoefficient[b] = compressor->attackCoefficient[b];
        messageBands.release[b] = compressor->release[b];
        messageBands.releaseCoefficient[b] = compressor->releaseCoefficient[b];
        messageBands.bypass[b] = compressor->bypass[b];
    }

    for (size_t i = 0; i < (size_t) crossoverCount; ++i)
        messageBands.crossovers[i] = compressor->crossovers[i];
}

void ZEnhancementBay::applyBands (const BandSettings& settings)
{
    for (size_t b = 0; b < (size_t) bandCount; ++b)
    {
        compressor->ratio[b] = settings.ratio[b];
        compressor->range[b] = settings.range[b];
        compressor->makeup[b] = settings.makeup[b];
        compressor->attack[b] = settings.attack[b];
        compressor->attackCoefficient[b] = settings.attackCoefficient[b];
        compressor->release[b] = settings.release[b];
        compressor->releaseCoefficient[b] = settings.releaseCoefficient[b];
        compressor->bypass[b] = settings.bypass[b];
    }

    for (size_t i = 0; i < (size_t) crossoverCount; ++i)
        compressor->crossovers[i] = settings.crossovers[i];

    compressor->buildCrossoverWeights();
}

void ZEnhancementBay::takePendingSettings()
{
    if (!pendingBands.take (audioBands))
        return;

    applyBands (audioBands);

    // A preset change starts afresh: cleared history, no switch in progress.
    if (audioBands.resetGeneration != appliedResetGeneration)
    {
        appliedResetGeneration = audioBands.resetGeneration;
        reset();
        latencySwitch.prepare (control.load (std::memory_order_acquire).enabled, (unsigned) latency);
    }
}

} // namespace vesk
