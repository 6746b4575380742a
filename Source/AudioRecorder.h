#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <atomic>
#include <memory>

/** Writes the audio device's input to a WAV file.

    The device callback copies each input block into a threaded writer's FIFO of fifoSamples samples per
    channel; the thread "Audio Recorder Thread" writes the buffered samples to the file. The callback
    allocates nothing and never waits for the disk; deleting the writer, which flushes and closes the file,
    happens on the message thread in stop().

    Every output channel the callback is given is filled with silence.
*/
class AudioRecorder : public juce::AudioIODeviceCallback,
                      private juce::AudioFormatWriter::ThreadedWriter::IncomingDataReceiver
{
public:
    static constexpr int fifoSamples = 32768;
    static constexpr int streamBufferBytes = 32768;

    AudioRecorder();
    ~AudioRecorder() override;

    /** Stops any recording, then starts writing numChannels (1 or 2) channels of bitsPerSample (16, 24 or
        32, the last as floating point) to file, at the running device's sample rate. Fails, leaving no
        file and the recorder idle, when no device with an open input runs, the file cannot be created or
        the format cannot be written. Message thread.
    */
    juce::Result startRecording (const juce::File& file, int numChannels, int bitsPerSample);

    /** Ends the recording; the file is complete when this returns. Fails, keeping the file, when samples
        could not be written: blocks the FIFO refused because the writer thread fell behind, or a file that
        holds fewer samples than were recorded (a full disk). Succeeds when nothing was recording.
        Message thread.
    */
    juce::Result stop();

    bool isRecording() const;

    /** Samples handed to the writer since the recording started, refused ones included; 0 when idle. */
    juce::int64 getSampleCount() const noexcept { return sampleCount.load(); }

    /** Samples of the current recording that could not be written. */
    juce::int64 getDroppedSampleCount() const noexcept { return droppedSamples.load(); }

    /** Samples of the current recording the writer thread has passed to the file so far. */
    juce::int64 getWrittenSampleCount() const noexcept { return writtenSamples.load(); }

    /** The running device's sample rate in Hz, 0 while no device runs. */
    double getSampleRate() const noexcept { return sampleRate.load(); }

    /** The thread that writes to disk (lets a test hold it up). */
    juce::TimeSliceThread& getWriterThread() noexcept { return backgroundThread; }

    //==============================================================================
    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs,
                                           int numOutputs, int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;

private:
    void reset (int numChannels, double sampleRate, juce::int64 totalSamplesInSource) override;
    void addBlock (juce::int64 sampleNumberInSource, const juce::AudioBuffer<float>& newData, int startOffsetInBuffer,
                   int numSamples) override;

    juce::TimeSliceThread backgroundThread { "Audio Recorder Thread" };
    std::unique_ptr<juce::AudioFormatWriter::ThreadedWriter> threadedWriter;
    std::atomic<double> sampleRate { 0.0 };
    std::atomic<int> deviceInputs { 0 };
    std::atomic<juce::int64> sampleCount { 0 };
    std::atomic<juce::int64> droppedSamples { 0 };
    std::atomic<juce::int64> writtenSamples { 0 };
    juce::CriticalSection writerLock;
    juce::AudioFormatWriter::ThreadedWriter* activeWriter = nullptr; // guarded by writerLock
    int activeChannels = 0; // guarded by writerLock
    double recordingRate = 0.0; // guarded by writerLock
    juce::File recordingFile;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioRecorder)
};
