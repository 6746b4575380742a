#include "ZClickProcessor.h"

#include "ZGain.h"
#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vesk
{

namespace
{
int checkedBlockSize (int blockSize)
{
    if (blockSize < 1 || blockSize > ZClickProcessor::maxBlockSize)
        VJ_DSP_THROW ("Improper block size for the click processor.");

    return blockSize;
}

// History and flags: six blocks of look-ahead, the scan margins and one block written at the end,
// plus 132 spare samples.
int historyLength (int blockSize)
{
    return 7 * blockSize + 1552;
}

// Room for the window to slide on by many blocks before it is moved back to the start: the move costs
// as much as a few blocks' work, so it comes seldom.
int storageLength (int blockSize)
{
    return historyLength (blockSize) + std::max (blockSize, std::min (32 * blockSize, 65536));
}
} // namespace

ZClickProcessor::ZClickProcessor (int newBlockSize, float newSampleRate)
    : sampleRate (newSampleRate), blockSize (checkedBlockSize (newBlockSize)),
      history (std::make_unique<ZBuffer> (storageLength (blockSize), "ZBuffer")),
      flags (std::make_unique<ZBuffer> (storageLength (blockSize), "ZBuffer")),
      latency ((unsigned) (6 * blockSize + 776)), writePosition (6 * blockSize + 1420)
{
}

ZClickProcessor::~ZClickProcessor() = default;

std::unique_ptr<ZClickProcessor> ZClickProcessor::create (int blockSize, float sampleRate)
{
    return std::make_unique<ZClickProcessor> (blockSize, sampleRate);
}

void ZClickProcessor::reset()
{
    history->clear();
    flags->clear();
    windowStart = 0;
    blockPeaks.fill (0.0f);
    sortScratch.fill (0.0f);
}

void ZClickProcessor::setThresholdDb (float dB)
{
    thresholdRatio = (float) std::pow (10.0, (double) (dB / 20.0f));
}

int ZClickProcessor::medianHalfWidth (float rate) noexcept
{
    // Clamped before the conversion, so that no rate (NaN, infinite, negative) is converted out of range.
    const auto x = rate * 6.0f / 96000.0f + 0.5f;

    if (!(x >= 1.0f))
        return 1;

    if (x >= 7.0f)
        return 6;

    return (int) x;
}

void ZClickProcessor::process (ZBuffer& in, ZBuffer& out, int count)
{
    const auto n = std::min ({ count, blockSize, in.getLength(), out.getLength() });

    if (n > 0)
        processBlock (in.getData(), out.getData(), n);
}

void ZClickProcessor::processBlock (const float* input, float* output, int n)
{
    auto* h = history->getData() + windowStart;
    auto* f = flags->getData() + windowStart;

    std::memmove (h + writePosition, input, sizeof (float) * (size_t) n);

    // Peak of the new block, compared through the squares so that tiny magnitudes count as 0.
    blockPeaks[peakWindow - 1] = vectorKernels::squarePeak (h + writePosition, (std::size_t) n);

    // Median of the peaks of the tested block (index 6) and k blocks on either side.
    const auto k = medianHalfWidth (sampleRate);
    const auto window = 2 * k + 1;
    std::copy_n (blockPeaks.begin() + (6 - k), window, sortScratch.begin());

    for (bool swapped = true; swapped;)
    {
        swapped = false;

        for (int i = 0; i + 1 < window; ++i)
        {
            if (sortScratch[(size_t) i] > sortScratch[(size_t) i + 1])
            {
                std::swap (sortScratch[(size_t) i], sortScratch[(size_t) i + 1]);
                swapped = true;
            }
        }
    }

    const auto median = sortScratch[(size_t) k];
    const auto threshold = std::max (ZGain::flushedProduct (thresholdRatio, median), thresholdFloor);

    for (int i = detectionPosition; i < detectionPosition + n; ++i)
        f[i] = std::abs (h[i]) > threshold ? 1.0f : 0.0f;

    // Repair scan over the click edges c: the last clean sample before each flagged run.
    const int scanStart = (int) outputPosition + fadeLength;
    const int scanEnd = scanStart + n;

    // The flags are 0 or 1, so a run starts where a 0 is followed by something above 0.
    for (int c = scanStart; c < scanEnd;)
    {
        c += (int) vectorKernels::firstRise (f + c, (std::size_t) (scanEnd - c));

        if (c >= scanEnd)
            break;

        int e = -1;

        for (int j = c + 1; j <= c + longestClick; ++j)
        {
            if (f[j] == 1.0f && f[j + 1] == 0.0f)
            {
                e = j;
                break;
            }
        }

        if (e < 0)
        {
            // A longer run is repaired as consecutive clicks of at most 512 samples.
            e = c + longestClick;
            f[e] = 0.0f;
        }

        repair (h, c, e);
        c = e;
    }

    std::memcpy (output, h + outputPosition, sizeof (float) * (size_t) n);

    slideWindow (n);
    std::copy (blockPeaks.begin() + 1, blockPeaks.end(), blockPeaks.begin());
}

void ZClickProcessor::slideWindow (int n)
{
    // The window moves on by n samples, as a shift of its contents down by n would: every sample to
    // the same place relative to the window, and the last n places keeping what they held.
    const auto length = historyLength (blockSize);

    if (windowStart + n + length > history->getLength())
    {
        std::memmove (history->getData(), history->getData() + windowStart, sizeof (float) * (size_t) length);
        std::memmove (flags->getData(), flags->getData() + windowStart, sizeof (float) * (size_t) length);
        windowStart = 0;
    }

    for (auto* x : { history->getData() + windowStart, flags->getData() + windowStart })
        std::memcpy (x + length, x + length - n, sizeof (float) * (size_t) n);

    windowStart += n;
}

void ZClickProcessor::repair (float* h, int c, int e) const noexcept
{
    // The replacement is the waveform mirrored in time about c - 65.5: index x takes h[2c - 131 - x].
    const auto mirror = 2 * c - (fadeLength - 1);
    const auto fade = (float) fadeLength;

    for (int l = 0; l < fadeLength; ++l)
    {
        const auto x = c - (fadeLength - 1) + l;
        const auto w = (float) l / fade;
        h[x] = ZGain::flushedProduct (1.0f - w, h[x]) + ZGain::flushedProduct (w, h[c - l]);
    }

    for (int x = c + 1; x <= e; ++x)
        h[x] = h[mirror - x];

    for (int p = 0; p < fadeLength; ++p)
    {
        const auto x = e + 1 + p;
        const auto w = (float) (fadeLength - p) / fade;
        h[x] = ZGain::flushedProduct (1.0f - w, h[x]) + ZGain::flushedProduct (w, h[mirror - x]);
    }
}

} // namespace vesk
