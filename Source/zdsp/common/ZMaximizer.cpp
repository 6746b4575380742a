#include "ZMaximizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vesk
{

ZMaximizer::ZMaximizer (int newBlockSize)
    : blockSize (newBlockSize), kernels (ZGain::create (false)),
      internalBuffer (std::make_unique<ZBuffer> (newBlockSize, "mInternalBuffer")),
      lookAheadBuffer (std::make_unique<ZBuffer> (newBlockSize, "mInternalLookAheadBuffer"))
{
    setName ("ZMaximizer");

    // Sizes the kernels' ramp for this block length here rather than on the audio thread.
    kernels->scaleRamp (internalBuffer.get(), 1.0f, 1.0f);
}

void ZMaximizer::initialize()
{
    makeupGain = 1.0f;
    threshold = 1.0f;
    ceiling = 1.0f;
    enabled = false;
    reset();
}

void ZMaximizer::reset()
{
    internalBuffer->clear();
    lookAheadBuffer->clear();
    nextGain = 1.0f;
    currentGain = 1.0f;
}

void ZMaximizer::setCeilingDb (float dB)
{
    ceiling = std::pow (10.0f, dB / 20.0f);
    makeupGain = ceiling / threshold;
    ceilingDb = dB;
}

void ZMaximizer::setThresholdDb (float dB)
{
    threshold = std::pow (10.0f, dB / 20.0f);
    makeupGain = ceiling / threshold;
    thresholdDb = dB;
}

void ZMaximizer::process (ZBuffer* in, ZBuffer* out)
{
    if (in->getLength() < blockSize || out->getLength() < blockSize)
        return;

    lookAheadBuffer->copyFrom (*in);

    const auto peak = lookAheadBuffer->getPeak();
    auto gain = 1.0f;

    if (enabled.load (std::memory_order_relaxed))
        gain = peak > threshold ? ceiling / peak : makeupGain;

    gain *= margin;
    const auto endGain = std::min (gain, nextGain);

    // Both ends of the ramp are at most the delayed block's own gain, so its peak stays below the ceiling.
    kernels->scaleRampTo (internalBuffer.get(), out, currentGain, endGain);

    currentGain = endGain;
    nextGain = gain;
    std::swap (internalBuffer, lookAheadBuffer);
}

} // namespace vesk
