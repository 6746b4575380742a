// Prints FFTW's patient plans for the 2048-point real transforms of the enhancer, planned as
// ZFourierTransformAV plans them (out of place, on FFTW's own aligned arrays), for
// Source/zdsp/linux/FourierWisdom.h. Run it pinned to an idle core (taskset -c N): the plans rest on
// timings.

#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

int main()
{
    constexpr int n = 2048;

    for (bool forward : { true, false })
    {
        auto* samples = static_cast<float*> (fftwf_malloc (sizeof (float) * n));
        auto* bins = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1)));
        auto plan = forward ? fftwf_plan_dft_r2c_1d (n, samples, bins, FFTW_PATIENT)
                            : fftwf_plan_dft_c2r_1d (n, bins, samples, FFTW_PATIENT);
        fftwf_destroy_plan (plan);
        fftwf_free (samples);
        fftwf_free (bins);
    }

    char* wisdom = fftwf_export_wisdom_to_string();
    std::fputs (wisdom, stdout);
    std::free (wisdom);
    return 0;
}
