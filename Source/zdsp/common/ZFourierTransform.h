#pragma once

#include "ZBuffer.h"
#include "ZDSPObject.h"

#include <memory>

namespace vesk
{

/** The radix-2 real Fourier transform interface.

    A frame of n = 2^log2Size samples maps to the n/2 + 1 bins re[k] + i im[k] (DC and Nyquist real).
    The forward transform returns the discrete Fourier transform divided by n; the inverse is unscaled,
    so an inverse after a forward returns the input.
*/
class ZFourierTransform : public ZDSPObject
{
public:
    enum Direction
    {
        forward = 0,
        inverse = 1
    };

    ZFourierTransform();
    ~ZFourierTransform() override = default;

    /** A new initialised transform (direction 0 forward, 1 inverse). */
    static std::unique_ptr<ZFourierTransform> create (int log2Size, int direction, int real);

    virtual void initialize (int log2Size, int direction, int real);

    /** Forward: time (n samples) to re, im (n/2 + 1 bins each). Inverse: re, im to time. */
    virtual void transformReal (ZBuffer* time, ZBuffer* re, ZBuffer* im);

    /** Two frames at once, as transformReal (timeA, reA, imA) and transformReal (timeB, reB, imB) do them,
        within float rounding rather than to the bit: one complex transform can carry both. Every buffer
        must be a different one.
    */
    virtual void transformRealPair (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                                    ZBuffer* imB);

    /** transformRealPair forward for frames that are zero from sample samples on (only their first
        samples are read).
    */
    virtual void transformRealPairFrom (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                                        ZBuffer* imB, int samples);

    unsigned getSize() const noexcept { return size; }
    int getDirection() const noexcept { return direction; }

protected:
    unsigned size = 0;
    int direction = forward;
};

} // namespace vesk
