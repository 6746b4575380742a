#pragma once

#include "ZFourierTransform.h"

#include <memory>

namespace vesk
{

/** The real transform on FFTW (single precision). Plans are made once, in initialize, with FFTW's
    planner behind one process-wide mutex; transformReal only executes them.
*/
class ZFourierTransformAV : public ZFourierTransform
{
public:
    /** Largest supported log2 size. */
    static constexpr int maxLog2Size = 24;

    ZFourierTransformAV();
    ~ZFourierTransformAV() override;

    /** Throws vj_dsp_exception for a direction other than 0 or 1 and for a size FFTW cannot plan. */
    void initialize (int log2Size, int direction, int real) override;
    void transformReal (ZBuffer* time, ZBuffer* re, ZBuffer* im) override;

    /** Both frames as the real and imaginary parts of one complex transform of n points: the bins of
        each are split out of (forward) or joined into (inverse) the complex spectrum.
    */
    void transformRealPair (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                            ZBuffer* imB) override;
    void transformRealPairFrom (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB, ZBuffer* imB,
                                int samples) override;

private:
    struct Plan;
    struct PairPlan;

    std::unique_ptr<Plan> plan;
    std::unique_ptr<PairPlan> pairPlan;
};

} // namespace vesk
