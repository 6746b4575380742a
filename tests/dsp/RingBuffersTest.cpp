#include "TestSignals.h"
#include "ZBufferSizeConverter.h"
#include "ZDelayBuffer.h"
#include "vj_exception.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

using namespace vesk;

namespace
{
void fillCounting (ZBuffer& block, int count, float& next)
{
    for (int i = 0; i < count; ++i)
        block.getData()[i] = next++;
}
} // namespace

TEST (BufferSizeConverterTest, CapacityIsFourTimesThePowerOfTwoBelowTheSum)
{
    struct Case
    {
        int in, out;
        unsigned capacity;
    };

    for (auto c : { Case { 512, 1024, 4096 }, Case { 1024, 1024, 4096 }, Case { 1, 1, 4 }, Case { 256, 256, 1024 },
                    Case { 0, 1, 2 }, Case { 100, 1024, 4096 }, Case { 4096, 1024, 16384 } })
    {
        EXPECT_EQ (ZBufferSizeConverter::capacityFor (c.in, c.out), c.capacity) << c.in << "->" << c.out;
        EXPECT_EQ (ZBufferSizeConverter::create (c.in, c.out)->getCapacity(), c.capacity);
    }
}

TEST (BufferSizeConverterTest, BlocksChangeSizeInOrder)
{
    auto up = ZBufferSizeConverter::create (512, 1024);
    ZBuffer small (512, "s"), large (1024, "l");
    float next = 1.0f;

    fillCounting (small, 512, next);
    EXPECT_TRUE (up->write (&small));
    large.getData()[0] = -5.0f;
    EXPECT_FALSE (up->read (&large));
    EXPECT_EQ (large.getData()[0], -5.0f);

    fillCounting (small, 512, next);
    up->write (&small);
    ASSERT_TRUE (up->read (&large));
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ (large.getData()[i], (float) (i + 1));

    // Priming with 768 zeros makes one block enough for the first frame.
    up->reset();
    ZBuffer zeros (768, "z");
    up->write (&zeros);
    next = 1.0f;
    fillCounting (small, 512, next);
    up->write (&small);
    ASSERT_TRUE (up->read (&large));
    EXPECT_EQ (large.getData()[767], 0.0f);
    EXPECT_EQ (large.getData()[768], 1.0f);
    EXPECT_EQ (large.getData()[1023], 256.0f);
}

TEST (BufferSizeConverterTest, OverrunEmptiesTheQueue)
{
    auto up = ZBufferSizeConverter::create (512, 1024);
    ZBuffer small (512, "s"), large (1024, "l");

    for (int i = 0; i < 8; ++i)
        up->write (&small);

    EXPECT_FALSE (up->read (&large));
    EXPECT_EQ (up->getAvailable(), 0u);
}

TEST (BufferSizeConverterTest, OversizedWritesAndReadsAreRefused)
{
    auto converter = ZBufferSizeConverter::create (1, 1);
    ZBuffer big (5, "big"), small (2, "small");
    EXPECT_FALSE (converter->write (&big));
    EXPECT_EQ (converter->getAvailable(), 0u);

    EXPECT_TRUE (converter->write (&small));
    EXPECT_TRUE (converter->write (&small));
    EXPECT_FALSE (converter->read (&big));
    EXPECT_FALSE (converter->readSamples (&big, 5));

    // The room check counts what the block will receive, not the configured output size.
    auto quarter = ZBufferSizeConverter::create (256, 256);
    ZBuffer block (256, "b"), wide (512, "w");
    quarter->write (&block);
    EXPECT_FALSE (quarter->read (&wide));
    EXPECT_TRUE (quarter->read (&block));
}

TEST (BufferSizeConverterTest, MatchesAQueueModelWithRandomBlockSizes)
{
    std::mt19937 random (2024);
    auto converter = ZBufferSizeConverter::create (700, 1024);
    std::deque<float> model;
    ZBuffer block (1024, "b");
    float next = 1.0f;

    for (int step = 0; step < 5000; ++step)
    {
        if (random() % 2 == 0)
        {
            const auto count = 1 + (unsigned) (random() % 700);
            if (model.size() + count >= converter->getCapacity())
                continue;

            fillCounting (block, (int) count, next);
            ASSERT_TRUE (converter->writeSamples (&block, count));
            model.insert (model.end(), block.getData(), block.getData() + count);
        }
        else
        {
            const auto count = 1 + (unsigned) (random() % 1024);
            const bool enough = model.size() >= count;
            ASSERT_EQ (converter->readSamples (&block, count), enough);

            if (enough)
                for (unsigned i = 0; i < count; ++i)
                {
                    ASSERT_EQ (block.getData()[i], model.front());
                    model.pop_front();
                }
        }

        ASSERT_EQ (converter->getAvailable(), model.size());
    }
}

TEST (DelayBufferTest, CapacityAndDelayedReads)
{
    EXPECT_EQ (ZDelayBuffer::create (1025)->getCapacity(), 2048u);
    EXPECT_EQ (ZDelayBuffer::create (1024)->getCapacity(), 1024u);
    EXPECT_EQ (ZDelayBuffer::create (1)->getCapacity(), 1u);
    EXPECT_EQ (ZDelayBuffer::create (0)->getCapacity(), 1u);

    auto delay = ZDelayBuffer::create (8);
    ZBuffer input (4, "in"), out (2, "out");
    float next = 1.0f;
    fillCounting (input, 4, next);
    delay->write (&input);

    struct Case
    {
        int delay;
        float first, second;
    };

    for (auto c : { Case { 0, 3, 4 }, Case { 1, 2, 3 }, Case { 3, 0, 1 } })
    {
        delay->read (&out, c.delay);
        EXPECT_EQ (out.getData()[0], c.first) << c.delay;
        EXPECT_EQ (out.getData()[1], c.second) << c.delay;
    }
}

TEST (DelayBufferTest, MatchesADelayLineModelWithRandomBlockSizes)
{
    std::mt19937 random (7);
    const int latency = 4139;
    auto delay = ZDelayBuffer::create ((latency + 512) * 2);
    ZBuffer block (512, "b"), out (512, "o");
    std::vector<float> history;
    float next = 1.0f;

    for (int step = 0; step < 400; ++step)
    {
        const auto count = 1 + (int) (random() % 512);
        fillCounting (block, count, next);
        history.insert (history.end(), block.getData(), block.getData() + count);
        delay->writeSamples (&block, (unsigned) count);
        delay->readSamples (&out, (unsigned) latency, count);

        for (int j = 0; j < count; ++j)
        {
            const auto index = (long) history.size() - count + j - latency;
            ASSERT_EQ (out.getData()[j], index >= 0 ? history[(size_t) index] : 0.0f) << step << "/" << j;
        }
    }
}
