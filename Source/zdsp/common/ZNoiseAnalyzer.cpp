#include "ZNoiseAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vesk
{

namespace
{
constexpr int warmUpHops = 3;
constexpr double silentMean = 1.0e-9;
// Frame energy (plain DFT power over bins 0 to 511) below which a frame is digital silence: white
// noise of -140 dBFS already gives more.
constexpr double silentEnergy = 1.0e-9;
constexpr double steadyValue = 0.001;
} // namespace

ZNoiseAnalyzer::ZNoiseAnalyzer()
{
    setName ("ZNoiseAnalyzer");
    kernels = ZGain::create (false);
    transform = ZFourierTransform::create (10, ZFourierTransform::forward, 1);
    window = ZSignalWindow::create (frameSize, ZSignalWindow::blackman, 0.0f);
    frameBuffer = std::make_unique<ZBuffer> (frameSize, "mFFTBuffer");
    windowedBuffer = std::make_unique<ZBuffer> (frameSize, "mWindowedBuffer");
    realBuffer = std::make_unique<ZBuffer> (frameSize / 2 + 1, "mRealFFTBuffer");
    imagBuffer = std::make_unique<ZBuffer> (frameSize / 2 + 1, "mImagFFTBuffer");
}

void ZNoiseAnalyzer::setSensitivity (float s)
{
    if (s > 1.0f)
        factor = 2.0f;
    else if (!(s >= 0.0f))
        factor = 1.1f;
    else
        factor = 0.9f * s + 1.1f;
}

void ZNoiseAnalyzer::clearResults() noexcept
{
    startSample = 0;
    lengthSamples = 0;
    confidence = 0.0f;
}

void ZNoiseAnalyzer::prepare (int64_t totalSamples)
{
    frameLimit = std::max<int64_t> (0, totalSamples) / hopSize + 1;
    frameCount = 0;
    warmUpCount = 0;
    lastStatisticsIndex = -1;
    lastSilentFrame = -1;

    for (auto& history : bandHistory)
        history.fill (0.0);

    bandTotal.fill (0.0);

    for (auto& statistics : bandStatistics)
        std::vector<float> ((size_t) frameLimit, 0.0f).swap (statistics);

    std::vector<double>().swap (combined);
    combined.reserve ((size_t) frameLimit);
    frameBuffer->clear();
}

void ZNoiseAnalyzer::process (const float* hop)
{
    if (hop == nullptr || frameCount >= frameLimit)
        return;

    auto* f = frameBuffer->getData();
    std::copy (f + hopSize, f + frameSize, f);
    std::copy (hop, hop + hopSize, f + frameSize - hopSize);

    if (warmUpCount < warmUpHops)
    {
        ++warmUpCount;
        return;
    }

    window->applyTo (frameBuffer.get(), windowedBuffer.get());
    transform->transformReal (windowedBuffer.get(), realBuffer.get(), imagBuffer.get());
    kernels->scale (realBuffer.get(), (float) frameSize);
    kernels->scale (imagBuffer.get(), (float) frameSize);
    kernels->multiply (realBuffer.get(), realBuffer.get());
    kernels->multiplyAddTo (imagBuffer.get(), imagBuffer.get(), realBuffer.get());

    const auto* power = realBuffer->getData();
    const auto slot = (size_t) (frameCount % historyLength);
    double frameEnergy = 0.0;

    for (size_t b = 0; b < (size_t) bandCount; ++b)
    {
        double energy = 0.0;

        for (int k = bandEdges[b]; k < bandEdges[b + 1]; ++k)
            energy += (double) power[k];

        bandHistory[b][slot] = energy;
        bandTotal[b] += energy;
        frameEnergy += energy;
    }

    if (!(frameEnergy > silentEnergy))
        lastSilentFrame = frameCount;

    if (frameCount >= historyLength - 1)
    {
        const auto i = (size_t) (frameCount - (historyLength - 1));

        // A window that holds a frame of digital silence counts as steady, so that it is never chosen
        // as the noise: a stretch of noise has no silent frame. The window is the frames the sums
        // cover, f - 48 to f; frame f - 49 = i has left it.
        if (lastSilentFrame > (int64_t) i)
        {
            for (auto& statistics : bandStatistics)
                statistics[i] = 0.0f;

            lastStatisticsIndex = (int64_t) i;
            ++frameCount;
            return;
        }

        // Sums over the 49 latest frames (f - 48 to f), divided by the ring's 50: the missing frame
        // adds mean^2 / 50 to the variance, so a louder window reads as less steady than a quiet
        // one of the same spread. Recomputed in double for every frame, so no running sum carries
        // the rounding of loud frames that have left the window.
        for (size_t b = 0; b < (size_t) bandCount; ++b)
        {
            const auto& history = bandHistory[b];
            const auto oldest = (size_t) ((frameCount + 1) % historyLength);
            double sum = 0.0, squares = 0.0;

            for (size_t k = 0; k < (size_t) historyLength; ++k)
            {
                if (k == oldest)
                    continue;

                sum += history[k];
                squares += history[k] * history[k];
            }

            const auto mean = sum / historyLength;

            if (mean > silentMean)
            {
                const auto variance = squares / historyLength - mean * mean;
                bandStatistics[b][i] = (float) std::sqrt (std::max (0.0, variance) / mean);
            }
            else
            {
                bandStatistics[b][i] = 1.0f;
            }
        }

        lastStatisticsIndex = (int64_t) i;
    }

    ++frameCount;
}

void ZNoiseAnalyzer::finish()
{
    const auto n = lastStatisticsIndex + 1;

    if (n < 2)
    {
        clearResults();
        return;
    }

    std::array<double, bandCount> weight {};

    for (size_t b = 0; b < (size_t) bandCount; ++b)
    {
        const auto mean = bandTotal[b] / (double) frameCount;
        weight[b] = mean > 0.0 ? 1.0 / std::sqrt (mean) : 1.0;
    }

    combined.resize ((size_t) n);
    auto largest = -1.0;

    for (size_t i = 0; i < (size_t) n; ++i)
    {
        double sum = 0.0;

        for (size_t b = 0; b < (size_t) bandCount; ++b)
            sum += (double) bandStatistics[b][i] * weight[b];

        // A value that is not finite (from material that is) counts as steady.
        combined[i] = std::isfinite (sum) ? sum / bandCount : 0.0;
        largest = std::max (largest, combined[i]);
    }

    // Nothing but silence or perfectly steady material: no stretch to learn noise from.
    if (!(largest >= steadyValue))
    {
        clearResults();
        return;
    }

    const auto region = findRegion (combined, (double) factor);
    startSample = hopSize * region.start;
    lengthSamples = hopSize * (region.end - region.start + historyLength - 1);
    confidence = (float) region.confidence;
}

ZNoiseAnalyzer::Region ZNoiseAnalyzer::findRegion (std::vector<double>& values, double growthFactor)
{
    Region region;
    const auto n = (int64_t) values.size();

    if (n == 0)
        return region;

    const auto largest = *std::max_element (values.begin(), values.end());
    auto minimum = std::numeric_limits<double>::infinity();
    int64_t minimumIndex = 0;
    double sum = 0.0;

    for (int64_t i = 0; i < n; ++i)
    {
        auto& v = values[(size_t) i];

        if (v < steadyValue)
            v = largest;

        // Of equal minima the later one wins.
        if (v <= minimum)
        {
            minimum = v;
            minimumIndex = i;
        }

        sum += v;
    }

    const auto overallMean = sum / (double) n;
    const auto threshold = growthFactor * minimum;

    auto start = minimumIndex;
    while (start > 0 && values[(size_t) start] < threshold)
        --start;

    auto end = minimumIndex;
    while (end < n - 1 && values[(size_t) end] < threshold)
        ++end;

    double regionSum = 0.0;

    for (auto i = start; i <= end; ++i)
        regionSum += values[(size_t) i];

    const auto regionMean = regionSum / (double) (end - start + 1);

    region.start = start;
    region.end = end;
    region.confidence = overallMean > 0.0 ? 1.0 - regionMean / overallMean : 0.0;
    return region;
}

} // namespace vesk
