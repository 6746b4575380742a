#include "ZLinPhMultibandCompressor.h"

#include "ZFourierTransform.h"
#include "ZGain.h"
#include "ZSignalWindow.h"
#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace vesk
{

namespace
{
// Default crossovers (Hz) by band count; row b - 1 holds the b - 1 crossovers of b bands.
constexpr float defaultCrossovers[ZLinPhMultibandCompressor::maxBands][ZLinPhMultibandCompressor::maxCrossovers] = {
    {},
    { 6000.0f },
    { 1000.0f, 11000.0f },
    { 500.0f, 4000.0f, 11000.0f },
    { 250.0f, 1000.0f, 4000.0f, 11000.0f },
    { 150.0f, 400.0f, 1500.0f, 4000.0f, 11000.0f },
    { 100.0f, 300.0f, 600.0f, 1500.0f, 4000.0f, 11000.0f },
    { 100.0f, 200.0f, 400.0f, 900.0f, 2000.0f, 5000.0f, 12000.0f },
};

constexpr int maxBlockSize = 1 << 22;

// log2 of the analysis size 2N, rounded to the nearest integer.
int orderFor (int n)
{
    return (int) std::lround (std::log10 (2.0 * (double) n) / 0.3010299956639812);
}
} // namespace

/** Everything whose size follows the block size. Each channel has its own work buffer and transforms,
    so the channels' analysis and synthesis can run at the same time; the filter design between them
    borrows channel 0's.
*/
struct ZLinPhMultibandCompressor::Storage
{
    /** What a block's analysis leaves for its gains and synthesis: its spectrum and its power. */
    struct Slot
    {
        std::unique_ptr<ZBuffer> inputRe, inputIm, power;
    };

    struct Channel
    {
        // The analysis (forward4N, the block and the windowed block, zero beyond it, and their bins) and
        // the synthesis (inverse4N, synthesis, overlap) have buffers of their own, so that one block's
        // analysis and an earlier one's synthesis can run at the same time.
        std::unique_ptr<ZFourierTransform> forward4N, inverse4N;
        std::unique_ptr<ZBuffer> work, windowed, windowedRe, windowedIm, analysisRe, analysisIm, synthesis, filteredRe,
            filteredIm, overlap;
        size_t overlapStart = 0;
        std::array<Slot, slots> slot;
    };

    Storage (unsigned channelCount, int n)
    {
        const auto order = orderFor (n);
        kernels = ZGain::create (false);
        inverse2N = ZFourierTransform::create (order, ZFourierTransform::inverse, 1);
        forward4N = ZFourierTransform::create (order + 1, ZFourierTransform::forward, 1);
        designWork = std::make_unique<ZBuffer> (4 * n, "ZBuffer");
        window = ZSignalWindow::create (n, ZSignalWindow::blackman, 0.0f);

        filterRe = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
        filterIm = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");

        for (size_t b = 0; b < maxBands; ++b)
        {
            bandFilterRe[b] = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
            bandFilterIm[b] = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
        }

        for (unsigned c = 0; c < channelCount; ++c)
        {
            auto& ch = channel[c];
            ch.forward4N = ZFourierTransform::create (order + 1, ZFourierTransform::forward, 1);
            ch.inverse4N = ZFourierTransform::create (order + 1, ZFourierTransform::inverse, 1);
            ch.work = std::make_unique<ZBuffer> (4 * n, "ZBuffer");
            ch.windowed = std::make_unique<ZBuffer> (4 * n, "ZBuffer");
            ch.windowedRe = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
            ch.windowedIm = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
            ch.analysisRe = std::make_unique<ZBuffer> (n + 1, "ZBuffer");
            ch.analysisIm = std::make_unique<ZBuffer> (n + 1, "ZBuffer");
            ch.synthesis = std::make_unique<ZBuffer> (4 * n, "ZBuffer");
            ch.filteredRe = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
            ch.filteredIm = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
            ch.overlap = std::make_unique<ZBuffer> (4 * n, "ZBuffer");

            for (auto& slot : ch.slot)
            {
                slot.inputRe = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
                slot.inputIm = std::make_unique<ZBuffer> (2 * n + 1, "ZBuffer");
                slot.power = std::make_unique<ZBuffer> (n + 1, "ZBuffer");
            }
        }

        for (auto& curve : transitionCurves)
            curve.assign ((size_t) (2 * n + 1), 0.0f);
    }

    std::unique_ptr<ZGain> kernels;
    // The filter design's own transforms and buffer.
    std::unique_ptr<ZFourierTransform> inverse2N, forward4N;
    std::unique_ptr<ZBuffer> designWork;
    std::unique_ptr<ZSignalWindow> window;
    std::unique_ptr<ZBuffer> filterRe, filterIm;
    // Each band's filter at unit gain: the filter is linear in the band gains.
    std::array<std::unique_ptr<ZBuffer>, maxBands> bandFilterRe, bandFilterIm;
    std::array<Channel, maxChannels> channel;
    std::array<std::vector<float>, maxCrossovers> transitionCurves;
};

ZLinPhMultibandCompressor::ZLinPhMultibandCompressor (unsigned channelCount, unsigned bandCount, int newBlockSize,
                                                      float newSampleRate)
    : channels (std::min (channelCount, maxChannels)), bands (std::min (bandCount, maxBands))
{
    if (channels == 0)
        VJ_DSP_THROW ("The multiband compressor needs at least one channel.");

    if (bands == 0)
        VJ_DSP_THROW ("The multiband compressor needs at least one band.");

    if (!isUsableSize (newBlockSize, newSampleRate))
        VJ_DSP_THROW ("The multiband compressor needs a power-of-two block size and a positive sample rate.");

    blockSize = newBlockSize;
    sampleRate = newSampleRate;
    deriveSizes();
    useStorage (std::make_unique<Storage> (channels, blockSize));
    reset();

    for (unsigned b = 0; b < maxBands; ++b)
    {
        threshold[b] = -20.0f;
        ratio[b] = 3.0f;
        range[b] = 18.0f;
        makeup[b] = 0.0f;
        attack[b] = 0.05f;
        release[b] = 0.2f;
        attackCoefficient[b] = timeCoefficient (blockSize, attack[b], sampleRate);
        releaseCoefficient[b] = timeCoefficient (blockSize, release[b], sampleRate);
        knee[b] = 2.0f;
        solo[b] = false;
        bypass[b] = false;
    }

    std::copy (std::begin (defaultCrossovers[bands - 1]), std::end (defaultCrossovers[bands - 1]), crossovers.begin());

    const auto pi = 3.14159265358979323846f;

    for (int j = 0; j < crossfadeLength; ++j)
        crossfade[(size_t) j] = 0.5f + 0.5f * std::cos ((float) (j - 511) * pi * 0.001953125f);

    buildCrossoverWeights();
}

ZLinPhMultibandCompressor::~ZLinPhMultibandCompressor() = default;

std::unique_ptr<ZLinPhMultibandCompressor> ZLinPhMultibandCompressor::create (int channelCount, int bandCount,
                                                                              int newBlockSize, float newSampleRate)
{
    return std::make_unique<ZLinPhMultibandCompressor> (
        (unsigned) std::max (channelCount, 0), (unsigned) std::max (bandCount, 0), newBlockSize, newSampleRate);
}

bool ZLinPhMultibandCompressor::isUsableSize (long long size, float rate) noexcept
{
    const auto powerOfTwo = size >= 1 && size <= maxBlockSize && (size & (size - 1)) == 0;
    return powerOfTwo && rate > 0.0f && std::isfinite (rate);
}

float ZLinPhMultibandCompressor::timeCoefficient (int n, float seconds, float rate) noexcept
{
    const auto denominator = seconds * rate;

    if (denominator == 0.0f)
        return 0.0f;

    const auto exponent = (float) n / denominator;
    return (float) std::pow (0.33, (double) exponent);
}

void ZLinPhMultibandCompressor::deriveSizes()
{
    order = orderFor (blockSize);
    analysisSize = 2u * (unsigned) blockSize;
    convolutionSize = 4u * (unsigned) blockSize;
    latency = blockSize;
    binsPerHertz = (float) analysisSize / sampleRate;
    hertzPerBin = sampleRate / (float) analysisSize;
}

void ZLinPhMultibandCompressor::useStorage (std::unique_ptr<Storage> newStorage)
{
    storage = std::move (newStorage);
    levelScale = (float) convolutionSize / storage->window->getSumOfSquares();
}

bool ZLinPhMultibandCompressor::reconfigure (unsigned newBlockSize, float newSampleRate)
{
    if (!isUsableSize (newBlockSize, newSampleRate))
        return false;

    // Built before anything changes, so a failed allocation leaves the compressor as it was.
    auto fresh = std::make_unique<Storage> (channels, (int) newBlockSize);

    blockSize = (int) newBlockSize;
    sampleRate = newSampleRate;
    deriveSizes();
    useStorage (std::move (fresh));
    reset();
    buildCrossoverWeights();
    return true;
}

void ZLinPhMultibandCompressor::reset()
{
    for (unsigned c = 0; c < channels; ++c)
    {
        storage->channel[c].overlap->clear();
        storage->channel[c].overlapStart = 0;
        channelLevel[c].fill (0.0f);
        levelBlocks[c].fill (0);
    }
}

float ZLinPhMultibandCompressor::getTransitionWeight (unsigned crossover, unsigned k) const noexcept
{
    return storage->transitionCurves[crossover][k];
}

const ZBuffer& ZLinPhMultibandCompressor::getFilterRe() const noexcept
{
    return *storage->filterRe;
}

const ZBuffer& ZLinPhMultibandCompressor::getFilterIm() const noexcept
{
    return *storage->filterIm;
}

void ZLinPhMultibandCompressor::buildCrossoverWeights()
{
    const auto crossoverCount = bands - 1;
    const auto nyquistBin = (unsigned) blockSize;

    // anchor[b] is where band b is anchored: 0 Hz for band 0, then midway between crossovers, and for
    // the top band midway between the last crossover and half the rate.
    std::array<float, maxBands> anchor {};

    for (unsigned i = 0; i < crossoverCount; ++i)
    {
        const auto next = i + 1 < crossoverCount ? crossovers[i + 1] : sampleRate * 0.5f;
        anchor[i + 1] = (crossovers[i] + next) * 0.5f;
    }

    // Rounded to the nearest bin and kept within 0..N whatever the crossovers are.
    const auto binOf = [this, nyquistBin] (float hertz)
    {
        const auto x = hertz * binsPerHertz + 0.5f;

        if (!(x >= 0.0f))
            return 0u;

        return x >= (float) nyquistBin ? nyquistBin : (unsigned) x;
    };

    firstBin[0] = 0;
    lastBin[0] = 0;

    for (unsigned b = 1; b < bands; ++b)
        firstBin[b] = lastBin[b] = binOf (anchor[b]);

    lastBin[bands - 1] = nyquistBin;

    for (unsigned i = 0; i < crossoverCount; ++i)
    {
        const auto start = lastBin[i] + 1;
        const auto end = firstBin[i + 1];
        transitionStart[i] = start;
        transitionLength[i] = end > start ? end - start : 0;

        // I(h) = g h + q h^2 maps the anchor below to 0, the crossover to 256 and the anchor above to 512.
        const auto lower = anchor[i];
        const auto d1 = crossovers[i] - lower;
        const auto d2 = anchor[i + 1] - lower;
        const auto g = (512.0f - 256.0f * d2 * d2 / (d1 * d1)) / (d2 - d2 * d2 / d1);
        const auto q = (256.0f - d1 * g) / (d1 * d1);

        auto& curve = storage->transitionCurves[i];
        auto h = (float) start * hertzPerBin - lower;

        for (unsigned k = 0; k < transitionLength[i]; ++k)
        {
            const auto v = g * h + q * h * h;
            const auto index = !(v >= 0.0f) ? 0 : (v > 511.0f ? 511 : (int) v);
            curve[k] = crossfade[(size_t) index];
            h += hertzPerBin;
        }
    }

    for (unsigned b = 0; b < bands; ++b)
    {
        std::array<float, maxBands> unit {};
        unit[b] = 1.0f;
        designFilter (unit.data(), *storage->bandFilterRe[b], *storage->bandFilterIm[b]);
    }
}

void ZLinPhMultibandCompressor::designFilter (const float* linear, ZBuffer& outRe, ZBuffer& outIm)
{
    // The gain curve over the 2N-point grid: flat in each band, cross-faded in each transition.
    auto& s = *storage;
    auto* re = outRe.getData();
    outRe.clear();
    outIm.clear();

    for (unsigned b = 0; b < bands; ++b)
        for (auto j = firstBin[b]; j <= lastBin[b]; ++j)
            re[j] = linear[b];

    for (unsigned i = 0; i + 1 < bands; ++i)
    {
        const auto& curve = s.transitionCurves[i];

        for (unsigned j = 0; j < transitionLength[i]; ++j)
        {
            const auto d = curve[j];
            re[transitionStart[i] + j] = d * linear[i + 1] + (1.0f - d) * linear[i];
        }
    }

    // Alternating signs delay the zero-phase response by N samples.
    for (int j = 1; j <= blockSize + 1; j += 2)
        re[j] = -re[j];

    auto* work = s.designWork.get();
    s.inverse2N->transformReal (work, &outRe, &outIm);
    std::fill (work->getData() + analysisSize, work->getData() + convolutionSize, 0.0f);
    s.kernels->scale (work, 2.0f);
    s.forward4N->transformReal (work, &outRe, &outIm);
}

bool ZLinPhMultibandCompressor::process (ZBuffer** in, ZBuffer** out, int count)
{
    if (count == 0)
        return true;

    if (!accepts (in, out, count))
        return false;

    for (unsigned c = 0; c < channels; ++c)
        analyseChannel (c, *in[c], count);

    computeBandGains();

    for (unsigned c = 0; c < channels; ++c)
        synthesizeChannel (c, *out[c], count);

    return true;
}

bool ZLinPhMultibandCompressor::accepts (ZBuffer** in, ZBuffer** out, int count) const noexcept
{
    if (count < 0 || count > blockSize || in == nullptr || out == nullptr)
        return false;

    for (unsigned c = 0; c < channels; ++c)
        if (in[c] == nullptr || out[c] == nullptr || in[c]->getLength() < count || out[c]->getLength() < count)
            return false;

    return true;
}

void ZLinPhMultibandCompressor::analyseChannel (unsigned c, ZBuffer& in, int count, unsigned slotIndex)
{
    auto& s = *storage;
    auto& ch = s.channel[c];
    auto& slot = ch.slot[slotIndex % slots];
    auto* work = ch.work.get();
    auto* w = work->getData();
    const auto n = (size_t) count;

    // Only the block's first N samples are read: by the window, and by the transform as far as count.
    std::copy_n (in.getData(), n, w);
    std::fill (w + n, w + (size_t) blockSize, 0.0f);

    // The windowed block's 2N-point spectrum is every other bin of its 4N-point one, twice as large: both
    // transforms of the block come from one transform of the pair, within float rounding.
    s.window->applyTo (work, ch.windowed.get());
    ch.forward4N->transformRealPairFrom (work, slot.inputRe.get(), slot.inputIm.get(), ch.windowed.get(),
                                         ch.windowedRe.get(), ch.windowedIm.get(), count);
    const auto* wideRe = ch.windowedRe->getData();
    const auto* wideIm = ch.windowedIm->getData();
    auto* re = ch.analysisRe->getData();
    auto* im = ch.analysisIm->getData();

    for (size_t k = 0; k <= (size_t) blockSize; ++k)
    {
        re[k] = 2.0f * wideRe[2 * k];
        im[k] = 2.0f * wideIm[2 * k];
    }

    s.kernels->multiplyTo (ch.analysisRe.get(), ch.analysisRe.get(), slot.power.get());
    s.kernels->multiplyAddTo (ch.analysisIm.get(), ch.analysisIm.get(), slot.power.get());
}

void ZLinPhMultibandCompressor::synthesizeChannel (unsigned c, ZBuffer& out, int count, unsigned slotIndex)
{
    auto& s = *storage;
    auto& ch = s.channel[c];
    auto& slot = ch.slot[slotIndex % slots];
    auto* work = ch.synthesis.get();
    const auto n = (size_t) count;
    const auto size4N = (size_t) convolutionSize;

    // The filtered spectrum goes to buffers of the synthesis, so that the slot, which the analysis of a
    // later block fills on another thread, is only read here.
    s.kernels->complexMultiply (slot.inputRe.get(), slot.inputIm.get(), s.filterRe.get(), s.filterIm.get(),
                                ch.filteredRe.get(), ch.filteredIm.get());
    ch.inverse4N->transformReal (work, ch.filteredRe.get(), ch.filteredIm.get());
    // The overlap is a ring of 4N samples from overlapStart on: the block's convolution adds into it,
    // the first n samples go out and are cleared for the blocks to come.
    auto* o = ch.overlap->getData();
    const auto* w = work->getData();
    const auto start = ch.overlapStart;
    const auto first = size4N - start;
    vectorKernels::scaleAddTo (w, o + start, first, 1.0f);
    vectorKernels::scaleAddTo (w + first, o, start, 1.0f);

    auto* y = out.getData();
    const auto head = std::min (n, size4N - start);
    std::copy_n (o + start, head, y);
    std::copy_n (o, n - head, y + head);
    std::fill_n (o + start, head, 0.0f);
    std::fill_n (o, n - head, 0.0f);
    ch.overlapStart = (start + n) % size4N;
}

void ZLinPhMultibandCompressor::computeBandGains (unsigned slotIndex)
{
    auto& s = *storage;
    const auto anySolo = std::any_of (solo.begin(), solo.begin() + bands, [] (bool b) { return b; });
    std::array<float, maxChannels> carry {};

    for (unsigned b = 0; b < bands; ++b)
    {
        auto k = knee[b];

        if (k != 0.0f && k < 0.01f)
            k = 0.01f;

        // Every channel's sums in one pass over the bins, each in bin order: the channels' chains of
        // additions run side by side.
        std::array<const float*, maxChannels> powers {};
        std::array<float, maxChannels> sums {};

        for (unsigned c = 0; c < channels; ++c)
        {
            powers[c] = s.channel[c].slot[slotIndex % slots].power->getData();
            sums[c] = carry[c];
        }

        for (auto j = firstBin[b]; j <= lastBin[b]; ++j)
            for (unsigned c = 0; c < channels; ++c)
                sums[c] += powers[c][j];

        // A transition's power is shared between its two bands by the squared weights.
        if (b + 1 < bands)
        {
            const auto& curve = s.transitionCurves[b];
            carry.fill (0.0f);

            for (unsigned j = 0; j < transitionLength[b]; ++j)
            {
                const auto d = curve[j];

                for (unsigned c = 0; c < channels; ++c)
                {
                    const auto power = powers[c][transitionStart[b] + j];
                    sums[c] += power * (1.0f - d) * (1.0f - d);
                    carry[c] += power * d * d;
                }
            }
        }

        for (unsigned c = 0; c < channels; ++c)
        {
            const auto sum = sums[c];
            const auto scaled = (double) sum * (double) levelScale;
            const auto level = scaled > 1e-10 ? (float) (10.0 * std::log10 (scaled)) : -100.0f;
            // After a reset the level starts as the mean of the blocks heard so far, so that it neither
            // overshoots from below nor fades in from 0 dB; the running mean hands over to the smoother
            // once its weight falls below the coefficient. Digital silence does not start it.
            auto& heard = levelBlocks[c][b];

            if (heard == 0 && !(scaled > 1e-10))
                continue;

            const auto previous = channelLevel[c][b];
            const auto smoother = level > previous ? attackCoefficient[b] : releaseCoefficient[b];
            const auto mean = (float) heard / (float) (heard + 1);
            const auto a = std::min (smoother, mean);
            channelLevel[c][b] = level * (1.0f - a) + previous * a;
            heard = heard < levelStartBlocks ? heard + 1 : heard;
        }

        // A channel that has heard nothing since the reset has no level yet; with none heard, 0 dB.
        auto loudest = -std::numeric_limits<float>::infinity();

        for (unsigned c = 0; c < channels; ++c)
            if (levelBlocks[c][b] > 0)
                loudest = std::max (loudest, channelLevel[c][b]);

        if (loudest == -std::numeric_limits<float>::infinity())
            loudest = channelLevel[0][b];

        bandLevel[b] = loudest;

        if (anySolo && !solo[b])
        {
            bandGain[b] = -200.0f;
        }
        else if (bypass[b])
        {
            bandGain[b] = 0.0f;
        }
        else
        {
            const auto v = loudest;
            const auto t = threshold[b];
            const auto slope = 1.0f / ratio[b] - 1.0f;
            auto g = 0.0f;

            if (v > t + k)
            {
                g = (v - t) * slope;
            }
            else if (v > t - k)
            {
                const auto x = v - (t - k);
                g = slope * x * x / (4.0f * k);
            }

            if (std::abs (g) > range[b])
                g = std::copysign (range[b], g);

            bandGain[b] = g + makeup[b];
        }
    }

    // The filter of these gains: the bands' unit-gain filters, weighted.
    std::array<float, maxBands> linear {};

    for (unsigned b = 0; b < bands; ++b)
        linear[b] = (float) std::pow (10.0, (double) bandGain[b] / 20.0);

    s.kernels->scaleTo (s.bandFilterRe[0].get(), s.filterRe.get(), linear[0]);
    s.kernels->scaleTo (s.bandFilterIm[0].get(), s.filterIm.get(), linear[0]);

    for (unsigned b = 1; b < bands; ++b)
    {
        s.kernels->scaleAddTo (s.bandFilterRe[b].get(), s.filterRe.get(), linear[b]);
        s.kernels->scaleAddTo (s.bandFilterIm[b].get(), s.filterIm.get(), linear[b]);
    }
}

} // namespace vesk
