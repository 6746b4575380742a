#include "ZFourierTransform.h"

#include "ProcessorType.h"
#include "ZFourierTransformAV.h"
#include "vj_exception.h"

namespace vesk
{

ZFourierTransform::ZFourierTransform()
{
    setName ("ZFourierTransform");
}

std::unique_ptr<ZFourierTransform> ZFourierTransform::create (int log2Size, int direction, int real)
{
    auto code = getProcessorType();

    if (code < processorPlain || code > processorSSE2)
        VJ_DSP_THROW ("Could not create a ZFourierTransform object");

    auto transform = std::make_unique<ZFourierTransformAV>();
    transform->initialize (log2Size, direction, real);
    return transform;
}

void ZFourierTransform::initialize (int, int, int) {}

void ZFourierTransform::transformReal (ZBuffer*, ZBuffer*, ZBuffer*)
{
    VJ_DSP_THROW ("Fourier Transform is not supported on your processor.");
}

void ZFourierTransform::transformRealPair (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                                           ZBuffer* imB)
{
    transformReal (timeA, reA, imA);
    transformReal (timeB, reB, imB);
}

void ZFourierTransform::transformRealPairFrom (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                                               ZBuffer* imB, int)
{
    transformRealPair (timeA, reA, imA, timeB, reB, imB);
}

} // namespace vesk
