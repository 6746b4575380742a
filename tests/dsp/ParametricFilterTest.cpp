#include "TestSignals.h"
#include "ZParametricFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace vesk;
using Coefficients = ZParametricFilter::Coefficients;

namespace
{
/** The magnitude in dB of a biquad at a frequency, evaluated from its coefficients. */
double responseDb (const Coefficients& c, double frequency, double sampleRate)
{
    const auto z = std::polar (1.0, -2.0 * M_PI * frequency / sampleRate);
    const auto numerator = (double) c[0] + (double) c[1] * z + (double) c[2] * z * z;
    const auto denominator = 1.0 + (double) c[4] * z + (double) c[5] * z * z;
    return tavlin::test::toDb (std::abs (numerator / denominator));
}

/** The measured gain in dB of a sine at a frequency through the filter, after it settles. */
double measuredDb (ZParametricFilter& filter, double frequency, double sampleRate)
{
    filter.reset();
    ZBuffer block (4096, "b");
    double inPower = 0, outPower = 0;

    for (int pass = 0; pass < 8; ++pass)
    {
        for (int i = 0; i < 4096; ++i)
            block.getData()[i] = (float) std::sin (2.0 * M_PI * frequency * (pass * 4096 + i) / sampleRate);

        ZBuffer input (4096, "in");
        input.copyFrom (block);
        filter.process (&block, &block);

        if (pass >= 4)
            for (int i = 0; i < 4096; ++i)
            {
                inPower += (double) input.getData()[i] * input.getData()[i];
                outPower += (double) block.getData()[i] * block.getData()[i];
            }
    }

    return 10.0 * std::log10 (outPower / inPower);
}
} // namespace

TEST (ParametricFilterTest, ResponsesPerTypeAtDcNyquistAndCentre)
{
    const double rate = 44100.0;

    struct Case
    {
        int type;
        float frequency, q, gainDb;
        double dcDb, nyquistDb, centreDb;
        double tolerance = 0.05;
    };

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        { 0, 1000, 0.707f, 6, 0, 0, 0 },
        { 1, 1000, 2.0f, -12, 0, 0, -12 },
        // A very narrow cut: its float coefficients round the depth by about 1 dB.
        { 1, 60, 60, -48, 0, 0, -48, 1.5 },
        { 2, 1000, 1.0f, 6, 6, 0, 3 },
        { 3, 1000, 1.0f, -6, 0, -6, -3 },
        { 4, 1000, 0.707f, 0, 0, -300, nan },
        { 5, 1000, 0.707f, 0, -300, 0, nan },
        { 6, 1000, 1.0f, 0, -300, -300, 0 },
        { 7, 1000, 1.0f, 0, 0, 0, -300 },
        { 9, 1000, 1.0f, 0, 0, 0, 0 },
    };

    for (const auto& c : cases)
    {
        auto filter = ZParametricFilter::create ((float) rate);
        filter->setParameters (c.type, c.frequency, c.q, c.gainDb);
        ZBuffer dummy (1, "d");
        filter->process (&dummy, &dummy);
        const auto& coefficients = filter->getActiveCoefficients();

        auto expectDb = [&] (double frequency, double expected, const char* where)
        {
            const auto got = responseDb (coefficients, frequency, rate);
            if (expected <= -300)
                EXPECT_LT (got, -100) << "type " << c.type << " at " << where;
            else
                EXPECT_NEAR (got, expected, c.tolerance) << "type " << c.type << " at " << where;
        };

        expectDb (0.0, c.dcDb, "DC");
        expectDb (rate / 2, c.nyquistDb, "Nyquist");
        if (!std::isnan (c.centreDb))
            expectDb (c.frequency, c.centreDb, "f0");
        EXPECT_EQ (coefficients[3], 1.0f);
    }
}

TEST (ParametricFilterTest, FilteringMatchesTheDesignedResponse)
{
    auto filter = ZParametricFilter::create (48000.0f);
    filter->setParameters (ZParametricFilter::peaking, 2000.0f, 1.5f, -9.0f);

    for (double f : { 200.0, 2000.0, 9000.0 })
    {
        const auto measured = measuredDb (*filter, f, 48000.0);
        EXPECT_NEAR (measured, responseDb (filter->getActiveCoefficients(), f, 48000.0), 0.05) << f;
    }

    EXPECT_NEAR (measuredDb (*filter, 2000.0, 48000.0), -9.0, 0.05);
}

TEST (ParametricFilterTest, LowPassCoefficientsUseSinhInAlpha)
{
    auto filter = ZParametricFilter::create (44100.0f);
    filter->setParameters (4, 1000.0f, 0.707f, 0.0f);
    ZBuffer dummy (1, "d");
    filter->process (&dummy, &dummy);

    const auto w0 = (double) (1000.0f * 6.2831855f / 44100.0f);
    const auto alpha = std::sin (w0) * std::sinh (1.0 / (2.0 * 0.707f));
    const auto a0 = 1 + alpha;
    const auto& c = filter->getActiveCoefficients();
    EXPECT_FLOAT_EQ (c[0], (float) ((1 - std::cos (w0)) / 2 / a0));
    EXPECT_FLOAT_EQ (c[1], (float) ((1 - std::cos (w0)) / a0));
    EXPECT_FLOAT_EQ (c[4], (float) (-2 * std::cos (w0) / a0));
    EXPECT_FLOAT_EQ (c[5], (float) ((1 - alpha) / a0));
}

TEST (ParametricFilterTest, NewFilterPassesInputThroughAndBadParametersAreIgnored)
{
    auto filter = ZParametricFilter::create (44100.0f);
    ZBuffer block (64, "b"), copy (64, "c");
    tavlin::test::fillNoise (block, 5);
    copy.copyFrom (block);
    filter->process (&block, &block);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ (block.getData()[i], copy.getData()[i]);

    filter->setParameters (4, 500.0f, 0.707f, 0.0f);
    filter->process (&block, &block);
    const auto before = filter->getActiveCoefficients();

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();

    struct Case
    {
        float frequency, q, gain;
    };

    for (auto c : { Case { 0, 1, 0 }, Case { 100, 0, 0 }, Case { -5, 1, 0 }, Case { nan, 1, 0 }, Case { 100, nan, 0 },
                    Case { inf, 1, 0 }, Case { 100, 1, nan }, Case { 100, 1e-30f, 0 }, Case { 100, 1, 1e6f } })
    {
        filter->setParameters (1, c.frequency, c.q, c.gain);
        filter->process (&block, &block);
        EXPECT_EQ (filter->getActiveCoefficients(), before) << c.frequency << " " << c.q << " " << c.gain;
        EXPECT_EQ (filter->getFrequency(), 500.0f);
    }
}

TEST (ParametricFilterTest, FrequencyAboveNyquistIsFoldedAndRateChangesRecompute)
{
    auto filter = ZParametricFilter::create (44100.0f);
    filter->setParameters (4, 30000.0f, 0.707f, 0.0f);
    ZBuffer dummy (1, "d");
    filter->process (&dummy, &dummy);
    EXPECT_EQ (filter->getFrequency(), 30000.0f);
    EXPECT_EQ (filter->getActiveCoefficients(),
               ZParametricFilter::computeCoefficients (4, 20947.5f, 0.707f, 0.0f, 44100.0f));

    filter->setParameters (5, 100.0f, 0.707f, 0.0f);
    filter->setSampleRate (48000.0f);
    filter->process (&dummy, &dummy);
    EXPECT_EQ (filter->getActiveCoefficients(),
               ZParametricFilter::computeCoefficients (5, 100.0f, 0.707f, 0.0f, 48000.0f));
}

TEST (ParametricFilterTest, StateIsFlushedAndNonFiniteStateCleared)
{
    auto filter = ZParametricFilter::create (44100.0f);
    filter->setParameters (4, 200.0f, 0.707f, 0.0f);
    ZBuffer block (4096, "b");
    block.getData()[0] = 1e-30f;
    filter->process (&block, &block);
    block.clear();

    for (int i = 0; i < 20; ++i)
        filter->process (&block, &block);

    for (int i = 0; i < 4096; ++i)
        ASSERT_FALSE (std::fpclassify (block.getData()[i]) == FP_SUBNORMAL) << i;

    block.getData()[0] = std::numeric_limits<float>::infinity();
    filter->process (&block, &block);
    block.clear();
    filter->process (&block, &block);

    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ (block.getData()[i], 0.0f) << i;
}

TEST (ParametricFilterTest, ConcurrentChangesNeverInstallATornSet)
{
    auto filter = ZParametricFilter::create (44100.0f);
    const auto setA = ZParametricFilter::computeCoefficients (1, 100.0f, 2.0f, -20.0f, 44100.0f);
    const auto setB = ZParametricFilter::computeCoefficients (6, 9000.0f, 0.5f, 0.0f, 44100.0f);
    std::atomic<bool> done { false };

    std::thread writer (
        [&]
        {
            for (int i = 0; i < 200000; ++i)
            {
                if (i % 2 == 0)
                    filter->setParameters (1, 100.0f, 2.0f, -20.0f);
                else
                    filter->setParameters (6, 9000.0f, 0.5f, 0.0f);
            }
            done = true;
        });

    ZBuffer block (1, "b");
    int checks = 0;

    while (!done || checks < 1000)
    {
        filter->process (&block, &block);
        const auto& active = filter->getActiveCoefficients();
        const bool identity = active == Coefficients { 1, 0, 0, 1, 0, 0 };
        ASSERT_TRUE (identity || active == setA || active == setB);
        ++checks;
    }

    writer.join();
    filter->process (&block, &block);
    EXPECT_EQ (filter->getActiveCoefficients(), setB);
}

TEST (ParametricFilterTest, CascadeGivesTheBitsOfEachFilterInTurn)
{
    // Hum notches, a low-pass and a high-pass in chains of every length, over blocks longer and shorter
    // than a group of four, block after block so the carried state counts too.
    for (int count = 0; count <= 14; ++count)
        for (int length : { 1, 2, 3, 5, 512, 1023 })
        {
            std::vector<std::unique_ptr<ZParametricFilter>> serial, cascade;

            for (int j = 0; j < count; ++j)
                for (auto* chain : { &serial, &cascade })
                {
                    chain->push_back (ZParametricFilter::create (44100.0f));

                    if (j % 5 == 3)
                        chain->back()->setParameters (ZParametricFilter::lowPass, 8000.0f, 0.707f, 0.0f);
                    else if (j % 5 == 4)
                        chain->back()->setParameters (ZParametricFilter::highPass, 100.0f, 0.9f, 0.0f);
                    else
                        chain->back()->setParameters (ZParametricFilter::peaking, 50.0f * (float) (j + 1), 60.0f,
                                                      (float) (2 * j) - 48.0f);
                }

            std::vector<ZParametricFilter*> chain;
            chain.reserve (cascade.size());

            for (auto& f : cascade)
                chain.push_back (f.get());

            ZBuffer a (length, "a"), b (length, "b");

            for (int block = 0; block < 3; ++block)
            {
                tavlin::test::fillNoise (a, (uint32_t) (count * 100 + length + block), 0.5f);
                b.copyFrom (a);

                for (auto& f : serial)
                    f->process (&a, &a);

                ZParametricFilter::processCascade (chain.data(), count, &b);

                for (int i = 0; i < length; ++i)
                    ASSERT_EQ (std::memcmp (a.getData() + i, b.getData() + i, sizeof (float)), 0)
                        << count << " filters, length " << length << ", block " << block << ", sample " << i;
            }
        }
}

TEST (ParametricFilterTest, CascadePairGivesEachChannelsOwnCascade)
{
    // Two channels' chains of every length side by side, with different settings and signals, block
    // after block; one case where a channel's filter has no rate yet and the pair goes one by one.
    for (int count = 0; count <= 14; ++count)
        for (int length : { 1, 3, 512, 1024 })
            for (bool missingRate : { false, true })
            {
                std::vector<std::unique_ptr<ZParametricFilter>> alone[2], paired[2];

                for (int c = 0; c < 2; ++c)
                    for (int j = 0; j < count; ++j)
                        for (auto* chain : { &alone[c], &paired[c] })
                        {
                            const auto rate = missingRate && c == 1 && j == count / 2 ? 0.0f : 44100.0f;
                            chain->push_back (ZParametricFilter::create (rate));
                            chain->back()->setParameters (ZParametricFilter::peaking,
                                                          (50.0f + 10.0f * (float) c) * (float) (j + 1), 60.0f,
                                                          (float) (2 * j) - 48.0f);
                        }

                std::vector<ZParametricFilter*> chains[2], pairs[2];

                for (int c = 0; c < 2; ++c)
                    for (int j = 0; j < count; ++j)
                    {
                        chains[c].push_back (alone[c][(size_t) j].get());
                        pairs[c].push_back (paired[c][(size_t) j].get());
                    }

                ZBuffer x0 (length, "x0"), x1 (length, "x1"), y0 (length, "y0"), y1 (length, "y1");

                for (int block = 0; block < 3; ++block)
                {
                    tavlin::test::fillNoise (x0, (uint32_t) (count * 10 + length + block), 0.5f);
                    tavlin::test::fillNoise (x1, (uint32_t) (count * 10 + length + block + 7), 0.3f);
                    y0.copyFrom (x0);
                    y1.copyFrom (x1);

                    ZParametricFilter::processCascade (chains[0].data(), count, &x0);
                    ZParametricFilter::processCascade (chains[1].data(), count, &x1);
                    ZParametricFilter::processCascadePair (pairs[0].data(), pairs[1].data(), count, &y0, &y1);

                    for (int i = 0; i < length; ++i)
                    {
                        ASSERT_EQ (std::memcmp (x0.getData() + i, y0.getData() + i, sizeof (float)), 0)
                            << count << " filters, length " << length << ", block " << block << ", sample " << i;
                        ASSERT_EQ (std::memcmp (x1.getData() + i, y1.getData() + i, sizeof (float)), 0)
                            << count << " filters, length " << length << ", block " << block << ", sample " << i;
                    }
                }
            }
}
