// The bays' per-channel steps with each channel on a thread of its own give the bits of their process
// calls: the channels share no work buffers (the sanitizer leg runs this too).

#include "ProgrammeSignals.h"
#include "ZClickAndCrackleBay.h"
#include "ZEnhancementBay.h"
#include "ZNoiseReductionBay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

using namespace vesk;

namespace
{
constexpr int block = 512;
constexpr double rate = 44100.0;

struct Channels
{
    ZBuffer in0 { block, "in" }, in1 { block, "in" }, out0 { block, "out" }, out1 { block, "out" };
    ZBuffer* in[2] { &in0, &in1 };
    ZBuffer* out[2] { &out0, &out1 };
};

/** Runs step (0) and step (1) at the same time. */
void onTwoThreads (const std::function<void (int)>& step)
{
    std::thread second ([&] { step (1); });
    step (0);
    second.join();
}

/** Feeds a few seconds of programme through two identical bays, one by process, one by steps on two
    threads, and compares every output sample's bits.
*/
template <typename Bay>
void expectSameBits (Bay& whole, Bay& stepped, const std::function<void (Bay&, Channels&)>& steps)
{
    namespace programme = tavlin::test::programme;
    const auto left =
        programme::addClicks (programme::addCrackle (programme::music (3.0, rate, 1), rate, 30.0, 2), rate, 3.0, 3);
    const auto right = programme::voiced (3.0, rate, 4);
    Channels a, b;

    for (size_t start = 0; start + block <= left.size(); start += block)
    {
        for (auto* c : { &a, &b })
        {
            std::copy_n (left.data() + start, block, c->in0.getData());
            std::copy_n (right.data() + start, block, c->in1.getData());
        }

        whole.process (a.in, a.out, block);
        steps (stepped, b);

        for (int c = 0; c < 2; ++c)
            ASSERT_EQ (std::memcmp (a.out[c]->getData(), b.out[c]->getData(), sizeof (float) * block), 0)
                << "channel " << c << " at sample " << start;
    }
}
} // namespace

TEST (ChannelSteps, NoiseReductionOnTwoThreadsMatchesProcess)
{
    ZNoiseReductionBay whole ("Noise Reduction", 2), stepped ("Noise Reduction", 2);

    for (auto* bay : { &whole, &stepped })
    {
        bay->prepare();
        bay->setBlockSize (block);
        bay->reset();
        bay->setHumMode (0);
        bay->setPreserveVoice (true);
        bay->setMode (1);
    }

    expectSameBits<ZNoiseReductionBay> (whole, stepped,
                                        [] (ZNoiseReductionBay& bay, Channels& c)
                                        {
                                            ASSERT_TRUE (bay.beginBlock (c.in, c.out, block));
                                            onTwoThreads ([&] (int ch)
                                                          { bay.processChannel (ch, c.in[ch], c.out[ch], block); });
                                            bay.endBlock();
                                        });

    EXPECT_EQ (std::memcmp (whole.getSpectrumBuffer()->getData(), stepped.getSpectrumBuffer()->getData(),
                            sizeof (float) * ZNoiseReductionBay::binCount),
               0)
        << "the display spectrum too";
}

TEST (ChannelSteps, ClickAndCrackleOnTwoThreadsMatchesProcess)
{
    ZClickAndCrackleBay whole ("Declick", 2), stepped ("Declick", 2);

    for (auto* bay : { &whole, &stepped })
    {
        bay->prepare();
        bay->setAmount (0.7f);
    }

    expectSameBits<ZClickAndCrackleBay> (whole, stepped,
                                         [] (ZClickAndCrackleBay& bay, Channels& c)
                                         {
                                             ASSERT_TRUE (bay.beginBlock (c.out));
                                             onTwoThreads ([&] (int ch)
                                                           { bay.processChannel (ch, *c.in[ch], *c.out[ch], block); });
                                         });
}

TEST (ChannelSteps, EnhancementOnTwoThreadsMatchesProcess)
{
    ZEnhancementBay whole ("Enhance", 2), stepped ("Enhance", 2);

    for (auto* bay : { &whole, &stepped })
    {
        bay->prepare();
        bay->setAmount (0.6f);
    }

    expectSameBits<ZEnhancementBay> (whole, stepped,
                                     [] (ZEnhancementBay& bay, Channels& c)
                                     {
                                         ASSERT_TRUE (bay.beginBlock (c.in, c.out, block));
                                         onTwoThreads ([&] (int ch) { bay.analyseChannel (ch, c.in[ch]); });
                                         bay.linkChannels();
                                         onTwoThreads ([&] (int ch) { bay.finishChannel (ch, c.in[ch], c.out[ch]); });
                                         bay.endBlock();
                                     });
}
