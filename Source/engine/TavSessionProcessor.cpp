#include "TavSessionProcessor.h"

#include "ProcessingChain.h"
#include "TavAudioTapProcessor.h"

TavSessionProcessor::TavSessionProcessor (ProcessingChain& chainToUse) : chain (chainToUse) {}

int TavSessionProcessor::getLatencyFor (double sampleRate, int hostBlockSize) const
{
    return chain.getLatencyFor (sampleRate, hostBlockSize);
}

void TavSessionProcessor::dispatchPendingMessages()
{
    chain.getAnnouncer().dispatchPendingMessages();
}

std::unique_ptr<SessionTap> TavSessionProcessor::makeTap (const tavlin::media::MediaComposition::Track& audioTrack)
{
    return std::make_unique<TavAudioTapProcessor> (audioTrack, chain);
}
