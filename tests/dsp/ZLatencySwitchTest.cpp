#include "ZLatencySwitch.h"
#include "ZBuffer.h"
#include "ZDelayBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace vesk;

namespace
{

// Two delay lines of the same latency stand in for the paths. The processed one writes the delayed
// input, the dry one its negation, so the sign tells which path is on the output and the magnitude
// which input sample it is.
class SwitchRig
{
public:
    SwitchRig (unsigned latencySamples, int blockSamples, int enabledAtStart)
        : latency (latencySamples), blockSize (blockSamples), input (blockSamples, "in"), output (blockSamples, "out"),
          processed (ZDelayBuffer::create ((int) (latency + blockSize) * 2)),
          dry (ZDelayBuffer::create ((int) (latency + blockSize) * 2))
    {
        lineSwitch.prepare (enabledAtStart, latency);
    }

    /** Runs one block of the counter 1, 2, 3, ... and returns the output. */
    const ZBuffer& runBlock (int enabled)
    {
        for (int i = 0; i < blockSize; ++i)
            input.getData()[i] = (float) (++counter);

        lineSwitch.process (
            enabled, (unsigned) blockSize,
            [this]
            {
                processed->writeSamples (&input, (unsigned) blockSize);
                processed->readSamples (&output, latency, blockSize);
            },
            [this]
            {
                dry->writeSamples (&input, (unsigned) blockSize);
                dry->readSamples (&output, latency, blockSize);
                for (int i = 0; i < blockSize; ++i)
                    output.getData()[i] = -output.getData()[i];
            });

        return output;
    }

    /** +1 when the whole block came from the processed path, -1 from the dry path, 0 when mixed. */
    int pathOfLastBlock() const
    {
        int sign = 0;
        for (int i = 0; i < blockSize; ++i)
        {
            const auto v = output.getData()[i];
            const int s = v > 0.0f ? 1 : (v < 0.0f ? -1 : 0);
            if (s == 0)
                continue;
            if (sign != 0 && s != sign)
                return 0;
            sign = s;
        }
        return sign;
    }

    long long firstInputOfLastBlock() const { return counter - blockSize + 1; }

    unsigned latency;
    int blockSize;
    long long counter = 0;
    ZBuffer input, output;
    std::unique_ptr<ZDelayBuffer> processed, dry;
    ZLatencySwitch lineSwitch;
};

} // namespace

TEST (ZLatencySwitch, OldPathStaysForTheWholeBlocksThatStartWithinTheLatency)
{
    struct Case
    {
        unsigned latency;
        int blockSize;
        int oldPathBlocks;
    };

    const Case cases[] = { { 4139, 512, 9 }, { 4096, 512, 8 }, { 4097, 512, 9 },
                           { 512, 512, 1 },  { 100, 512, 1 },  { 0, 512, 0 } };

    for (const auto& tc : cases)
    {
        SCOPED_TRACE (testing::Message() << "latency " << tc.latency << ", block " << tc.blockSize);
        SwitchRig rig (tc.latency, tc.blockSize, 1);

        for (int b = 0; b < 20; ++b)
            rig.runBlock (1);

        for (int direction : { 0, 1 })
        {
            const int oldPath = direction == 0 ? 1 : -1;
            const int newPath = -oldPath;

            for (int b = 0; b < tc.oldPathBlocks + 3; ++b)
            {
                rig.runBlock (direction);
                EXPECT_EQ (rig.pathOfLastBlock(), b < tc.oldPathBlocks ? oldPath : newPath) << "block " << b;
                EXPECT_EQ (rig.lineSwitch.isInTransition(), b + 1 < tc.oldPathBlocks) << "block " << b;
            }

            EXPECT_EQ (rig.lineSwitch.getPreviousEnabled(), direction);
        }
    }
}

TEST (ZLatencySwitch, CounterThroughRandomSwitchesRepeatsDropsOrShiftsNoSample)
{
    // Switches at random blocks, also back again before a transition has ended.
    std::mt19937 random (20240611);
    std::uniform_int_distribution<int> runLength (1, 14);

    SwitchRig rig (4139, 512, 1);
    int enabled = 1, untilSwitch = runLength (random);

    for (int b = 0; b < 600; ++b)
    {
        if (--untilSwitch == 0)
        {
            enabled = 1 - enabled;
            untilSwitch = runLength (random);
        }

        const auto& out = rig.runBlock (enabled);

        for (int i = 0; i < rig.blockSize; ++i)
        {
            const auto expected = std::max (0LL, rig.firstInputOfLastBlock() + i - (long long) rig.latency);
            ASSERT_EQ ((long long) std::abs (out.getData()[i]), expected) << "block " << b << ", sample " << i;
        }
    }
}

TEST (ZLatencySwitch, SwitchingBackDuringATransitionKeepsThePathOnTheOutput)
{
    SwitchRig rig (4139, 512, 1);

    for (int b = 0; b < 12; ++b)
        rig.runBlock (1);

    for (int b = 0; b < 3; ++b)
    {
        rig.runBlock (0);
        EXPECT_EQ (rig.pathOfLastBlock(), 1);
    }

    // The processed path never stopped, the dry line holds only three blocks: stay processed.
    rig.runBlock (1);
    EXPECT_EQ (rig.pathOfLastBlock(), 1);
    EXPECT_FALSE (rig.lineSwitch.isInTransition());

    // A later switch off refills the dry line in full again.
    for (int b = 0; b < 12; ++b)
    {
        rig.runBlock (0);
        EXPECT_EQ (rig.pathOfLastBlock(), b < 9 ? 1 : -1) << "block " << b;
    }
}

TEST (ZLatencySwitch, OtherValuesLeaveOutputAndStateUntouched)
{
    SwitchRig rig (4139, 512, 1);
    rig.runBlock (1);
    rig.runBlock (0);
    const auto previous = rig.lineSwitch.getPreviousEnabled();
    const auto count = rig.lineSwitch.getSamplesSinceSwitch();

    for (int value : { 2, -1, 100 })
    {
        rig.output.getData()[7] = 12345.0f;
        bool ran = false;
        rig.lineSwitch.process (
            value, 512, [&] { ran = true; }, [&] { ran = true; });
        EXPECT_FALSE (ran) << value;
        EXPECT_EQ (rig.output.getData()[7], 12345.0f);
        EXPECT_EQ (rig.lineSwitch.getPreviousEnabled(), previous);
        EXPECT_EQ (rig.lineSwitch.getSamplesSinceSwitch(), count);
    }
}

TEST (ZLatencySwitch, PrepareSettlesInTheGivenState)
{
    for (int state : { 0, 1 })
    {
        SwitchRig rig (4139, 512, state);
        EXPECT_FALSE (rig.lineSwitch.isInTransition());

        int processedRuns = 0, dryRuns = 0;
        for (int b = 0; b < 3; ++b)
            rig.lineSwitch.process (
                state, 512, [&] { ++processedRuns; }, [&] { ++dryRuns; });

        EXPECT_EQ (processedRuns, state == 1 ? 3 : 0);
        EXPECT_EQ (dryRuns, state == 0 ? 3 : 0);
    }
}
