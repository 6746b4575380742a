#include "ZFourierTransformAV.h"

#include "FourierWisdom.h"
#include "ProcessorType.h"

#include "ZVectorKernels.h"
#include "vj_exception.h"

#include <fftw3.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

namespace vesk
{

namespace
{
// FFTW's planner is not thread-safe; executing distinct plans is.
std::mutex& plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

/** The text of the plan FFTW makes now for a real transform of n points. */
std::string planText (int n, bool isForward)
{
    auto* samples = static_cast<float*> (fftwf_malloc (sizeof (float) * (size_t) n));
    auto* bins = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (size_t) (n / 2 + 1)));
    std::string text;

    if (samples != nullptr && bins != nullptr)
    {
        auto plan = isForward ? fftwf_plan_dft_r2c_1d (n, samples, bins, FFTW_ESTIMATE)
                              : fftwf_plan_dft_c2r_1d (n, bins, samples, FFTW_ESTIMATE);

        if (plan != nullptr)
        {
            if (auto* printed = fftwf_sprint_plan (plan))
            {
                text = printed;
                std::free (printed);
            }

            fftwf_destroy_plan (plan);
        }
    }

    fftwf_free (samples);
    fftwf_free (bins);
    return text;
}

/** Installs the fixed plans once, with the planner's mutex held; should they change the plans of the
    1024-point transforms, they are forgotten again.
*/
void installFixedPlans()
{
    static bool installed = false;

    if (installed)
        return;

    installed = true;
    const auto forward = planText (1024, true), inverse = planText (1024, false);

    if (fftwf_import_wisdom_from_string (fourierWisdom) != 0
        && (planText (1024, true) != forward || planText (1024, false) != inverse))
        fftwf_forget_wisdom();
}

struct FftwDeleter
{
    void operator() (void* p) const noexcept { fftwf_free (p); }
};
} // namespace

/** An FFTW plan between n samples and n/2 + 1 interleaved bins. FFTW's interleaved real transforms
    run faster than its split ones, so the bins are split into the callers' layout (and scaled) in one
    vector pass; the samples side runs on the caller's buffer when it has the plan's alignment.
*/
struct ZFourierTransformAV::Plan
{
    Plan (unsigned n, bool isForward)
        : samples (static_cast<float*> (fftwf_malloc (sizeof (float) * n))),
          bins (static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1))))
    {
        if (samples == nullptr || bins == nullptr)
            VJ_DSP_THROW ("Could not set up the Fourier transform.");

        std::lock_guard<std::mutex> lock (plannerMutex());
        installFixedPlans();
        plan = isForward ? fftwf_plan_dft_r2c_1d ((int) n, samples.get(), bins.get(), FFTW_ESTIMATE)
                         : fftwf_plan_dft_c2r_1d ((int) n, bins.get(), samples.get(), FFTW_ESTIMATE);

        if (plan == nullptr)
            VJ_DSP_THROW ("Could not set up the Fourier transform.");
    }

    ~Plan()
    {
        std::lock_guard<std::mutex> lock (plannerMutex());
        fftwf_destroy_plan (plan);
    }

    /** True when the samples can be read or written in place: the alignment the plan was made for. */
    bool usable (float* p) const noexcept { return fftwf_alignment_of (p) == fftwf_alignment_of (samples.get()); }

    std::unique_ptr<float, FftwDeleter> samples;
    std::unique_ptr<fftwf_complex, FftwDeleter> bins;
    fftwf_plan plan = nullptr;
};

/** An FFTW plan of a complex transform of n points, the two real frames of a pair being its real and
    imaginary parts.
*/
struct ZFourierTransformAV::PairPlan
{
    PairPlan (unsigned n, bool isForward)
        : input (static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * n))),
          output (static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * n)))
    {
        if (input == nullptr || output == nullptr)
            VJ_DSP_THROW ("Could not set up the Fourier transform.");

        std::lock_guard<std::mutex> lock (plannerMutex());
        installFixedPlans();
        plan = fftwf_plan_dft_1d ((int) n, input.get(), output.get(), isForward ? FFTW_FORWARD : FFTW_BACKWARD,
                                  FFTW_ESTIMATE);

        if (plan == nullptr)
            VJ_DSP_THROW ("Could not set up the Fourier transform.");
    }

    ~PairPlan()
    {
        std::lock_guard<std::mutex> lock (plannerMutex());
        fftwf_destroy_plan (plan);
    }

    std::unique_ptr<fftwf_complex, FftwDeleter> input, output;
    fftwf_plan plan = nullptr;
    // The input is zero from here on (the complex transform leaves its input as it is).
    unsigned zeroFrom = 0;
};

// The factory lives beside the implementation it picks: the portable interface knows nothing of this one.
std::unique_ptr<ZFourierTransform> ZFourierTransform::create (int log2Size, int direction, int real)
{
    auto code = getProcessorType();

    if (code < processorPlain || code > processorSSE2)
        VJ_DSP_THROW ("Could not create a ZFourierTransform object");

    auto transform = std::make_unique<ZFourierTransformAV>();
    transform->initialize (log2Size, direction, real);
    return transform;
}

ZFourierTransformAV::ZFourierTransformAV()
{
    setName ("ZFourierTransformAV");
}

ZFourierTransformAV::~ZFourierTransformAV() = default;

void ZFourierTransformAV::initialize (int newLog2Size, int newDirection, int)
{
    if (newLog2Size < 1 || newLog2Size > maxLog2Size)
        VJ_DSP_THROW ("Could not set up the Fourier transform.");

    if (newDirection != forward && newDirection != inverse)
        VJ_DSP_THROW ("This should be impossible.");

    size = 1u << newLog2Size;
    direction = newDirection;

    plan = std::make_unique<Plan> (size, newDirection == forward);
    pairPlan = size >= 2 ? std::make_unique<PairPlan> (size, newDirection == forward) : nullptr;

    if (pairPlan != nullptr)
        std::fill_n (&pairPlan->input.get()[0][0], 2 * size, 0.0f);
}

void ZFourierTransformAV::transformReal (ZBuffer* time, ZBuffer* re, ZBuffer* im)
{
    const auto n = size;
    const auto half = n / 2;
    auto* t = time->getData();
    auto* r = re->getData();
    auto* m = im->getData();
    auto* bins = plan->bins.get();

    if (direction == forward)
    {
        if (plan->usable (t))
        {
            fftwf_execute_dft_r2c (plan->plan, t, bins);
        }
        else
        {
            std::copy (t, t + n, plan->samples.get());
            fftwf_execute (plan->plan);
        }

        // Bins 0..n/2 carry X[k] / n; whatever the buffers hold past them is scaled as well.
        vectorKernels::deinterleaveScaled (&bins[0][0], r, m, half + 1, 1.0f / (float) n);
        m[0] = 0.0f;
        m[half] = 0.0f;

        const auto tailFactor = 0.5f / (float) n;

        if (re->getLength() > (int) half + 1)
            vectorKernels::scale (r + half + 1, (std::size_t) re->getLength() - (half + 1), tailFactor);

        if (im->getLength() > (int) half + 1)
            vectorKernels::scale (m + half + 1, (std::size_t) im->getLength() - (half + 1), tailFactor);
    }
    else
    {
        vectorKernels::interleave (r, m, &bins[0][0], half + 1);
        bins[0][1] = 0.0f;
        bins[half][1] = 0.0f;

        if (plan->usable (t))
        {
            fftwf_execute_dft_c2r (plan->plan, bins, t);
        }
        else
        {
            fftwf_execute (plan->plan);
            std::copy (plan->samples.get(), plan->samples.get() + n, t);
        }
    }
}

void ZFourierTransformAV::transformRealPair (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB, ZBuffer* reB,
                                             ZBuffer* imB)
{
    transformRealPairFrom (timeA, reA, imA, timeB, reB, imB, (int) size);
}

void ZFourierTransformAV::transformRealPairFrom (ZBuffer* timeA, ZBuffer* reA, ZBuffer* imA, ZBuffer* timeB,
                                                 ZBuffer* reB, ZBuffer* imB, int samples)
{
    if (pairPlan == nullptr)
    {
        ZFourierTransform::transformRealPair (timeA, reA, imA, timeB, reB, imB);
        return;
    }

    const auto n = size;
    const auto half = n / 2;
    auto* input = &pairPlan->input.get()[0][0];
    auto* output = &pairPlan->output.get()[0][0];

    if (direction == forward)
    {
        // Only the samples that may be other than zero are interleaved; what the last call left beyond
        // them is cleared.
        const auto m = (unsigned) std::clamp (samples, 0, (int) n);
        vectorKernels::interleave (timeA->getData(), timeB->getData(), input, m);

        if (pairPlan->zeroFrom > m)
            std::fill (input + 2 * m, input + 2 * pairPlan->zeroFrom, 0.0f);

        pairPlan->zeroFrom = m;
        fftwf_execute (pairPlan->plan);
        vectorKernels::splitFullSpectrum (output, reA->getData(), imA->getData(), reB->getData(), imB->getData(), n,
                                          0.5f / (float) n);

        // As transformReal: the imaginary parts of DC and Nyquist are 0, and whatever the buffers hold past
        // the bins is scaled as well.
        const auto tailFactor = 0.5f / (float) n;

        for (auto* bins : { reA, imA, reB, imB })
        {
            if (bins == imA || bins == imB)
            {
                bins->getData()[0] = 0.0f;
                bins->getData()[half] = 0.0f;
            }

            if (bins->getLength() > (int) half + 1)
                vectorKernels::scale (bins->getData() + half + 1, (std::size_t) bins->getLength() - (half + 1),
                                      tailFactor);
        }
    }
    else
    {
        vectorKernels::joinHalfSpectra (reA->getData(), imA->getData(), reB->getData(), imB->getData(), input, n);
        fftwf_execute (pairPlan->plan);
        vectorKernels::deinterleaveScaled (output, timeA->getData(), timeB->getData(), n, 1.0f);
    }
}

} // namespace vesk
