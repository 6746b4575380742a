#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace tavlin::media
{

/** A single-producer, single-consumer ring of planar float audio; neither side allocates or blocks. */
class AudioRingBuffer
{
public:
    void setSize (int channels, int capacityFrames)
    {
        buffer.setSize (channels, capacityFrames);
        fifo.setTotalSize (capacityFrames);
        fifo.reset();
    }

    int getNumChannels() const { return buffer.getNumChannels(); }
    int getFreeSpace() const { return fifo.getFreeSpace(); }
    int getNumReady() const { return fifo.getNumReady(); }

    /** Only while neither side runs. */
    void reset() { fifo.reset(); }

    int write (const float* const* channels, int frames)
    {
        int s1, n1, s2, n2;
        fifo.prepareToWrite (frames, s1, n1, s2, n2);

        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        {
            buffer.copyFrom (ch, s1, channels[ch], n1);

            if (n2 > 0)
                buffer.copyFrom (ch, s2, channels[ch] + n1, n2);
        }

        fifo.finishedWrite (n1 + n2);
        return n1 + n2;
    }

    /** Reads up to frames into destination channels; channels beyond the ring's repeat its last one. */
    int read (float* const* destination, int numChannels, int frames)
    {
        int s1, n1, s2, n2;
        fifo.prepareToRead (frames, s1, n1, s2, n2);

        for (int ch = 0; ch < numChannels; ++ch)
        {
            if (destination[ch] == nullptr)
                continue;

            const int from = juce::jmin (ch, buffer.getNumChannels() - 1);
            juce::FloatVectorOperations::copy (destination[ch], buffer.getReadPointer (from, s1), n1);

            if (n2 > 0)
                juce::FloatVectorOperations::copy (destination[ch] + n1, buffer.getReadPointer (from, s2), n2);
        }

        fifo.finishedRead (n1 + n2);
        return n1 + n2;
    }

private:
    juce::AudioBuffer<float> buffer;
    juce::AbstractFifo fifo { 1 };
};

} // namespace tavlin::media
