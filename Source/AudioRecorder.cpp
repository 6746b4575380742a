#include "AudioRecorder.h"

#include "RecordingWavWriter.h"

namespace
{
juce::String secondsText (juce::int64 samples, double rate)
{
    return juce::String ((double) samples / (rate > 0.0 ? rate : 44100.0), 1) + " s";
}
} // namespace

AudioRecorder::AudioRecorder()
{
    backgroundThread.startThread();
}

AudioRecorder::~AudioRecorder()
{
    stop();
    backgroundThread.stopThread (4000);
}

juce::Result AudioRecorder::startRecording (const juce::File& file, int numChannels, int bitsPerSample)
{
    stop();

    const auto rate = sampleRate.load();

    if (rate <= 0.0)
        return juce::Result::fail ("No audio input device is open. Choose one under \"Settings...\" and try again.");

    if (deviceInputs.load() <= 0)
        return juce::Result::fail ("The audio device has no input channel open. Choose an input under "
                                   "\"Settings...\" and try again.");

    if ((numChannels != 1 && numChannels != 2) || (bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32))
        return juce::Result::fail ("Recordings are made with 1 or 2 channels of 16, 24 or 32 bits.");

    file.deleteFile();
    file.getParentDirectory().createDirectory();

    auto stream = file.createOutputStream (streamBufferBytes);

    if (stream == nullptr || stream->failedToOpen())
        return juce::Result::fail ("The recording file \"" + file.getFullPathName() + "\" could not be created.");

    std::unique_ptr<juce::OutputStream> out (std::move (stream));
    auto writer = RecordingWavWriter::create (out, rate, numChannels, bitsPerSample);

    if (writer == nullptr)
    {
        out.reset();
        file.deleteFile();
        return juce::Result::fail ("A WAV file of " + juce::String (numChannels) + " channels at "
                                   + juce::String (bitsPerSample) + " bits and " + juce::String (rate)
                                   + " Hz cannot be written.");
    }

    threadedWriter =
        std::make_unique<juce::AudioFormatWriter::ThreadedWriter> (writer.release(), backgroundThread, fifoSamples);
    threadedWriter->setDataReceiver (this);
    recordingFile = file;
    droppedSamples = 0;
    sampleCount = 0;

    const juce::ScopedLock lock (writerLock);
    activeWriter = threadedWriter.get();
    activeChannels = numChannels;
    recordingRate = rate;
    return juce::Result::ok();
}

juce::Result AudioRecorder::stop()
{
    juce::int64 recorded = 0, dropped = 0;

    {
        const juce::ScopedLock lock (writerLock);
        activeWriter = nullptr; // from here on the callback writes nothing
        recorded = sampleCount.exchange (0);
        dropped = droppedSamples.exchange (0);
    }

    if (threadedWriter == nullptr)
        return juce::Result::ok();

    // Flushes what is buffered, writes the header and closes the file; outside the lock, so the audio
    // callback is not held up.
    threadedWriter.reset();

    auto file = std::exchange (recordingFile, juce::File());
    const auto rate = std::exchange (recordingRate, 0.0);
    juce::StringArray problems;

    if (dropped > 0)
        problems.add (secondsText (dropped, rate)
                      + " of sound could not be written in time and are missing from the recording.");

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));

    if (reader == nullptr)
        problems.add ("The recording could not be read back.");
    else if (reader->lengthInSamples < recorded - dropped)
        problems.add ("The recording holds " + secondsText (recorded - dropped - reader->lengthInSamples, rate)
                      + " less than was recorded: the disk may be full.");

    if (problems.isEmpty())
        return juce::Result::ok();

    return juce::Result::fail ("\"" + file.getFileName() + "\": " + problems.joinIntoString (" "));
}

bool AudioRecorder::isRecording() const
{
    const juce::ScopedLock lock (writerLock);
    return activeWriter != nullptr;
}

void AudioRecorder::audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs,
                                                      int numOutputs, int numSamples,
                                                      const juce::AudioIODeviceCallbackContext&)
{
    const juce::ScopedLock lock (writerLock);

    if (activeWriter != nullptr && numInputs > 0 && numSamples > 0)
    {
        // Only channels the device delivered are read: a channel it lacks repeats the first one it has.
        const float* first = nullptr;

        for (int c = 0; c < numInputs && first == nullptr; ++c)
            first = inputs[c];

        const float* channels[2] = { first, first };

        for (int c = 0; c < activeChannels && c < numInputs; ++c)
            if (inputs[c] != nullptr)
                channels[c] = inputs[c];

        // A device that now runs at another rate than the file is not written into it.
        const bool written =
            first != nullptr && sampleRate.load() == recordingRate && activeWriter->write (channels, numSamples);

        sampleCount += numSamples;

        if (!written)
            droppedSamples += numSamples;
    }

    for (int c = 0; c < numOutputs; ++c)
        if (outputs[c] != nullptr)
            juce::FloatVectorOperations::clear (outputs[c], numSamples);
}

void AudioRecorder::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    deviceInputs = device != nullptr ? device->getActiveInputChannels().countNumberOfSetBits() : 0;
    sampleRate = device != nullptr ? device->getCurrentSampleRate() : 0.0;
}

void AudioRecorder::reset (int, double, juce::int64)
{
    writtenSamples = 0;
}

void AudioRecorder::addBlock (juce::int64 sampleNumberInSource, const juce::AudioBuffer<float>&, int, int numSamples)
{
    writtenSamples = sampleNumberInSource + numSamples;
}

void AudioRecorder::audioDeviceStopped()
{
    sampleRate = 0.0;
    deviceInputs = 0;
}
