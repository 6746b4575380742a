#include "SampleFifo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <random>
#include <vector>

namespace
{

TEST (SampleFifo, MatchesAQueueWithASilentLeadIn)
{
    struct Case
    {
        int capacity, prefill;
    };

    for (auto c : { Case { 1024, 512 }, Case { 4096, 2048 }, Case { 4096, 0 }, Case { 8192, 4096 } })
    {
        SampleFifo fifo (c.capacity, c.prefill);
        std::deque<float> model (c.prefill, 0.0f);
        std::mt19937 rng (7);
        std::uniform_int_distribution<int> size (0, c.capacity / 2);
        std::uniform_real_distribution<float> value (-0.9f, 0.9f);

        for (int step = 0; step < 400; ++step)
        {
            if (rng() % 2 == 0 && (int) model.size() + c.capacity / 2 <= c.capacity)
            {
                std::vector<float> block ((size_t) size (rng));
                for (auto& x : block)
                    x = value (rng);
                fifo.write ((int) block.size(), block.data());
                model.insert (model.end(), block.begin(), block.end());
            }
            else
            {
                auto n = size (rng);
                std::vector<float> out ((size_t) n, 99.0f);
                auto ok = fifo.read (n, false, out.data());
                ASSERT_EQ (ok, n <= (int) model.size()) << "step " << step;

                if (!ok)
                {
                    EXPECT_EQ (out, std::vector<float> ((size_t) n, 99.0f));
                    continue;
                }

                for (int i = 0; i < n; ++i)
                {
                    ASSERT_EQ (out[(size_t) i], model.front()) << "step " << step << " sample " << i;
                    model.pop_front();
                }
            }

            ASSERT_EQ (fifo.getAvailable(), (int) model.size());
        }
    }
}

TEST (SampleFifo, ClampKeepsValuesInRangeAndTurnsNaNToZero)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> in { 1.5f, -2.0f, 0.25f, nan, inf, -inf, 1.0f, -1.0f };
    const std::vector<float> clamped { 1.0f, -1.0f, 0.25f, 0.0f, 1.0f, -1.0f, 1.0f, -1.0f };

    SampleFifo fifo (16, 0);
    fifo.write ((int) in.size(), in.data());
    std::vector<float> out (in.size());
    ASSERT_TRUE (fifo.read ((int) out.size(), true, out.data()));
    EXPECT_EQ (out, clamped);

    fifo.write ((int) in.size(), in.data());
    ASSERT_TRUE (fifo.read ((int) out.size(), false, out.data()));
    EXPECT_EQ (out[0], 1.5f);
    EXPECT_TRUE (std::isnan (out[3]));
}

TEST (SampleFifo, ResizeAndClearPrimeTheQueueAgain)
{
    SampleFifo fifo (8, 4);
    const std::vector<float> ones (6, 1.0f);
    fifo.write (4, ones.data());
    std::vector<float> out (8);
    ASSERT_TRUE (fifo.read (8, false, out.data()));
    EXPECT_EQ (out, (std::vector<float> { 0, 0, 0, 0, 1, 1, 1, 1 }));

    fifo.write (3, ones.data());
    fifo.clear (true);
    EXPECT_EQ (fifo.getAvailable(), 4);
    EXPECT_EQ (fifo.getReadIndex(), 4);
    EXPECT_EQ (fifo.getWriteIndex(), 0);
    ASSERT_TRUE (fifo.read (4, false, out.data()));
    EXPECT_EQ (std::vector<float> (out.begin(), out.begin() + 4), std::vector<float> (4, 0.0f));
    EXPECT_FALSE (fifo.read (1, false, out.data()));

    fifo.write (5, ones.data());
    fifo.clear (false);
    EXPECT_EQ (fifo.getAvailable(), 5);
    ASSERT_TRUE (fifo.read (5, false, out.data()));
    EXPECT_EQ (std::vector<float> (out.begin(), out.begin() + 5), std::vector<float> (5, 0.0f));

    fifo.resize (32, 16);
    EXPECT_EQ (fifo.getCapacity(), 32);
    EXPECT_EQ (fifo.getAvailable(), 16);
    EXPECT_EQ (fifo.getReadIndex(), 16);
}

TEST (SampleFifo, OverlongWritesStayInsideTheStorage)
{
    // Writes never refuse; one longer than the ring keeps its newest samples and the count grows past
    // the capacity without touching memory outside the storage.
    SampleFifo fifo (8, 0);
    std::vector<float> ramp (21);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = (float) i;

    fifo.write (21, ramp.data());
    EXPECT_EQ (fifo.getAvailable(), 21);
    EXPECT_EQ (fifo.getWriteIndex(), 21 % 8);

    std::vector<float> out (8);
    ASSERT_TRUE (fifo.read (8, false, out.data()));
    EXPECT_EQ (out, (std::vector<float> { 16, 17, 18, 19, 20, 13, 14, 15 }));
    EXPECT_FALSE (fifo.read (-1, false, out.data()));
}

} // namespace
