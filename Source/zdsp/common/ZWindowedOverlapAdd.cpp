#include "ZWindowedOverlapAdd.h"

#include "vj_exception.h"

namespace vesk
{

ZWindowedOverlapAdd::ZWindowedOverlapAdd()
{
    setName ("ZWindowedOverlapAdd");
}

std::unique_ptr<ZWindowedOverlapAdd> ZWindowedOverlapAdd::create (int n, int k)
{
    auto overlapAdd = std::make_unique<ZWindowedOverlapAdd>();
    overlapAdd->initialize (n, k);
    return overlapAdd;
}

void ZWindowedOverlapAdd::initialize (int n, int k)
{
    if (k < 2 || k > maxSegments || n < k || n % k != 0)
        VJ_DSP_THROW ("Unsupported segment count for the overlap-add.");

    frameLength = (unsigned) n;
    segmentCount = k;
    overlap = (int) ((float) n * ((float) (k - 1) / (float) k));

    kernels = ZGain::create (false);
    analysisWindow = ZHammingWindow::create (n);
    synthesisWindow = ZHammingWindow::create (n);
    synthesisWindow->normalizeForOverlap (k);

    oldBuffer = std::make_unique<ZBuffer> (n, "mOldBuffer");
    oldWindowedSum = std::make_unique<ZBuffer> (overlap, "mOldWindowedSum");
    mixBuffer = std::make_unique<ZBuffer> (overlap + n, "mMixBuffer");

    for (int i = 0; i < maxSegments; ++i)
    {
        segmentStorage[(size_t) i] = i < k ? std::make_unique<ZBuffer> (n, "SegmentBuffer") : nullptr;
        segments[(size_t) i] = segmentStorage[(size_t) i].get();
    }
}

void ZWindowedOverlapAdd::split (ZBuffer* frame, ZBuffer*** segmentsOut)
{
    const auto n = (int) frameLength;

    for (int i = 0; i < segmentCount - 1; ++i)
    {
        const auto hop = (int) ((double) n * ((double) (i + 1) / (double) segmentCount));
        auto* segment = segments[(size_t) i];
        segment->copyRangeFrom (*oldBuffer, { hop, n }, 0);
        segment->copyRangeFrom (*frame, { 0, hop }, n - hop);
    }

    segments[(size_t) segmentCount - 1]->copyRangeFrom (*frame, { 0, n }, 0);

    for (int i = 0; i < segmentCount; ++i)
        analysisWindow->apply (segments[(size_t) i]);

    oldBuffer->copyRangeFrom (*frame, { 0, n }, 0);
    *segmentsOut = segments.data();
}

void ZWindowedOverlapAdd::merge (ZBuffer** segmentsIn, ZBuffer* output)
{
    const auto n = (int) frameLength;

    for (int i = 0; i < segmentCount; ++i)
        synthesisWindow->apply (segmentsIn[i]);

    mixBuffer->copyRangeFrom (*oldWindowedSum, { 0, overlap }, 0);
    mixBuffer->clearRange ({ overlap, overlap + n });

    for (int i = 0; i < segmentCount; ++i)
    {
        const auto position = (unsigned) ((float) n * ((float) i / (float) segmentCount));
        kernels->scaleAddAt (segmentsIn[i], mixBuffer.get(), position, 1.0f);
    }

    output->copyRangeFrom (*mixBuffer, { 0, n }, 0);
    oldWindowedSum->copyRangeFrom (*mixBuffer, { n, n + overlap }, 0);
}

void ZWindowedOverlapAdd::reset()
{
    oldBuffer->clear();
    oldWindowedSum->clear();
}

} // namespace vesk
