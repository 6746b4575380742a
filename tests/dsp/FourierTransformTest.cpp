#include "TestSignals.h"
#include "ZFourierTransform.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

using namespace vesk;
using tavlin::test::fillNoise;

namespace
{
struct Spectrum
{
    explicit Spectrum (int n) : re (n / 2 + 1, "re"), im (n / 2 + 1, "im") {}
    ZBuffer re, im;
};
} // namespace

TEST (FourierTransformTest, ForwardMatchesTheNaiveDftDividedByN)
{
    for (int log2Size : { 1, 2, 3, 5, 8, 10, 11 })
    {
        const int n = 1 << log2Size;
        auto forward = ZFourierTransform::create (log2Size, 0, 1);
        EXPECT_STREQ (forward->getName(), "ZFourierTransformAV");

        ZBuffer time (n, "t");
        fillNoise (time, (uint32_t) log2Size);
        Spectrum spectrum (n);
        forward->transformReal (&time, &spectrum.re, &spectrum.im);

        const auto reference = tavlin::test::naiveDft (time.getData(), n);
        double worst = 0.0, peak = 0.0;

        for (int k = 0; k <= n / 2; ++k)
        {
            std::complex<double> got (spectrum.re.getData()[k], spectrum.im.getData()[k]);
            worst = std::max (worst, std::abs (got - reference[(size_t) k] / (double) n));
            peak = std::max (peak, std::abs (reference[(size_t) k] / (double) n));
        }

        EXPECT_LT (worst / peak, 1e-5) << "n = " << n;
        EXPECT_EQ (spectrum.im.getData()[0], 0.0f);
        EXPECT_EQ (spectrum.im.getData()[n / 2], 0.0f);
    }
}

TEST (FourierTransformTest, PairsAreTwoSingleTransformsWithinFloatRounding)
{
    // Two frames in one complex transform, forward and inverse, against one transform each: every size
    // from 2 points up, bins longer than half the size plus one included (their tails are scaled alike),
    // and frames far apart in level, whose quieter one takes only the louder one's rounding.
    struct Case
    {
        int log2Size;
        float levelB;
        int extraBins;
    };

    const Case cases[] = { { 1, 1.0f, 0 },  { 2, 1.0f, 3 },     { 3, 0.5f, 0 },  { 5, 1.0f, 0 }, { 8, 1.0e-3f, 2 },
                           { 10, 1.0f, 0 }, { 10, 1.0e-4f, 0 }, { 11, 1.0f, 0 }, { 12, 0.1f, 1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "2^" << c.log2Size << " points, second frame at " << c.levelB);
        const int n = 1 << c.log2Size;
        const auto bins = n / 2 + 1 + c.extraBins;
        auto forward = ZFourierTransform::create (c.log2Size, 0, 1);
        auto inverse = ZFourierTransform::create (c.log2Size, 1, 1);
        ZBuffer timeA (n, "a"), timeB (n, "b");
        fillNoise (timeA, (uint32_t) c.log2Size);
        fillNoise (timeB, (uint32_t) c.log2Size + 100);
        std::for_each (timeB.getData(), timeB.getData() + n, [&] (float& x) { x *= c.levelB; });

        ZBuffer reA (bins, "ra"), imA (bins, "ia"), reB (bins, "rb"), imB (bins, "ib");
        ZBuffer singleReA (bins, "sra"), singleImA (bins, "sia"), singleReB (bins, "srb"), singleImB (bins, "sib");

        for (auto* b : { &reA, &imA, &reB, &imB, &singleReA, &singleImA, &singleReB, &singleImB })
            std::fill (b->getData() + n / 2 + 1, b->getData() + bins, 3.0f);

        forward->transformRealPair (&timeA, &reA, &imA, &timeB, &reB, &imB);
        forward->transformReal (&timeA, &singleReA, &singleImA);
        forward->transformReal (&timeB, &singleReB, &singleImB);

        const auto worstBinError = [&] (const ZBuffer& re, const ZBuffer& im, const ZBuffer& sre, const ZBuffer& sim)
        {
            double worst = 0.0, peak = 0.0;

            for (int k = 0; k < bins; ++k)
            {
                const auto d = std::hypot ((double) re.getData()[k] - sre.getData()[k],
                                           (double) im.getData()[k] - sim.getData()[k]);
                worst = std::max (worst, d);
                peak = std::max (peak, std::hypot ((double) sre.getData()[k], (double) sim.getData()[k]));
            }

            return worst / peak;
        };

        // Each frame's bins within rounding of the louder frame, A.
        EXPECT_LT (worstBinError (reA, imA, singleReA, singleImA), 1.0e-6);
        EXPECT_LT (worstBinError (reB, imB, singleReB, singleImB), 1.0e-6 / (double) c.levelB);

        for (auto* im : { &imA, &imB })
        {
            EXPECT_EQ (im->getData()[0], 0.0f);
            EXPECT_EQ (im->getData()[n / 2], 0.0f);
        }

        // Back from the single transforms' bins, with something in the imaginary parts of DC and
        // Nyquist that the inverse ignores, as transformReal does.
        singleImA.getData()[0] = 5.0f;
        singleImB.getData()[n / 2] = -5.0f;
        ZBuffer backA (n, "ba"), backB (n, "bb"), singleBackA (n, "sba"), singleBackB (n, "sbb");
        inverse->transformRealPair (&backA, &singleReA, &singleImA, &backB, &singleReB, &singleImB);
        inverse->transformReal (&singleBackA, &singleReA, &singleImA);
        inverse->transformReal (&singleBackB, &singleReB, &singleImB);

        // The louder frame is at level 1: both outputs within its rounding.
        for (const auto& [pair, single] : { std::pair (&backA, &singleBackA), std::pair (&backB, &singleBackB) })
        {
            double worst = 0.0;

            for (int i = 0; i < n; ++i)
                worst = std::max (worst, std::abs ((double) pair->getData()[i] - single->getData()[i]));

            EXPECT_LT (worst, 2.0e-6);
        }
    }
}

TEST (FourierTransformTest, PairsOfFramesZeroAtTheEndReadOnlyTheirStart)
{
    // Frames that are zero from some sample on give, with only that many samples read, the bits of the
    // whole frames, whatever the calls before left, however long they were.
    constexpr int log2Size = 11, n = 1 << log2Size;
    auto forward = ZFourierTransform::create (log2Size, 0, 1);
    auto reference = ZFourierTransform::create (log2Size, 0, 1);
    ZBuffer timeA (n, "a"), timeB (n, "b"), garbageA (n, "ga"), garbageB (n, "gb");
    Spectrum a (n), b (n), expectedA (n), expectedB (n);

    for (int samples : { n, 512, 1, 700, 0, 2047, 512, 3 })
    {
        SCOPED_TRACE (samples);
        fillNoise (timeA, (uint32_t) samples + 1);
        fillNoise (timeB, (uint32_t) samples + 2);
        std::fill (timeA.getData() + samples, timeA.getData() + n, 0.0f);
        std::fill (timeB.getData() + samples, timeB.getData() + n, 0.0f);

        // What lies beyond the samples is not read.
        garbageA.copyFrom (timeA);
        garbageB.copyFrom (timeB);
        std::fill (garbageA.getData() + samples, garbageA.getData() + n, 5.0f);
        std::fill (garbageB.getData() + samples, garbageB.getData() + n, -5.0f);

        forward->transformRealPairFrom (&garbageA, &a.re, &a.im, &garbageB, &b.re, &b.im, samples);
        reference->transformRealPair (&timeA, &expectedA.re, &expectedA.im, &timeB, &expectedB.re, &expectedB.im);

        for (int k = 0; k <= n / 2; ++k)
        {
            ASSERT_EQ (a.re.getData()[k], expectedA.re.getData()[k]) << k;
            ASSERT_EQ (a.im.getData()[k], expectedA.im.getData()[k]) << k;
            ASSERT_EQ (b.re.getData()[k], expectedB.re.getData()[k]) << k;
            ASSERT_EQ (b.im.getData()[k], expectedB.im.getData()[k]) << k;
        }
    }
}

TEST (FourierTransformTest, InverseAfterForwardReturnsTheInput)
{
    for (int log2Size : { 2, 6, 10, 12 })
    {
        const int n = 1 << log2Size;
        auto forward = ZFourierTransform::create (log2Size, 0, 1);
        auto inverse = ZFourierTransform::create (log2Size, 1, 1);

        ZBuffer time (n, "t"), back (n, "b");
        fillNoise (time, 77);
        Spectrum spectrum (n);
        forward->transformReal (&time, &spectrum.re, &spectrum.im);
        inverse->transformReal (&back, &spectrum.re, &spectrum.im);

        for (int j = 0; j < n; ++j)
            ASSERT_NEAR (back.getData()[j], time.getData()[j], 2e-6f) << "n = " << n << ", sample " << j;
    }
}

TEST (FourierTransformTest, PackedEdgeCases)
{
    const int n = 8;
    auto forward = ZFourierTransform::create (3, 0, 1);
    auto inverse = ZFourierTransform::create (3, 1, 1);
    ZBuffer time (n, "t");
    Spectrum spectrum (n);

    time.getData()[0] = 1.0f;
    forward->transformReal (&time, &spectrum.re, &spectrum.im);
    for (int k = 0; k <= n / 2; ++k)
    {
        EXPECT_FLOAT_EQ (spectrum.re.getData()[k], 0.125f);
        EXPECT_EQ (spectrum.im.getData()[k], 0.0f);
    }

    for (int j = 0; j < n; ++j)
        time.getData()[j] = (j % 2 == 0) ? 1.0f : -1.0f;
    forward->transformReal (&time, &spectrum.re, &spectrum.im);
    for (int k = 0; k <= n / 2; ++k)
        EXPECT_NEAR (spectrum.re.getData()[k], k == n / 2 ? 1.0f : 0.0f, 1e-7f);

    for (int nyquist : { 0, 1 })
    {
        spectrum.re.clear();
        spectrum.im.clear();
        spectrum.re.getData()[nyquist ? n / 2 : 0] = 1.0f;
        inverse->transformReal (&time, &spectrum.re, &spectrum.im);

        for (int j = 0; j < n; ++j)
            EXPECT_NEAR (time.getData()[j], nyquist && j % 2 == 1 ? -1.0f : 1.0f, 1e-6f);
    }

    // A full-scale cosine at bin 3 of 1024 lands as 0.5 in its bin; all 513 bins are written.
    auto forward1024 = ZFourierTransform::create (10, 0, 1);
    ZBuffer cosine (1024, "c");
    Spectrum wide (1024);
    std::fill_n (wide.re.getData(), 513, 99.0f);
    for (int j = 0; j < 1024; ++j)
        cosine.getData()[j] = (float) std::cos (2.0 * M_PI * 3.0 * j / 1024.0);
    forward1024->transformReal (&cosine, &wide.re, &wide.im);
    EXPECT_NEAR (wide.re.getData()[3], 0.5f, 1e-6f);
    for (int k = 0; k <= 512; ++k)
        if (k != 3)
        {
            ASSERT_NEAR (wide.re.getData()[k], 0.0f, 1e-6f) << k;
        }
}

TEST (FourierTransformTest, BadSetUpsThrow)
{
    try
    {
        ZFourierTransform::create (10, 2, 1);
        FAIL() << "direction 2 was accepted";
    }
    catch (const vesk_juce::vj_dsp_exception& e)
    {
        EXPECT_EQ (e.getMessage(), "This should be impossible.");
    }

    for (int log2Size : { -1, 0, 31, 40 })
        EXPECT_THROW (ZFourierTransform::create (log2Size, 0, 1), vesk_juce::vj_dsp_exception) << log2Size;

    ZFourierTransform base;
    ZBuffer t (4, "t"), re (3, "re"), im (3, "im");
    EXPECT_THROW (base.transformReal (&t, &re, &im), vesk_juce::vj_dsp_exception);
}

TEST (FourierTransformTest, TheNoiseGatesSizeKeepsThePlanFftwEstimates)
{
    // The 1024-point transforms feed the gate, whose steps a last-bit difference can flip: the fixed
    // plans installed for other sizes must leave them as FFTW's estimate makes them, to the bit.
    constexpr int n = 1024;
    auto forward = ZFourierTransform::create (10, 0, 1);
    auto inverse = ZFourierTransform::create (10, 1, 1);
    ZBuffer time (n, "t"), back (n, "b");
    fillNoise (time, 5);
    Spectrum spectrum (n);
    forward->transformReal (&time, &spectrum.re, &spectrum.im);
    inverse->transformReal (&back, &spectrum.re, &spectrum.im);

    // FFTW's own estimated plans with no plans installed, on the same input.
    char* installed = fftwf_export_wisdom_to_string();
    fftwf_forget_wisdom();
    auto* samples = static_cast<float*> (fftwf_malloc (sizeof (float) * n));
    auto* bins = static_cast<fftwf_complex*> (fftwf_malloc (sizeof (fftwf_complex) * (n / 2 + 1)));
    auto r2c = fftwf_plan_dft_r2c_1d (n, samples, bins, FFTW_ESTIMATE);
    auto c2r = fftwf_plan_dft_c2r_1d (n, bins, samples, FFTW_ESTIMATE);
    std::copy_n (time.getData(), n, samples);
    fftwf_execute (r2c);

    for (int k = 0; k <= n / 2; ++k)
    {
        EXPECT_EQ (spectrum.re.getData()[k], bins[k][0] * (1.0f / n)) << "bin " << k;

        if (k != 0 && k != n / 2)
        {
            EXPECT_EQ (spectrum.im.getData()[k], bins[k][1] * (1.0f / n)) << "bin " << k;
        }
    }

    for (int k = 0; k <= n / 2; ++k)
    {
        bins[k][0] = spectrum.re.getData()[k];
        bins[k][1] = k == 0 || k == n / 2 ? 0.0f : spectrum.im.getData()[k];
    }

    fftwf_execute (c2r);

    for (int i = 0; i < n; ++i)
        EXPECT_EQ (back.getData()[i], samples[i]) << "sample " << i;

    fftwf_destroy_plan (r2c);
    fftwf_destroy_plan (c2r);
    fftwf_free (samples);
    fftwf_free (bins);
    fftwf_import_wisdom_from_string (installed);
    std::free (installed);
}
