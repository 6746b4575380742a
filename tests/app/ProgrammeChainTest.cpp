// Clean programme through the whole processing chain at the factory settings comes out as it went in,
// delayed by the chain's latency: the stages that always run (declipper's soft clip, click and crackle
// bay at amount 0, the disabled maximizer's margin) leave drums, plucks and a voice alone.

#include "ProcessorTestSupport.h"
#include "ProgrammeSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
using namespace tavlin::test::programme;

TEST (ProgrammeChain, CleanProgrammePassesTheChainAtFactorySettings)
{
    struct Case
    {
        const char* name;
        Samples (*make) (double seconds, double rate, uint32_t seed);
    };

    const Case cases[] = { { "voice", voiced }, { "drums", drums }, { "chords", pluckedChords }, { "music", music } };

    for (auto rate : { 44100.0, 48000.0 })
        for (const auto& c : cases)
        {
            SCOPED_TRACE (testing::Message() << c.name << " at " << rate << " Hz");
            TavAudioProcessor p;
            processor_test::prepare (p, rate, 512);
            const auto latency = (size_t) p.getLatencySamples();

            // Two channels of different takes, each faded out over its last 20 ms as a recording ends (a
            // cut to silence would be a click), then enough silence to bring out the whole take.
            processor_test::Signal input { c.make (6.0, rate, 11), c.make (6.0, rate, 12) };
            const auto length = input[0].size();
            const auto fade = (size_t) (0.02 * rate);

            for (auto& channel : input)
            {
                for (size_t i = 0; i < fade; ++i)
                    channel[length - 1 - i] *= (float) (0.5 - 0.5 * std::cos (M_PI * (double) i / (double) fade));

                channel.resize (length + latency + 2048, 0.0f);
            }

            const auto output = processor_test::run (p, input, 512);

            for (size_t channel = 0; channel < 2; ++channel)
            {
                const auto snr = snrDb (input[channel], output[channel], latency, 0, length);
                RecordProperty (std::string (c.name) + " " + std::to_string ((int) rate) + " channel "
                                    + std::to_string (channel),
                                std::to_string (snr));
                EXPECT_GE (snr, 50.0) << "channel " << channel;
            }
        }
}

} // namespace
