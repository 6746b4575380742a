#pragma once

#include "SessionProcessor.h"

class ProcessingChain;

/** The processing chain as the media session sees it: its latency and change messages, and a
    TavAudioTapProcessor for every tap the session makes.
*/
class TavSessionProcessor : public SessionProcessor
{
public:
    /** chain outlives this object. */
    explicit TavSessionProcessor (ProcessingChain& chain);

    int getLatencyFor (double sampleRate, int hostBlockSize) const override;
    void dispatchPendingMessages() override;
    std::unique_ptr<SessionTap> makeTap (const tavlin::media::MediaComposition::Track& audioTrack) override;

    ProcessingChain& getChain() noexcept { return chain; }

private:
    ProcessingChain& chain;

    JUCE_DECLARE_NON_COPYABLE (TavSessionProcessor)
};
