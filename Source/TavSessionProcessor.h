#pragma once

#include "SessionProcessor.h"

class TavAudioProcessor;

/** The application's processor as the media session sees it: its latency and change messages, and a
    TavAudioTapProcessor for every tap the session makes.
*/
class TavSessionProcessor : public SessionProcessor
{
public:
    /** processor outlives this object. */
    explicit TavSessionProcessor (TavAudioProcessor& processor);

    int getLatencyFor (double sampleRate, int hostBlockSize) const override;
    void dispatchPendingMessages() override;
    std::unique_ptr<SessionTap> makeTap (const tavlin::media::MediaComposition::Track& audioTrack) override;

    TavAudioProcessor& getProcessor() noexcept { return processor; }

private:
    TavAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE (TavSessionProcessor)
};
