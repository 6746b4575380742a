#include "NullAudioClock.h"

namespace tavlin::media
{

NullAudioClock::NullAudioClock (PlayerRenderEngine& e, double sampleRate)
    : juce::Thread ("Media null clock"), engine (e), rate (sampleRate)
{
    engine.setOutputFormat (rate, 2);
    startThread();
}

NullAudioClock::~NullAudioClock()
{
    stopThread (-1);
}

void NullAudioClock::run()
{
    constexpr int blockFrames = 256;
    constexpr int stoppedLookMs = 100;
    juce::AudioBuffer<float> scratch (2, blockFrames);
    double start = juce::Time::getMillisecondCounterHiRes();
    int64_t framesOut = 0;

    while (!threadShouldExit())
    {
        if (engine.getRate() <= 0.0)
        {
            wait (stoppedLookMs);
            start = juce::Time::getMillisecondCounterHiRes();
            framesOut = 0;
            continue;
        }

        const double elapsed = (juce::Time::getMillisecondCounterHiRes() - start) * 0.001;
        const auto due = (int64_t) (elapsed * rate);

        while (framesOut + blockFrames <= due && !threadShouldExit())
        {
            engine.readOutput (scratch.getArrayOfWritePointers(), 2, blockFrames);
            framesOut += blockFrames;
        }

        wait (5);
    }
}

} // namespace tavlin::media
