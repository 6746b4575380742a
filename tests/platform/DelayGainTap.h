#pragma once

#include "media/AudioMix.h"

#include <atomic>
#include <vector>

namespace tavlin::test
{

/**
    A tap client that delays every channel by a fixed number of samples and scales it by a gain, and counts
    what it sees: the frames processed, the largest block, the prepare calls and whether finalize ran.
*/
struct DelayGainTap
{
    int latency = 0;
    float gain = 1.0f;

    std::vector<std::vector<float>> delayLines;
    std::vector<int> writeIndex;
    std::atomic<int64_t> framesProcessed { 0 };
    std::atomic<int64_t> largestBlock { 0 };
    std::atomic<int> prepares { 0 }, unprepares { 0 };
    std::atomic<bool> initialised { false }, finalised { false };
    double preparedRate = 0.0;
    int preparedChannels = 0;
    std::vector<float> seen; // channel 0 as it arrived, when recording
    bool record = false;

    DelayGainTap (int latencySamples, float gainToApply) : latency (latencySamples), gain (gainToApply) {}

    std::unique_ptr<tavlin::media::AudioProcessingTap> makeTap()
    {
        tavlin::media::AudioProcessingTap::Callbacks callbacks;
        callbacks.clientInfo = this;
        callbacks.init = [] (tavlin::media::AudioProcessingTap&, void* info, void** storage)
        {
            *storage = info;
            static_cast<DelayGainTap*> (info)->initialised = true;
        };
        callbacks.finalize = [] (tavlin::media::AudioProcessingTap& tap) { self (tap).finalised = true; };
        callbacks.prepare =
            [] (tavlin::media::AudioProcessingTap& tap, int64_t, const tavlin::media::AudioStreamFormat& f)
        {
            auto& me = self (tap);
            ++me.prepares;
            me.preparedRate = f.sampleRate;
            me.preparedChannels = f.channelsPerFrame;
            me.delayLines.assign ((size_t) f.channelsPerFrame, std::vector<float> ((size_t) me.latency + 1, 0.0f));
            me.writeIndex.assign ((size_t) f.channelsPerFrame, 0);
        };
        callbacks.unprepare = [] (tavlin::media::AudioProcessingTap& tap) { ++self (tap).unprepares; };
        callbacks.process = [] (tavlin::media::AudioProcessingTap& tap, int64_t frames, uint32_t,
                                tavlin::media::TapBufferList& list, int64_t* framesOut, uint32_t*)
        {
            auto& me = self (tap);
            int64_t got = 0;

            if (tap.getSourceAudio (frames, list, nullptr, nullptr, &got) != 0)
                return;

            for (int ch = 0; ch < list.numberBuffers; ++ch)
            {
                auto& line = me.delayLines[(size_t) ch];
                int index = me.writeIndex[(size_t) ch];
                auto* data = list.buffers[ch].data;

                for (int64_t i = 0; i < frames; ++i)
                {
                    if (ch == 0 && me.record)
                        me.seen.push_back (data[i]);

                    line[(size_t) index] = data[i];
                    index = (index + 1) % (int) line.size();
                    data[i] = me.gain * line[(size_t) index]; // the oldest sample: latency frames ago
                }

                me.writeIndex[(size_t) ch] = index;
            }

            me.framesProcessed += frames;
            me.largestBlock = std::max<int64_t> (me.largestBlock.load(), frames);
            *framesOut = got;
        };

        return tavlin::media::AudioProcessingTap::create (callbacks,
                                                          tavlin::media::AudioProcessingTap::creationFlagPreEffects);
    }

    /** An audio mix carrying a new tap on a track. */
    std::shared_ptr<tavlin::media::AudioMix> makeMix (int trackID,
                                                      std::shared_ptr<tavlin::media::AudioProcessingTap>& tapOut)
    {
        tapOut = makeTap();
        auto mix = std::make_shared<tavlin::media::AudioMix>();
        mix->setInputParameters ({ { trackID, tapOut } });
        return mix;
    }

private:
    static DelayGainTap& self (tavlin::media::AudioProcessingTap& tap)
    {
        return *static_cast<DelayGainTap*> (tap.getStorage());
    }
};

} // namespace tavlin::test
