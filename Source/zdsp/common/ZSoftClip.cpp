#include "ZSoftClip.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vesk
{

ZSoftClip::ZSoftClip()
{
    setName ("ZSoftClip");
}

std::unique_ptr<ZSoftClip> ZSoftClip::create (int n)
{
    auto clip = std::make_unique<ZSoftClip>();
    clip->initialize (n);
    return clip;
}

void ZSoftClip::initialize (int n)
{
    threshold = 1.0f;
    nextGain = 1.0f;
    currentGain = 1.0f;
    kernels = ZGain::create (false);
    setBlockSize (n);
}

bool ZSoftClip::setBlockSize (long n)
{
    // Both buffers are made before either is replaced, so a refused size leaves the object as it was.
    auto delayed = std::make_unique<ZBuffer> ((int) n, "mInternalBuffer");
    auto lookAhead = std::make_unique<ZBuffer> ((int) n, "mInternalLookAheadBuffer");

    internalBuffer = std::move (delayed);
    lookAheadBuffer = std::move (lookAhead);
    blockSize = (int) n;

    // Sizes the kernels' ramp for this block length here rather than on the audio thread.
    kernels->scaleRamp (internalBuffer.get(), 1.0f, 1.0f);

    return internalBuffer != nullptr && lookAheadBuffer != nullptr;
}

void ZSoftClip::setThresholdDb (float dB)
{
    threshold = std::pow (10.0f, dB / 20.0f);
}

int ZSoftClip::getLatency()
{
    return blockSize;
}

void ZSoftClip::reset()
{
    internalBuffer->clear();
    lookAheadBuffer->clear();
}

void ZSoftClip::process (ZBuffer* in, ZBuffer* out)
{
    if (in->getLength() < blockSize || out->getLength() < blockSize)
        return;

    lookAheadBuffer->copyFrom (*in);

    // The peak matters only while limiting.
    const auto peak = limiting ? lookAheadBuffer->getPeak() : 0.0f;
    const auto gain = (limiting && peak > threshold) ? threshold * 0.9999f / peak : 1.0f;
    const auto endGain = std::min (gain, nextGain);

    // Both ends of the ramp are at most the delayed block's own gain, so its peak stays below the threshold.
    kernels->scaleRampTo (internalBuffer.get(), out, currentGain, endGain);

    currentGain = endGain;
    nextGain = gain;
    std::swap (internalBuffer, lookAheadBuffer);
}

} // namespace vesk
