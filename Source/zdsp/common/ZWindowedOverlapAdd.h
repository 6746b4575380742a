#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"
#include "ZGain.h"
#include "ZHammingWindow.h"

#include <array>
#include <memory>

namespace vesk
{

/** Cuts frames of n samples into k overlapping windowed segments (hop n / k) and adds processed
    segments back into frames of n samples, delayed by the overlap n (k - 1) / k.

    Call split, process the segments in place, then merge, once per frame; reset between streams.
*/
class ZWindowedOverlapAdd : private ZDSPObject
{
public:
    static constexpr int maxSegments = 4;

    ZWindowedOverlapAdd();
    ~ZWindowedOverlapAdd() override = default;

    using ZDSPObject::getName;
    using ZDSPObject::setName;

    /** Throws vj_dsp_exception unless 2 <= k <= 4 and k divides n. */
    static std::unique_ptr<ZWindowedOverlapAdd> create (int n, int k);

    virtual void initialize (int n, int k);

    /** Takes the next frame (n samples) and points segments at the k windowed segment buffers. */
    virtual void split (ZBuffer* frame, ZBuffer*** segments);

    /** Windows the k segments again, overlap-adds them with the carried tail, writes n samples. */
    virtual void merge (ZBuffer** segments, ZBuffer* output);

    /** Zeroes the previous frame and the carried tail. */
    virtual void reset();

    /** The latency in samples between a split input and the merge output that reproduces it. */
    virtual int getOverlap() { return overlap; }

    int getSegmentCount() const noexcept { return segmentCount; }

private:
    unsigned frameLength = 0;
    int segmentCount = 0;
    int overlap = 0;
    std::unique_ptr<ZGain> kernels;
    std::unique_ptr<ZHammingWindow> analysisWindow, synthesisWindow;
    std::unique_ptr<ZBuffer> oldBuffer, oldWindowedSum, mixBuffer;
    std::array<std::unique_ptr<ZBuffer>, maxSegments> segmentStorage;
    std::array<ZBuffer*, maxSegments> segments {};
};

} // namespace vesk
