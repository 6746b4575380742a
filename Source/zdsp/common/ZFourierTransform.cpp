#include "ZFourierTransform.h"

#include "vj_exception.h"

namespace vesk
{

ZFourierTransform::ZFourierTransform()
{
    setName ("ZFourierTransform");
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
