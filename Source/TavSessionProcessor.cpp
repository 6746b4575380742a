#include "TavSessionProcessor.h"

#include "TavAudioProcessor.h"
#include "TavAudioTapProcessor.h"

TavSessionProcessor::TavSessionProcessor (TavAudioProcessor& processorToUse) : processor (processorToUse) {}

int TavSessionProcessor::getLatencyFor (double sampleRate, int hostBlockSize) const
{
    return processor.getLatencyFor (sampleRate, hostBlockSize);
}

void TavSessionProcessor::dispatchPendingMessages()
{
    processor.dispatchPendingMessages();
}

std::unique_ptr<SessionTap> TavSessionProcessor::makeTap (const tavlin::media::MediaComposition::Track& audioTrack)
{
    return std::make_unique<TavAudioTapProcessor> (audioTrack, processor);
}
