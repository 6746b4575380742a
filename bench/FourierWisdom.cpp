// Prints FFTW's patient plans for Source/zdsp/linux/FourierWisdom.h: the 2048-point real transforms of
// the enhancer and the complex transforms of 1024 and 2048 points that carry two real frames at once,
// planned as ZFourierTransformAV plans them (out of place, on FFTW's own aligned arrays). The plans
// fixed in the header stay as they are and only the others are planned, unless --afresh is given. Run
// it pinned to an idle core (taskset -c N): the plans rest on timings. It fails when the plans would
// change those FFTW estimates for the 1024-point real transforms, which must stay as they are.

#include "FourierWisdom.h"

#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace
{
std::string estimatedRealPlan (int n, bool forward)
{
    auto* samples = static_cast<float*> (fftwf_malloc (sizeof (float) * n));
    auto* bins = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1)));
    auto plan = forward ? fftwf_plan_dft_r2c_1d (n, samples, bins, FFTW_ESTIMATE)
                        : fftwf_plan_dft_c2r_1d (n, bins, samples, FFTW_ESTIMATE);
    char* printed = fftwf_sprint_plan (plan);
    std::string text = printed;
    std::free (printed);
    fftwf_destroy_plan (plan);
    fftwf_free (samples);
    fftwf_free (bins);
    return text;
}
} // namespace

int main (int argc, char** argv)
{
    const auto afresh = argc > 1 && std::strcmp (argv[1], "--afresh") == 0;
    const auto forward1024 = estimatedRealPlan (1024, true), inverse1024 = estimatedRealPlan (1024, false);
    fftwf_forget_wisdom();

    if (!afresh)
        fftwf_import_wisdom_from_string (vesk::fourierWisdom);

    for (bool forward : { true, false })
    {
        constexpr int n = 2048;
        auto* samples = static_cast<float*> (fftwf_malloc (sizeof (float) * n));
        auto* bins = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1)));
        auto plan = forward ? fftwf_plan_dft_r2c_1d (n, samples, bins, FFTW_PATIENT)
                            : fftwf_plan_dft_c2r_1d (n, bins, samples, FFTW_PATIENT);
        fftwf_destroy_plan (plan);
        fftwf_free (samples);
        fftwf_free (bins);
    }

    for (int n : { 1024, 2048 })
        for (int sign : { FFTW_FORWARD, FFTW_BACKWARD })
        {
            auto* input = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * n));
            auto* output = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * n));
            fftwf_destroy_plan (fftwf_plan_dft_1d (n, input, output, sign, FFTW_PATIENT));
            fftwf_free (input);
            fftwf_free (output);
        }

    char* wisdom = fftwf_export_wisdom_to_string();

    if (estimatedRealPlan (1024, true) != forward1024 || estimatedRealPlan (1024, false) != inverse1024)
    {
        std::fputs ("these plans change FFTW's estimates for the 1024-point real transforms\n", stderr);
        std::free (wisdom);
        return 1;
    }

    std::fputs (wisdom, stdout);
    std::free (wisdom);
    return 0;
}
