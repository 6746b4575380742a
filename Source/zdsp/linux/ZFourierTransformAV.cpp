#include "ZFourierTransformAV.h"

#include "vj_exception.h"

#include <fftw3.h>

#include <mutex>

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

    struct FftwDeleter
    {
        void operator() (void* p) const noexcept { fftwf_free (p); }
    };
} // namespace

struct ZFourierTransformAV::Plan
{
    Plan (unsigned n, bool isForward)
        : samples (static_cast<float*> (fftwf_malloc (sizeof (float) * n))),
          bins (static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1))))
    {
        if (samples == nullptr || bins == nullptr)
            VJ_DSP_THROW ("Could not set up the Fourier transform.");

        std::lock_guard<std::mutex> lock (plannerMutex());
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

    std::unique_ptr<float, FftwDeleter> samples;
    std::unique_ptr<fftwf_complex, FftwDeleter> bins;
    fftwf_plan plan = nullptr;
};

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
}

void ZFourierTransformAV::transformReal (ZBuffer* time, ZBuffer* re, ZBuffer* im)
{
    const auto n = size;
    const auto half = n / 2;
    auto* t = time->getData();
    auto* r = re->getData();
    auto* m = im->getData();
    auto* samples = plan->samples.get();
    auto* bins = plan->bins.get();

    if (direction == forward)
    {
        std::copy (t, t + n, samples);
        fftwf_execute (plan->plan);

        // Bins 0..n/2 carry X[k] / n; whatever the buffers hold past them is scaled as well.
        const auto scaleFactor = 1.0f / (float) n;

        for (unsigned k = 0; k <= half; ++k)
        {
            r[k] = bins[k][0] * scaleFactor;
            m[k] = bins[k][1] * scaleFactor;
        }

        m[0] = 0.0f;
        m[half] = 0.0f;

        const auto tailFactor = 0.5f / (float) n;

        for (int k = (int) half + 1; k < re->getLength(); ++k)
            r[k] *= tailFactor;

        for (int k = (int) half + 1; k < im->getLength(); ++k)
            m[k] *= tailFactor;
    }
    else
    {
        bins[0][0] = r[0];
        bins[0][1] = 0.0f;

        for (unsigned k = 1; k < half; ++k)
        {
            bins[k][0] = r[k];
            bins[k][1] = m[k];
        }

        bins[half][0] = r[half];
        bins[half][1] = 0.0f;

        fftwf_execute (plan->plan);
        std::copy (samples, samples + n, t);
    }
}

} // namespace vesk
