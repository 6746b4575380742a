#include "PlayerRenderEngine.h"

namespace tavlin::media
{

PlayerRenderEngine::PlayerRenderEngine() : juce::Thread ("Media render")
{
    startThread();
}

PlayerRenderEngine::~PlayerRenderEngine()
{
    stopThread (-1);
    unload();
}

void PlayerRenderEngine::setOutputFormat (double sampleRate, int channels)
{
    if (sampleRate <= 0 || channels <= 0)
        return;

    std::lock_guard<std::mutex> render (renderMutex);
    const juce::SpinLock::ScopedLockType output (outputLock);
    const auto position = getPosition();
    outputRate = sampleRate;
    outputChannels = channels;

    if (loaded)
        restart (position);
}

bool PlayerRenderEngine::load (const MediaComposition& composition, std::shared_ptr<const AudioMix> mix,
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

    std::unique_ptr<VideoFrameDecoder> newVideo;

    if (const auto* videoTrack = composition.getFirstTrack (MediaType::video))
    {
        juce::String videoError;
        newVideo = VideoFrameDecoder::open (videoTrack->sourceFile, videoTrack->sourceTrack.streamIndex, videoError);
        videoStart = videoTrack->getClockStart();
        videoEnd = videoTrack->getClockEnd();
        videoShift = videoTrack->getClockShift();
    }

    std::shared_ptr<AudioProcessingTap> newTap = mix != nullptr ? mix->getTapForTrack (audioTrack->trackID) : nullptr;

    std::lock_guard<std::mutex> render (renderMutex);
    const juce::SpinLock::ScopedLockType output (outputLock);

    renderer = std::move (newRenderer);
    video = std::move (newVideo);
    mediaRate = renderer->getSampleRate();
    mediaChannels = renderer->getNumChannels();
    lengthFrames = renderer->getLength();
    audioTrackID = audioTrack->trackID;
    tap = std::move (newTap);

    if (tap != nullptr)
        tap->prepare (maxTapFrames, AudioStreamFormat::planarFloat (mediaRate, mediaChannels));

    mediaBlock.setSize (mediaChannels, renderFrames);
    loaded = true;
    restart (0);
    return true;
}

void PlayerRenderEngine::setAudioMix (std::shared_ptr<const AudioMix> mix)
{
    std::shared_ptr<AudioProcessingTap> released;

    {
        std::lock_guard<std::mutex> render (renderMutex);
        const juce::SpinLock::ScopedLockType output (outputLock);

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

        if (tap != nullptr)
            tap->prepare (maxTapFrames, AudioStreamFormat::planarFloat (mediaRate, mediaChannels));

        restart (position);
    }
}

void PlayerRenderEngine::unload()
{
    std::shared_ptr<AudioProcessingTap> released;

    {
        std::lock_guard<std::mutex> render (renderMutex);
        const juce::SpinLock::ScopedLockType output (outputLock);
        loaded = false;

        if (tap != nullptr)
            tap->unprepare();

        released = std::move (tap);
        renderer.reset();
        video.reset();

        const juce::ScopedLock sl (videoLock);
        videoQueue.clear();
        shownImage = {};
        ring.reset();
    }

    // The last reference may go here, outside the render lock: no render call can be inside the tap now.
    released.reset();
}

bool PlayerRenderEngine::makeResampler()
{
    resampler.reset();
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

    resampler.reset (created);
    return swr_init (resampler.get()) >= 0;
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

    if (renderer != nullptr)
        renderer->seek (mediaFrame);

    basePosition = mediaFrame;
    consumed = 0;
    renderedToEnd = false;
    reachedEnd = false;

    if (video != nullptr)
    {
        const juce::ScopedLock sl (videoLock);
        videoQueue.clear();
        shownImage = {};
        videoEnded = false;
        const double target = juce::jlimit (videoStart, videoEnd, mediaFrame / mediaRate - videoShift);
        video->seek (target);
    }
}

void PlayerRenderEngine::seek (int64_t mediaFrame)
{
    std::lock_guard<std::mutex> render (renderMutex);
    const juce::SpinLock::ScopedLockType output (outputLock);

    if (loaded)
        restart (mediaFrame);
}

void PlayerRenderEngine::setRate (double newRate)
{
    newRate = std::max (0.0, newRate);
    const double old = rate.exchange (newRate);

    // A new speed renders the queued sound again; stopping and starting keep it.
    if (newRate > 0.0 && newRate != renderSpeed && old != newRate)
    {
        std::lock_guard<std::mutex> render (renderMutex);
        const juce::SpinLock::ScopedLockType output (outputLock);
        const auto position = basePosition + (int64_t) std::llround (consumed * mediaRate * renderSpeed / outputRate);

        if (loaded)
            restart (position);
    }
}

int64_t PlayerRenderEngine::getPosition() const
{
    const auto frames =
        basePosition.load() + (int64_t) std::llround ((double) consumed.load() * mediaRate * renderSpeed / outputRate);
    return juce::jlimit<int64_t> (0, lengthFrames, frames);
}

void PlayerRenderEngine::readOutput (float* const* destination, int numChannels, int numFrames)
{
    int got = 0;
    const juce::SpinLock::ScopedTryLockType output (outputLock);

    if (output.isLocked() && loaded && rate.load() > 0.0)
    {
        got = ring.read (destination, juce::jmin (numChannels, ring.getNumChannels()), numFrames);
        consumed += got;

        // Extra output channels repeat the last queued one.
        for (int ch = ring.getNumChannels(); ch < numChannels; ++ch)
            if (destination[ch] != nullptr && ring.getNumChannels() > 0)
                juce::FloatVectorOperations::copy (destination[ch], destination[ring.getNumChannels() - 1], got);

        if (got < numFrames && renderedToEnd && ring.getNumReady() == 0)
            reachedEnd = true;
    }

    for (int ch = 0; ch < numChannels; ++ch)
        if (destination[ch] != nullptr)
            juce::FloatVectorOperations::clear (destination[ch] + got, numFrames - got);
}

void PlayerRenderEngine::fillAudio()
{
    if (renderer == nullptr)
        return;

    const int worstCase = (int) std::ceil (renderFrames * outputRate / mediaRate / renderSpeed) + 64;

    while (!renderedToEnd && ring.getFreeSpace() >= worstCase && !threadShouldExit())
    {
        const auto frames = (int) renderer->render (mediaBlock.getArrayOfWritePointers(), renderFrames, tap.get());
        const float* const* source = mediaBlock.getArrayOfReadPointers();
        int produced = frames;

        if (resampler != nullptr)
        {
            produced =
                swr_convert (resampler.get(), (uint8_t**) const_cast<float**> (outputBlock.getArrayOfWritePointers()),
                             outputBlock.getNumSamples(), frames > 0 ? (const uint8_t**) source : nullptr, frames);
            source = outputBlock.getArrayOfReadPointers();
        }

        if (produced > 0)
        {
            // Media channels onto output channels: mono is repeated, stereo onto mono is mixed.
            for (int ch = 0; ch < outputChannels; ++ch)
            {
                if (mediaChannels == 1 || outputChannels > 1)
                    juce::FloatVectorOperations::copy (mappedBlock.getWritePointer (ch),
                                                       source[juce::jmin (ch, mediaChannels - 1)], produced);
                else
                {
                    juce::FloatVectorOperations::copy (mappedBlock.getWritePointer (0), source[0], produced);
                    juce::FloatVectorOperations::add (mappedBlock.getWritePointer (0), source[1], produced);
                    juce::FloatVectorOperations::multiply (mappedBlock.getWritePointer (0), 0.5f, produced);
                }
            }

            ring.write (mappedBlock.getArrayOfReadPointers(), produced);
        }

        if (frames <= 0)
            renderedToEnd = true;
    }
}

void PlayerRenderEngine::fillVideo()
{
    if (video == nullptr)
        return;

    for (;;)
    {
        {
            const juce::ScopedLock sl (videoLock);

            if (videoEnded || videoQueue.size() >= 6)
                return;
        }

        VideoFrameDecoder::Frame frame;

        if (!video->next (frame) || frame.seconds >= videoEnd)
        {
            const juce::ScopedLock sl (videoLock);
            videoEnded = true;
            return;
        }

        frame.seconds += videoShift;
        const juce::ScopedLock sl (videoLock);
        videoQueue.push_back (std::move (frame));
    }
}

juce::Image PlayerRenderEngine::getVideoFrame (double timelineSeconds)
{
    const juce::ScopedLock sl (videoLock);

    while (!videoQueue.empty() && videoQueue.front().seconds <= timelineSeconds + 1.0e-6)
    {
        shownImage = videoQueue.front().image;
        videoQueue.pop_front();

        if (videoQueue.empty() || videoQueue.front().seconds > timelineSeconds + 1.0e-6)
            break;
    }

    return shownImage;
}

void PlayerRenderEngine::run()
{
    while (!threadShouldExit())
    {
        {
            std::lock_guard<std::mutex> render (renderMutex);

            if (loaded)
            {
                fillAudio();
                fillVideo();
            }
        }

        wait (3);
    }
}

} // namespace tavlin::media
