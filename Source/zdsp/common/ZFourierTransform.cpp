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

} // namespace vesk
