#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZFourierTransform.h"
#include "ZGain.h"
#include "ZSignalWindow.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vesk
{

/** Finds the most stationary stretch of a recording, taken to be noise alone, and scores it.

    The recording is fed hop by hop (256 samples). Every hop, a 1024-point Blackman-windowed spectrum is
    split into three bands (bins 0-15, 16-231, 232-511) and each band's sqrt (variance / mean) of the
    band energy is kept, with the sums taken over the 49 latest frames and divided by 50. finish() weights the bands, averages them
    per frame, takes the frame with the smallest value, grows a region around it and reports it with a
    confidence of 1 - region mean / overall mean.

    Windows that hold a frame of digital silence and perfectly steady windows are never chosen; a recording with nothing
    else, or too short for two statistics, reports no region (length 0, confidence 0).
*/
class ZNoiseAnalyzer : private ZDSPObject
{
public:
    static constexpr int hopSize = 256;
    static constexpr int frameSize = 1024;
    static constexpr int historyLength = 50;
    static constexpr int bandCount = 3;

    /** A found stretch in statistics indices, both ends inclusive. */
    struct Region
    {
        int64_t start = 0, end = 0;
        double confidence = 0.0;
    };

    ZNoiseAnalyzer();
    ~ZNoiseAnalyzer() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    virtual int getHopSize() { return hopSize; }
    virtual int64_t getStartSample() { return startSample; }
    virtual int64_t getLengthSamples() { return lengthSamples; }
    virtual float getConfidence() { return confidence; }

    /** 0..1 maps to a region growth factor of 1.1..2.0; values outside are limited. */
    virtual void setSensitivity (float s);

    /** Starts an analysis of totalSamples samples; earlier statistics are released. */
    virtual void prepare (int64_t totalSamples);

    /** Takes the next 256 samples; hops past the prepared length are ignored. */
    virtual void process (const float* hop);

    /** Finds the stretch and its confidence from the statistics gathered since prepare(). */
    virtual void finish();

    float getFactor() const noexcept { return factor; }

    /** Frames analysed since prepare() (the first three hops only fill the frame). */
    int64_t getFrameCount() const noexcept { return frameCount; }

    /** The band's per-window statistic sqrt (variance / mean) of its energy, one entry per prepared frame;
        entry i is taken at frame i + 49 over frames i + 1 to i + 49 (sums divided by 50).
    */
    const std::vector<float>& getBandStatistics (int band) const { return bandStatistics[(size_t) band]; }

    /** The region search of finish() on combined values (rewritten in place: values below 0.001 become
        the largest one). Needs at least one value.
    */
    static Region findRegion (std::vector<double>& combined, double factor);

    /** First bin of each band and one past the last. */
    static constexpr std::array<int, bandCount + 1> bandEdges { 0, 16, 232, 512 };

private:
    void clearResults() noexcept;

    float factor = 1.4f;
    int64_t startSample = 0, lengthSamples = 0;
    int64_t frameLimit = 0, frameCount = 0, warmUpCount = 0, lastStatisticsIndex = -1, lastSilentFrame = -1;
    float confidence = 0.0f;

    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZFourierTransform> transform;
    std::unique_ptr<ZSignalWindow> window;
    std::unique_ptr<ZBuffer> frameBuffer, windowedBuffer, realBuffer, imagBuffer;

    std::array<std::array<double, historyLength>, bandCount> bandHistory {};
    std::array<std::vector<float>, bandCount> bandStatistics;
    std::vector<double> combined;
    std::array<double, bandCount> bandTotal {};
};

} // namespace vesk
