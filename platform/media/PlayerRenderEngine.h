#pragma once

#include "AudioMix.h"
#include "AudioRingBuffer.h"
#include "CompositionAudioRenderer.h"
#include "OutputLatencyLine.h"
#include "PlayerVideoRenderer.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace tavlin::media
{

/**
    The player's rendering: a thread decodes the composition's sound, passes it through the tap in blocks of at
    most maxTapFrames at the media's own rate, converts it to the output's rate and channels and queues it for
    readOutput, which the output (a sound card or a clock) calls without ever blocking. The picture is decoded
    on a thread of its own, a little ahead of the clock.

    The item lasts to the end of the composition: after the sound, silence goes through the tap until the
    picture's last frame has been shown, so a tap's delayed output comes out whole.

    The clock is the sound heard: what readOutput has handed out, less what the output has not played yet
    (its latency). Its position in media frames is exact after a seek.

    A tap that delays its sound (the audio mix says by how much) is run from that far and a block more ahead of
    a seek's target, and what it hands back for those frames is dropped: the sound after a seek is what playing
    through to the target would have given, with nothing left over from before the seek. A seek nearer the
    start than that starts the tap afresh (a start-of-stream call) from the start.
*/
class PlayerRenderEngine : private juce::Thread
{
public:
    static constexpr int maxTapFrames = 4096;
    static constexpr int renderFrames = 1024;

    PlayerRenderEngine();
    ~PlayerRenderEngine() override;

    /** The output's sample rate and channel count; the queued sound is rendered again for them. */
    void setOutputFormat (double sampleRate, int channels);
    double getOutputSampleRate() const { return outputRate; }

    /** Frames of the output's rate between handing a frame to the output and hearing it; 0 at first. */
    void setOutputLatency (int frames);
    int getOutputLatency() const;

    /** Loads a composition's first audio and video tracks, with the audio mix's tap; false with a text. */
    bool load (const MediaComposition& composition, const std::shared_ptr<const AudioMix>& mix, juce::String& error);

    /** Puts another audio mix's tap on the loaded sound, from the current position on. */
    void setAudioMix (const std::shared_ptr<const AudioMix>& mix);

    /** Drops the media; the tap is unprepared and let go once no render call is inside it. */
    void unload();

    bool isLoaded() const { return loaded.load(); }
    double getMediaSampleRate() const { return mediaRate; }
    int getMediaChannels() const { return mediaChannels; }

    /** Media frames from the start to the end of the composition. */
    int64_t getLengthFrames() const { return lengthFrames.load(); }

    /** Moves the clock and the sound to a media frame, exactly, at once; the picture follows when decoded. */
    void seek (int64_t mediaFrame);

    /** 0 stops the clock; other rates play faster or slower (by resampling). */
    void setRate (double newRate);
    double getRate() const { return rate.load(); }

    /** The clock in media frames: the sound heard so far. */
    int64_t getPosition() const;

    /** Output frames rendered and waiting for readOutput. */
    int getQueuedFrames() const { return ring.getNumReady(); }

    /** True once the whole item has been heard. */
    bool hasReachedEnd() const { return reachedEnd.load(); }

    /** Called by the output: fills numFrames frames (silence when stopped, starved or busy). Never blocks. */
    void readOutput (float* const* destination, int numChannels, int numFrames);

    /** The picture showing at a time on the composition's timeline; null before the first frame. */
    VideoPicture getVideoFrame (double timelineSeconds);
    bool hasVideo() const { return video != nullptr; }

    /** True while the picture of the latest seek is still being decoded. */
    bool isVideoSeeking() const { return video != nullptr && video->isSeeking(); }

private:
    class ControlLock;

    void run() override;
    bool renderBlock();
    void restart (int64_t mediaFrame); // with renderMutex and outputLock held
    bool makeResampler();

    // The clock's parts change together, under outputLock, inside a sequence count that readers check.
    void beginClockChange();
    void endClockChange();

    std::mutex renderMutex;
    juce::SpinLock outputLock;
    std::atomic<int> controlWaiting { 0 }; // callers waiting for renderMutex; the render thread gives way

    std::unique_ptr<CompositionAudioRenderer> renderer;
    std::shared_ptr<AudioProcessingTap> tap;
    struct Impl; // the resampler
    std::unique_ptr<Impl> impl;
    AudioRingBuffer ring;
    juce::AudioBuffer<float> mediaBlock, outputBlock, mappedBlock;
    std::vector<const float*> keptChannels; // the rendered block's channels from its first frame kept

    double mediaRate = 44100.0, outputRate = 44100.0;
    int mediaChannels = 2, outputChannels = 2;
    std::atomic<int64_t> lengthFrames { 0 };
    int audioTrackID = 0;
    int64_t tapLatency = 0; // media frames by which the tap delays the sound
    int64_t preRollLeft = 0; // with renderMutex: tap output still to drop after a restart
    bool startOfStream = false; // with renderMutex: the next tap call starts the sound afresh

    std::atomic<bool> loaded { false }, renderedToEnd { false }, reachedEnd { false };
    bool catchUpPending = false; // with renderMutex: the decoder has yet to reach the position of a seek
    std::atomic<double> rate { 0.0 };
    double renderSpeed = 1.0; // the rate the queued sound was rendered for

    std::atomic<uint32_t> clockSequence { 0 };
    std::atomic<int64_t> basePosition { 0 }, consumed { 0 }, unheard { 0 };
    std::atomic<double> mediaFramesPerOutputFrame { 1.0 };
    OutputLatencyLine latencyLine; // with outputLock

    std::unique_ptr<PlayerVideoRenderer> video;

    JUCE_DECLARE_NON_COPYABLE (PlayerRenderEngine)
};

} // namespace tavlin::media
