#include "ZHandover.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

namespace
{
using vesk::ZHandover;

// A value whose parts all carry the same number, so a torn copy shows.
struct Stamp
{
    std::array<int, 16> parts {};

    Stamp() = default;
    explicit Stamp (int value) { parts.fill (value); }
    bool isWhole() const
    {
        for (auto p : parts)
            if (p != parts[0])
                return false;
        return true;
    }
};

TEST (Handover, TakeSeesOnlyTheNewestValueOnce)
{
    ZHandover<Stamp> handover;
    Stamp taken (-1);

    EXPECT_FALSE (handover.take (taken));
    EXPECT_EQ (taken.parts[0], -1) << "nothing posted, nothing copied";

    handover.post (Stamp (1));
    handover.post (Stamp (2));
    EXPECT_TRUE (handover.hasPending());
    ASSERT_TRUE (handover.take (taken));
    EXPECT_EQ (taken.parts[0], 2);
    EXPECT_FALSE (handover.take (taken));
    EXPECT_FALSE (handover.hasPending());

    // Many rounds rotate every slot through both sides.
    for (int i = 3; i < 20; ++i)
    {
        handover.post (Stamp (i));
        ASSERT_TRUE (handover.take (taken));
        EXPECT_EQ (taken.parts[0], i);
    }
}

TEST (Handover, ReaderNeverSeesATornOrOlderValueWhileTheWriterRuns)
{
    ZHandover<Stamp> handover;
    constexpr int lastValue = 200000;
    std::atomic<bool> started { false }, finished { false };

    std::thread writer (
        [&]
        {
            started = true;
            for (int i = 1; i <= lastValue; ++i)
                handover.post (Stamp (i));
            finished = true;
        });

    while (!started)
        std::this_thread::yield();

    int previous = 0, torn = 0, backwards = 0;
    Stamp taken;

    for (;;)
    {
        const auto writerDone = finished.load();

        if (!handover.take (taken))
        {
            if (writerDone)
                break;
            continue;
        }

        torn += taken.isWhole() ? 0 : 1;
        backwards += taken.parts[0] <= previous ? 1 : 0;
        previous = taken.parts[0];
    }

    writer.join();
    EXPECT_EQ (torn, 0);
    EXPECT_EQ (backwards, 0);
    EXPECT_EQ (previous, lastValue) << "the last value posted arrives";
}

} // namespace
