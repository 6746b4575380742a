#pragma once

#include "AudioMix.h"
#include "AudioRingBuffer.h"
#include "CompositionAudioRenderer.h"
#include "VideoFrameDecoder.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace tavlin::media
{

/**
    The player's rendering: a thread decodes the composition's sound, passes it through the tap in blocks of at
    most maxTapFrames at the media's own rate, converts it to the output's rate and channels and queues it for
    readOutput, which the output (a sound card or a clock) calls without ever blocking. It also decodes the
    picture a little ahead of the clock.

    The clock is the sound that readOutput has handed out: its position in media frames is exact after a seek.
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

    /** Loads a composition's first audio and video tracks, with the audio mix's tap; false with a text. */
    bool load (const MediaComposition& composition, std::shared_ptr<const AudioMix> mix, juce::String& error);

    /** Puts another audio mix's tap on the loaded sound, from the current position on. */
    void setAudioMix (std::shared_ptr<const AudioMix> mix);

    /** Drops the media; the tap is unprepared and let go once no render call is inside it. */
    void unload();

    bool isLoaded() const { return loaded.load(); }
    double getMediaSampleRate() const { return mediaRate; }
    int getMediaChannels() const { return mediaChannels; }
    int64_t getLengthFrames() const { return lengthFrames; }

    /** Moves the clock and the sound to a media frame, exactly. */
    void seek (int64_t mediaFrame);

    /** 0 stops the clock; other rates play faster or slower (by resampling). */
    void setRate (double newRate);
    double getRate() const { return rate.load(); }

    /** The clock in media frames. */
    int64_t getPosition() const;

    /** True once all of the sound has been handed out. */
    bool hasReachedEnd() const { return reachedEnd.load(); }

    /** Called by the output: fills numFrames frames (silence when stopped, starved or busy). Never blocks. */
    void readOutput (float* const* destination, int numChannels, int numFrames);

    /** The picture showing at a time on the composition's timeline; null before the first frame. */
    juce::Image getVideoFrame (double timelineSeconds);
    bool hasVideo() const { return video != nullptr; }

private:
    void run() override;
    void fillAudio();
    void fillVideo();
    void restart (int64_t mediaFrame); // with renderMutex and outputLock held
    bool makeResampler();

    std::mutex renderMutex;
    juce::SpinLock outputLock;

    std::unique_ptr<CompositionAudioRenderer> renderer;
    std::shared_ptr<AudioProcessingTap> tap;
    ResamplerPtr resampler;
    AudioRingBuffer ring;
    juce::AudioBuffer<float> mediaBlock, outputBlock, mappedBlock;

    double mediaRate = 44100.0, outputRate = 44100.0;
    int mediaChannels = 2, outputChannels = 2;
    int64_t lengthFrames = 0;
    int audioTrackID = 0;

    std::atomic<bool> loaded { false }, renderedToEnd { false }, reachedEnd { false };
    std::atomic<double> rate { 0.0 };
    double renderSpeed = 1.0; // the rate the queued sound was rendered for
    std::atomic<int64_t> basePosition { 0 }, consumed { 0 };

    std::unique_ptr<VideoFrameDecoder> video;
    double videoShift = 0.0, videoStart = 0.0, videoEnd = 0.0;
    juce::CriticalSection videoLock;
    std::deque<VideoFrameDecoder::Frame> videoQueue;
    juce::Image shownImage;
    bool videoEnded = false;

    JUCE_DECLARE_NON_COPYABLE (PlayerRenderEngine)
};

} // namespace tavlin::media
