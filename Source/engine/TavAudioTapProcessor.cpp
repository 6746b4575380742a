#include "TavAudioTapProcessor.h"

#include "ExclusiveExportTap.h"
#include "ProcessingChain.h"

#include "media/PlayerRenderEngine.h"

#include <cmath>
#include <limits>

using namespace tavlin::media;

/** The tap's own storage: made by init, freed by finalize. Touched by prepare and process only. */
struct TavAudioTapProcessor::TapContext
{
    // Larger frame counts are refused rather than allocated.
    static constexpr int64_t maxSupportedFrames = 1 << 18;

    ProcessingChain* chain = nullptr;
    bool formatOK = false;
    double sampleRate = std::numeric_limits<double>::quiet_NaN();
    int channels = 0;
    int maxFrames = 512;
    juce::AudioBuffer<float> buffer { 2, 512 };
    // While this tap drives an export: the chain's two-thread set-up, for the whole pass.
    std::unique_ptr<ProcessingChain::OfflineProcessing> offline;

    // Each complaint goes to the log once per preparation, not on every render call.
    bool loggedFormat = false;
    bool loggedSource = false;
    bool loggedBuffers = false;
};

namespace
{
void logOnce (bool& logged, const juce::String& message)
{
    if (!logged)
    {
        logged = true;
        juce::Logger::writeToLog (message);
    }
}

/** True when every buffer of the list is one channel with room for frames samples. */
bool buffersHold (const TapBufferList& list, int64_t frames)
{
    if (frames < 0 || list.numberBuffers < 0 || list.numberBuffers > TapBufferList::maxBuffers)
        return false;

    for (int i = 0; i < list.numberBuffers; ++i)
    {
        const auto& b = list.buffers[i];

        if (b.data == nullptr || b.numberChannels != 1 || (int64_t) b.dataByteSize < frames * (int64_t) sizeof (float))
            return false;
    }

    return true;
}

/** Silences what the list can hold of frames samples per buffer. */
void clearBuffers (TapBufferList& list, int64_t frames)
{
    const int count = juce::jlimit (0, (int) TapBufferList::maxBuffers, list.numberBuffers);

    for (int i = 0; i < count; ++i)
    {
        auto& b = list.buffers[i];

        if (b.data != nullptr && frames > 0)
            std::fill_n (b.data, std::min<int64_t> (frames, b.dataByteSize / sizeof (float)), 0.0f);
    }
}
} // namespace

TavAudioTapProcessor::TavAudioTapProcessor (const MediaComposition::Track& audioTrack, ProcessingChain& chainToUse)
    : track (audioTrack), chain (chainToUse)
{
    // A bridge is only ever made for a sound track.
    jassert (audioTrack.mediaType == MediaType::audio);
}

TavAudioTapProcessor::~TavAudioTapProcessor()
{
    // Renderers may still hold the tap for a moment; its storage goes with its last holder.
    mix.reset();
    audioProcessingTap.reset();
}

std::shared_ptr<const AudioMix> TavAudioTapProcessor::audioMix()
{
    if (mix != nullptr)
        return mix;

    if (track.mediaType != MediaType::audio)
        return nullptr;

    AudioProcessingTap::Callbacks callbacks;
    callbacks.version = 0;
    callbacks.clientInfo = this;
    callbacks.init = tapInit;
    callbacks.finalize = tapFinalize;
    callbacks.prepare = tapPrepare;
    callbacks.unprepare = tapUnprepare;
    callbacks.process = tapProcess;

    std::shared_ptr<AudioProcessingTap> tap (
        AudioProcessingTap::create (callbacks, AudioProcessingTap::creationFlagPreEffects));

    if (tap == nullptr || tap->getStorage() == nullptr)
        return nullptr;

    // A player prepares the tap for its largest block, which sets the chain's delay at the track's rate.
    const auto rate = track.sourceTrack.sampleRate > 0.0 ? track.sourceTrack.sampleRate : 44100.0;
    auto newMix = std::make_shared<AudioMix>();
    newMix->setInputParameters (
        { { track.trackID, tap, chain.getLatencyFor (rate, PlayerRenderEngine::maxTapFrames) } });

    audioProcessingTap = std::move (tap);
    mix = std::move (newMix);
    return mix;
}

std::mutex& TavAudioTapProcessor::getProcessorLock()
{
    static std::mutex lock;
    return lock;
}

void TavAudioTapProcessor::reset()
{
    const std::lock_guard<std::mutex> hold (getProcessorLock());
    chain.reset();

    if (audioProcessingTap != nullptr)
        if (auto* context = static_cast<TapContext*> (audioProcessingTap->getStorage()))
        {
            context->buffer.clear();
        }
}

//==============================================================================
void TavAudioTapProcessor::tapInit (AudioProcessingTap&, void* clientInfo, void** storageOut)
{
    auto context = std::make_unique<TapContext>();
    context->chain = &static_cast<TavAudioTapProcessor*> (clientInfo)->chain;
    context->buffer.clear();
    *storageOut = context.release(); // owned by the tap until finalize
}

void TavAudioTapProcessor::tapFinalize (AudioProcessingTap& tap)
{
    std::unique_ptr<TapContext> context (static_cast<TapContext*> (tap.getStorage()));
    endExport (context.get());
}

void TavAudioTapProcessor::endExport (TapContext* context)
{
    if (context == nullptr || context->offline == nullptr)
        return;

    const std::lock_guard<std::mutex> hold (getProcessorLock());
    context->offline.reset();
}

void TavAudioTapProcessor::tapPrepare (AudioProcessingTap& tap, int64_t maxFrames, const AudioStreamFormat& format)
{
    auto* context = static_cast<TapContext*> (tap.getStorage());

    if (context == nullptr)
        return;

    context->sampleRate = format.sampleRate;
    context->channels = format.channelsPerFrame;
    context->formatOK = true;
    context->loggedFormat = context->loggedSource = context->loggedBuffers = false;

    if (format.formatID != AudioStreamFormat::linearPCM)
    {
        juce::Logger::writeToLog (unsupportedFormatIdMessage);
        context->formatOK = false;
    }

    if ((format.formatFlags & AudioStreamFormat::flagIsFloat) == 0)
    {
        juce::Logger::writeToLog (unsupportedFormatFlagMessage);
        context->formatOK = false;
    }

    const bool framesUsable = maxFrames > 0 && maxFrames <= TapContext::maxSupportedFrames;
    const bool rateUsable = std::isfinite (format.sampleRate) && format.sampleRate > 0.0;

    if (context->formatOK
        && ((format.formatFlags & AudioStreamFormat::flagIsNonInterleaved) == 0 || format.bitsPerChannel != 32
            || format.channelsPerFrame < 1 || format.channelsPerFrame > ProcessingChain::numChannels || !framesUsable
            || !rateUsable))
    {
        juce::Logger::writeToLog (unsupportedLayoutMessage);
        context->formatOK = false;
    }

    if (framesUsable && rateUsable)
    {
        const auto frames = (int) maxFrames;
        const auto processChannels = juce::jlimit (1, (int) ProcessingChain::numChannels, format.channelsPerFrame);

        if (context->formatOK)
        {
            context->buffer.setSize (format.channelsPerFrame, frames);
            context->maxFrames = frames;
        }

        const std::lock_guard<std::mutex> hold (getProcessorLock());
        context->chain->prepare (format.sampleRate, frames);
        context->chain->setPlayConfig (processChannels, processChannels, format.sampleRate, frames);
    }

    context->buffer.clear();
}

void TavAudioTapProcessor::tapUnprepare (AudioProcessingTap& tap)
{
    // An export ends on the thread that ran it, which unprepares the tap.
    endExport (static_cast<TapContext*> (tap.getStorage()));
}

void TavAudioTapProcessor::tapProcess (AudioProcessingTap& tap, int64_t numberFrames, uint32_t flags,
                                       TapBufferList& bufferList, int64_t* numberFramesOut, uint32_t*)
{
    auto* context = static_cast<TapContext*> (tap.getStorage());

    if (numberFramesOut != nullptr)
        *numberFramesOut = 0;

    if (context == nullptr)
        return;

    // Another tap drives the chain for an export: hand back silence and leave the chain alone.
    const auto* exclusive = ExclusiveExportTap::get();

    if (exclusive != nullptr && exclusive != &tap)
    {
        clearBuffers (bufferList, numberFrames);

        if (numberFramesOut != nullptr && buffersHold (bufferList, numberFrames))
            *numberFramesOut = numberFrames;

        return;
    }

    if (!buffersHold (bufferList, numberFrames))
    {
        logOnce (context->loggedBuffers, unsupportedProcessingMessage);
        clearBuffers (bufferList, numberFrames);
        return;
    }

    int64_t pulled = 0;
    const auto status = tap.getSourceAudio (numberFrames, bufferList, nullptr, nullptr, &pulled);

    if (status != 0)
    {
        logOnce (context->loggedSource, sourceAudioMessage + juce::String (status));
        clearBuffers (bufferList, numberFrames);
        return;
    }

    if (!context->formatOK || bufferList.numberBuffers != context->channels)
    {
        // Sound the chain cannot take plays as it is.
        logOnce (context->loggedFormat, unsupportedProcessingMessage);

        if (numberFramesOut != nullptr)
            *numberFramesOut = numberFrames;

        return;
    }

    auto& buffer = context->buffer;
    const std::lock_guard<std::mutex> hold (getProcessorLock());

    // An export waits for the whole result, not for the sound card: the chain runs on two threads, set up
    // once for the whole pass rather than for every call.
    if (exclusive == &tap && context->offline == nullptr)
        context->offline = std::make_unique<ProcessingChain::OfflineProcessing> (*context->chain);
    else if (exclusive != &tap && context->offline != nullptr)
        context->offline.reset();

    // The sound starts afresh (a seek near the start): nothing processed before may lead into it.
    if ((flags & AudioProcessingTap::processFlagStartOfStream) != 0)
    {
        context->chain->reset();
        buffer.clear();
    }

    for (int64_t offset = 0; offset < numberFrames; offset += context->maxFrames)
    {
        const auto n = (int) std::min<int64_t> (context->maxFrames, numberFrames - offset);

        for (int i = 0; i < bufferList.numberBuffers; ++i)
            buffer.copyFrom (i, 0, bufferList.buffers[i].data + offset, n);

        context->chain->process (buffer, n);

        for (int i = 0; i < bufferList.numberBuffers; ++i)
            juce::FloatVectorOperations::copy (bufferList.buffers[i].data + offset, buffer.getReadPointer (i), n);
    }

    if (numberFramesOut != nullptr)
        *numberFramesOut = numberFrames;
}
