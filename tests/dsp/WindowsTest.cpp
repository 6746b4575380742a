#include "TestSignals.h"
#include "ZHammingWindow.h"
#include "ZSignalWindow.h"
#include "ZWindowedOverlapAdd.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vesk;

TEST (WindowsTest, HammingAndBlackmanShapes)
{
    auto hamming = ZHammingWindow::create (1024);
    const auto* w = hamming->getWindow()->getData();
    EXPECT_NEAR (w[0], 0.08f, 1e-6f);
    EXPECT_NEAR (w[1023], 0.08f, 1e-6f);
    EXPECT_NEAR (w[512], 1.0f, 1e-4f);
    for (int i = 0; i < 512; ++i)
        ASSERT_NEAR (w[i], w[1023 - i], 2e-6f) << i;

    auto signalHamming = ZSignalWindow::create (1024, 0, 0);
    EXPECT_NEAR (signalHamming->getSum(), 552.5f, 0.1f);
    EXPECT_NEAR (signalHamming->getSumOfSquares(), 1024 * (0.54 * 0.54 + 0.46 * 0.46 / 2), 1.0);

    auto blackman = ZSignalWindow::create (1024, 3, 0);
    EXPECT_NEAR (blackman->getWindow()->getData()[0], 0.0f, 1e-6f);
    EXPECT_NEAR (blackman->getWindow()->getData()[1023], 0.0f, 1e-6f);
    EXPECT_NEAR (blackman->getSum(), 0.42f * 1023, 1.0f);
}

TEST (WindowsTest, ApplyNeverReadsPastTheWindow)
{
    auto window = ZSignalWindow::create (4, 0, 0);
    ZBuffer longer (9, "long");
    std::fill_n (longer.getData(), 9, 2.0f);
    window->apply (&longer);

    EXPECT_NEAR (longer.getData()[0], 0.16f, 1e-6f);
    for (int i = 4; i < 9; ++i)
        EXPECT_EQ (longer.getData()[i], 2.0f);

    ZBuffer destination (4, "d");
    window->applyTo (&longer, &destination);
    EXPECT_NEAR (destination.getData()[0], 0.16f * 0.08f, 1e-6f);
}

TEST (WindowsTest, UnknownKindsAndSegmentCountsThrow)
{
    for (int kind : { 1, 2, 4, -1 })
        EXPECT_THROW (ZSignalWindow::create (1024, kind, 0), vesk_juce::vj_dsp_exception) << kind;

    struct Case
    {
        int n, k;
    };

    for (auto c : { Case { 1024, 1 }, Case { 1024, 5 }, Case { 1024, 0 }, Case { 1000, 3 }, Case { 2, 4 } })
        EXPECT_THROW (ZWindowedOverlapAdd::create (c.n, c.k), vesk_juce::vj_dsp_exception) << c.n << "/" << c.k;
}

TEST (WindowsTest, NormalisedSynthesisWindowGivesUnitOverlap)
{
    auto analysis = ZHammingWindow::create (1024);
    auto synthesis = ZHammingWindow::create (1024);
    synthesis->normalizeForOverlap (4);

    for (int i = 0; i < 256; ++i)
    {
        double sum = 0.0;
        for (int phase = 0; phase < 4; ++phase)
            sum += (double) analysis->getWindow()->getData()[i + 256 * phase]
                   * synthesis->getWindow()->getData()[i + 256 * phase];

        ASSERT_NEAR (sum, 1.0, 2e-5) << i;
    }
}

namespace
{
/** Runs a stream through split and merge with the segments left unchanged. */
std::vector<float> overlapAddStream (ZWindowedOverlapAdd& ola, const std::vector<float>& input, int n)
{
    std::vector<float> output;
    ZBuffer frame (n, "frame"), out (n, "out");

    for (size_t start = 0; start + (size_t) n <= input.size(); start += (size_t) n)
    {
        std::copy_n (input.begin() + (long) start, n, frame.getData());
        ZBuffer** segments = nullptr;
        ola.split (&frame, &segments);
        ola.merge (segments, &out);
        output.insert (output.end(), out.getData(), out.getData() + n);
    }

    return output;
}
} // namespace

TEST (OverlapAddTest, ReconstructsRandomInputDelayedByTheOverlap)
{
    const int n = 1024;
    auto ola = ZWindowedOverlapAdd::create (n, 4);
    EXPECT_EQ (ola->getOverlap(), 768);

    ZBuffer noise (n * 12, "noise");
    tavlin::test::fillNoise (noise, 12345);
    std::vector<float> input (noise.getData(), noise.getData() + noise.getLength());

    auto output = overlapAddStream (*ola, input, n);

    for (int i = 0; i < 768; ++i)
        ASSERT_NEAR (output[(size_t) i], 0.0f, 1e-7f);

    double worst = 0.0;
    for (size_t i = 768; i < output.size(); ++i)
        worst = std::max (worst, std::abs ((double) output[i] - input[i - 768]));

    EXPECT_LT (worst, 2e-5);
}

TEST (OverlapAddTest, SmallerFramesReconstructWithTheirOwnOverlap)
{
    const int n = 512;
    auto ola = ZWindowedOverlapAdd::create (n, 4);
    EXPECT_EQ (ola->getOverlap(), 384);
    EXPECT_EQ (ZWindowedOverlapAdd::create (n, 2)->getOverlap(), 256);

    ZBuffer noise (n * 8, "noise");
    tavlin::test::fillNoise (noise, 99);
    std::vector<float> input (noise.getData(), noise.getData() + noise.getLength());
    auto output = overlapAddStream (*ola, input, n);

    double worst = 0.0;
    for (size_t i = 384; i < output.size(); ++i)
        worst = std::max (worst, std::abs ((double) output[i] - input[i - 384]));

    EXPECT_LT (worst, 5e-5);
}

TEST (OverlapAddTest, StepResponseAndResetAndStableSegments)
{
    const int n = 1024;
    auto ola = ZWindowedOverlapAdd::create (n, 4);
    ZBuffer frame (n, "frame"), out (n, "out");
    ZBuffer** firstSegments = nullptr;
    ZBuffer** segments = nullptr;

    std::fill_n (frame.getData(), n, 1.0f);
    ola->split (&frame, &firstSegments);
    ola->merge (firstSegments, &out);
    for (int i = 0; i < 768; ++i)
        ASSERT_NEAR (out.getData()[i], 0.0f, 1e-7f);
    for (int i = 768; i < n; ++i)
        ASSERT_NEAR (out.getData()[i], 1.0f, 2e-5f);

    frame.clear();
    ola->split (&frame, &segments);
    EXPECT_EQ (segments, firstSegments);
    EXPECT_EQ (segments[3], firstSegments[3]);
    ola->merge (segments, &out);
    for (int i = 0; i < 768; ++i)
        ASSERT_NEAR (out.getData()[i], 1.0f, 2e-5f);
    for (int i = 768; i < n; ++i)
        ASSERT_NEAR (out.getData()[i], 0.0f, 1e-7f);

    std::fill_n (frame.getData(), n, 1.0f);
    ola->split (&frame, &segments);
    ola->merge (segments, &out);
    ola->reset();
    frame.clear();
    ola->split (&frame, &segments);
    ola->merge (segments, &out);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ (out.getData()[i], 0.0f) << i;
}
