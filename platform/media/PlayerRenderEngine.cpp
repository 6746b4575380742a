#include "PlayerRenderEngine.h"

#include "FFmpegHandles.h"

namespace tavlin::media
{

/** Both locks, for a caller other than the output: the render thread gives way while one waits. */
class PlayerRenderEngine::ControlLock
{
public:
    explicit ControlLock (PlayerRenderEngine& e) : engine (e)
    {
        ++engine.controlWaiting;
        engine.renderMutex.lock();
        --engine.controlWaiting;
        engine.outputLock.enter();
    }

    ~ControlLock()
    {
        engine.outputLock.exit();
        engine.renderMutex.unlock();
    }

private:
    PlayerRenderEngine& engine;

    JUCE_DECLARE_NON_COPYABLE (ControlLock)
};

struct PlayerRenderEngine::Impl
{
    ResamplerPtr resampler;
};

PlayerRenderEngine::PlayerRenderEngine() : juce::Thread ("Media render"), impl (std::make_unique<Impl>())
{
    startThread();
}

PlayerRenderEngine::~PlayerRenderEngine()
{
    stopThread (-1);
    unload();
}

void PlayerRenderEngine::beginClockChange()
{
    clockSequence.store (clockSequence.load (std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence (std::memory_order_release);
}

void PlayerRenderEngine::endClockChange()
{
    clockSequence.store (clockSequence.load (std::memory_order_relaxed) + 1, std::memory_order_release);
}

void PlayerRenderEngine::setOutputFormat (double sampleRate, int channels)
{
    if (sampleRate <= 0 || channels <= 0)
        return;

    const ControlLock locked (*this);

    if (sampleRate == outputRate && channels == outputChannels)
        return;

    const auto position = getPosition();
    outputRate = sampleRate;
    outputChannels = channels;

    if (loaded)
        restart (position);
}

void PlayerRenderEngine::setOutputLatency (int frames)
{
    const juce::SpinLock::ScopedLockType output (outputLock);
    beginClockChange();
    latencyLine.setLatency (frames);
    unheard.store (latencyLine.getPendingSound(), std::memory_order_relaxed);
    endClockChange();
}

int PlayerRenderEngine::getOutputLatency() const
{
    const juce::SpinLock::ScopedLockType output (outputLock);
    return latencyLine.getLatency();
}

bool PlayerRenderEngine::load (const MediaComposition& composition, const std::shared_ptr<const AudioMix>& mix,
                               juce::String& error)
{
    unload();

    const auto* audioTrack = composition.getFirstTrack (MediaType::audio);

    if (audioTrack == nullptr)
    {
        error = "The media has no sound to play.";
        return false;
    }

    auto newRenderer = CompositionAudioRenderer::create (*audioTrack, error);

    if (newRenderer == nullptr)
        return false;

    // The item ends with the composition: the sound is followed by silence while the picture still runs.
    const auto newRate = newRenderer->getSampleRate();
    const auto newLength = std::max (newRenderer->getLength(), composition.getDuration().toSamples (newRate));
    newRenderer->setTailFrames (newLength - newRenderer->getLength());

    std::unique_ptr<VideoFrameDecoder> newVideo;
    double videoShift = 0.0, videoStart = 0.0, videoEnd = 0.0;

    if (const auto* videoTrack = composition.getFirstTrack (MediaType::video))
    {
        juce::String videoError;
        newVideo = VideoFrameDecoder::open (videoTrack->sourceFile, videoTrack->sourceTrack.streamIndex, videoError,
                                            videoTrack->rotationDegrees);
        videoStart = videoTrack->getClockStart();
        videoEnd = videoTrack->getClockEnd();
        videoShift = videoTrack->getClockShift();
    }

    std::shared_ptr<AudioProcessingTap> newTap = mix != nullptr ? mix->getTapForTrack (audioTrack->trackID) : nullptr;

    {
        const ControlLock locked (*this);

        renderer = std::move (newRenderer);
        mediaRate = newRate;
        mediaChannels = renderer->getNumChannels();
        lengthFrames = newLength;
        audioTrackID = audioTrack->trackID;
        tap = std::move (newTap);
        tapLatency = tap != nullptr ? mix->getTapLatencyForTrack (audioTrackID) : 0;

        if (tap != nullptr)
            tap->prepare (maxTapFrames, AudioStreamFormat::planarFloat (mediaRate, mediaChannels));

        mediaBlock.setSize (mediaChannels, renderFrames);
        keptChannels.assign ((size_t) mediaChannels, nullptr);
        loaded = true;
        restart (0);
    }

    if (newVideo != nullptr)
    {
        video = std::make_unique<PlayerVideoRenderer> (std::move (newVideo), videoShift, videoStart, videoEnd,
                                                       [this] { return (double) getPosition() / mediaRate; });
        video->seek (0.0);
    }

    return true;
}

void PlayerRenderEngine::setAudioMix (const std::shared_ptr<const AudioMix>& mix)
{
    std::shared_ptr<AudioProcessingTap> released;

    {
        const ControlLock locked (*this);

        if (!loaded)
            return;

        auto newTap = mix != nullptr ? mix->getTapForTrack (audioTrackID) : nullptr;

        if (newTap == tap)
            return;

        const auto position = getPosition();

        if (tap != nullptr)
            tap->unprepare();

        released = std::move (tap);
        tap = std::move (newTap);
        tapLatency = tap != nullptr ? mix->getTapLatencyForTrack (audioTrackID) : 0;

        if (tap != nullptr)
            tap->prepare (maxTapFrames, AudioStreamFormat::planarFloat (mediaRate, mediaChannels));

        restart (position);
    }
}

void PlayerRenderEngine::unload()
{
    // The picture's thread reads the clock: it goes first.
    video.reset();

    std::shared_ptr<AudioProcessingTap> released;

    {
        const ControlLock locked (*this);
        loaded = false;

        if (tap != nullptr)
            tap->unprepare();

        released = std::move (tap);
        renderer.reset();
        ring.reset();
    }

    // The last reference may go here, outside the render lock: no render call can be inside the tap now.
    released.reset();
}

bool PlayerRenderEngine::makeResampler()
{
    impl->resampler.reset();
    const double speed = renderSpeed > 0.0 ? renderSpeed : 1.0;

    if (mediaRate == outputRate && speed == 1.0)
        return true;

    SwrContext* created = nullptr;
    AVChannelLayout layout;
    av_channel_layout_default (&layout, mediaChannels);
    const int target = (int) std::lround (outputRate / speed);

    if (swr_alloc_set_opts2 (&created, &layout, AV_SAMPLE_FMT_FLTP, target, &layout, AV_SAMPLE_FMT_FLTP,
                             (int) mediaRate, 0, nullptr)
        < 0)
        return false;

    impl->resampler.reset (created);
    return swr_init (impl->resampler.get()) >= 0;
}

void PlayerRenderEngine::restart (int64_t mediaFrame)
{
    mediaFrame = juce::jlimit<int64_t> (0, lengthFrames, mediaFrame);
    const auto currentRate = rate.load();
    renderSpeed = currentRate > 0.0 ? currentRate : 1.0;
    const int capacity = (int) (outputRate * 0.25) + 4 * renderFrames;
    ring.setSize (outputChannels, capacity);
    outputBlock.setSize (mediaChannels, (int) (renderFrames * outputRate / mediaRate / 0.25) + 256);
    mappedBlock.setSize (outputChannels, outputBlock.getNumSamples());
    makeResampler();

    // Only the decoder's position moves here; decoding up to it (which can take long in a stream decoded from
    // its start) is the render thread's, which gives way to every caller waiting for the lock.
    //
    // A delaying tap is run from a latency and a block before the target and that much of its output is dropped,
    // so what it still held of the place left goes unheard and it has heard the target's past. Nearer the start
    // there is no such past: it starts afresh from the start, as when the media opened.
    if (renderer != nullptr)
    {
        const auto reach = tap != nullptr ? tapLatency + maxTapFrames : 0;
        const auto from = mediaFrame >= reach ? mediaFrame - reach : 0;
        renderer->seek (from);
        preRollLeft = mediaFrame - from;
        startOfStream = startOfStream || (tap != nullptr && from == 0);
        catchUpPending = true;
    }

    beginClockChange();
    basePosition.store (mediaFrame, std::memory_order_relaxed);
    consumed.store (0, std::memory_order_relaxed);
    latencyLine.reset();
    unheard.store (0, std::memory_order_relaxed);
    mediaFramesPerOutputFrame.store (mediaRate * renderSpeed / outputRate, std::memory_order_relaxed);
    endClockChange();

    renderedToEnd = false;
    reachedEnd = false;

    // There is something to render again: the thread may be resting.
    notify();
}

void PlayerRenderEngine::seek (int64_t mediaFrame)
{
    {
        const ControlLock locked (*this);

        if (!loaded)
            return;

        restart (mediaFrame);
    }

    if (video != nullptr)
        video->seek ((double) getPosition() / mediaRate);
}

void PlayerRenderEngine::setRate (double newRate)
{
    newRate = std::max (0.0, newRate);
    const double old = rate.exchange (newRate);

    if (old != newRate)
        notify(); // a stopped thread rests; a started one renders for the output again

    // A new speed renders the queued sound again; stopping and starting keep it.
    if (newRate > 0.0 && newRate != renderSpeed && old != newRate)
    {
        const ControlLock locked (*this);
        const auto position =
            basePosition.load() + (int64_t) std::llround ((double) consumed.load() * mediaFramesPerOutputFrame.load());

        if (loaded)
            restart (position);
    }
}

int64_t PlayerRenderEngine::getPosition() const
{
    int64_t base, handed, pending;
    double ratio;

    for (;;)
    {
        const auto before = clockSequence.load (std::memory_order_acquire);
        base = basePosition.load (std::memory_order_relaxed);
        handed = consumed.load (std::memory_order_relaxed);
        pending = unheard.load (std::memory_order_relaxed);
        ratio = mediaFramesPerOutputFrame.load (std::memory_order_relaxed);
        std::atomic_thread_fence (std::memory_order_acquire);

        if ((before & 1) == 0 && clockSequence.load (std::memory_order_relaxed) == before)
            break;
    }

    const auto heard = std::max<int64_t> (0, handed - pending);
    return juce::jlimit<int64_t> (0, lengthFrames.load(), base + (int64_t) std::llround ((double) heard * ratio));
}

void PlayerRenderEngine::readOutput (float* const* destination, int numChannels, int numFrames)
{
    int got = 0;
    const juce::SpinLock::ScopedTryLockType output (outputLock);

    if (output.isLocked() && loaded)
    {
        if (rate.load() > 0.0)
        {
            got = ring.read (destination, juce::jmin (numChannels, ring.getNumChannels()), numFrames);

            // Extra output channels repeat the last queued one.
            for (int ch = ring.getNumChannels(); ch < numChannels; ++ch)
                if (destination[ch] != nullptr && ring.getNumChannels() > 0)
                    juce::FloatVectorOperations::copy (destination[ch], destination[ring.getNumChannels() - 1], got);
        }

        // Whatever the output plays now, sound or silence, moves what was handed to it before towards the ear.
        beginClockChange();
        consumed.store (consumed.load (std::memory_order_relaxed) + got, std::memory_order_relaxed);
        latencyLine.push (numFrames, got);
        unheard.store (latencyLine.getPendingSound(), std::memory_order_relaxed);
        endClockChange();

        if (renderedToEnd && ring.getNumReady() == 0 && latencyLine.getPendingSound() == 0)
            reachedEnd = true;
    }

    for (int ch = 0; ch < numChannels; ++ch)
        if (destination[ch] != nullptr)
            juce::FloatVectorOperations::clear (destination[ch] + got, numFrames - got);
}

bool PlayerRenderEngine::renderBlock()
{
    if (renderer == nullptr || renderedToEnd)
        return false;

    const int worstCase = (int) std::ceil (renderFrames * outputRate / mediaRate / renderSpeed) + 64;

    if (ring.getFreeSpace() < worstCase)
        return false;

    const auto flags = startOfStream ? AudioProcessingTap::processFlagStartOfStream : 0u;
    const auto frames = (int) renderer->render (mediaBlock.getArrayOfWritePointers(), renderFrames, tap.get(), flags);
    startOfStream = false;

    // The tap's output for the frames before a seek's target is dropped.
    const auto dropped = (int) std::min<int64_t> (preRollLeft, std::max (0, frames));
    preRollLeft -= dropped;
    const auto kept = frames - dropped;

    if (frames > 0 && kept == 0)
        return true;

    for (int ch = 0; ch < mediaChannels; ++ch)
        keptChannels[(size_t) ch] = mediaBlock.getReadPointer (ch) + dropped;

    const float* const* source = keptChannels.data();
    const float* const* output = source;
    int produced = kept;

    if (impl->resampler != nullptr)
    {
        produced =
            swr_convert (impl->resampler.get(), (uint8_t**) const_cast<float**> (outputBlock.getArrayOfWritePointers()),
                         outputBlock.getNumSamples(), kept > 0 ? (const uint8_t**) source : nullptr, kept);
        output = outputBlock.getArrayOfReadPointers();
    }

    if (produced > 0)
    {
        // Media channels onto output channels: mono is repeated, stereo onto mono is mixed.
        for (int ch = 0; ch < outputChannels; ++ch)
        {
            if (mediaChannels == 1 || outputChannels > 1)
                juce::FloatVectorOperations::copy (mappedBlock.getWritePointer (ch),
                                                   output[juce::jmin (ch, mediaChannels - 1)], produced);
            else
            {
                juce::FloatVectorOperations::copy (mappedBlock.getWritePointer (0), output[0], produced);
                juce::FloatVectorOperations::add (mappedBlock.getWritePointer (0), output[1], produced);
                juce::FloatVectorOperations::multiply (mappedBlock.getWritePointer (0), 0.5f, produced);
            }
        }

        ring.write (mappedBlock.getArrayOfReadPointers(), produced);
    }

    if (frames <= 0)
        renderedToEnd = true;

    return true;
}

VideoPicture PlayerRenderEngine::getVideoFrame (double timelineSeconds)
{
    return video != nullptr ? video->getFrame (timelineSeconds) : VideoPicture();
}

void PlayerRenderEngine::run()
{
    while (!threadShouldExit())
    {
        // One block at a time, giving way to a seek or a change waiting for the lock.
        if (controlWaiting.load() > 0)
        {
            wait (1);
            continue;
        }

        bool rendered, resting;

        {
            std::lock_guard<std::mutex> render (renderMutex);

            if (loaded && catchUpPending && renderer != nullptr)
            {
                if (renderer->catchUp ([this] { return controlWaiting.load() == 0 && !threadShouldExit(); }))
                    catchUpPending = false;

                rendered = true;
            }
            else
            {
                rendered = loaded && renderBlock();
            }

            // Nothing can change until a call notifies (a seek, a load, a rate...): no media, all of it
            // rendered, or a full queue that a stopped output leaves alone. While the output plays, the
            // queue is looked at every few ms.
            resting = !rendered && (!loaded || renderer == nullptr || renderedToEnd || rate.load() <= 0.0);
        }

        // A notify between the look above and the wait is kept by the event, so none is lost.
        if (!rendered)
            wait (resting ? -1 : 3);
    }
}

} // namespace tavlin::media
