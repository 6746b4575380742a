#include "AudioProcessingTap.h"

namespace tavlin::media
{

std::unique_ptr<AudioProcessingTap> AudioProcessingTap::create (const Callbacks& callbacks, uint32_t flags)
{
    if (callbacks.version != 0 || callbacks.process == nullptr)
        return nullptr;

    std::unique_ptr<AudioProcessingTap> tap (new AudioProcessingTap (callbacks, flags));

    if (callbacks.init != nullptr)
        callbacks.init (*tap, callbacks.clientInfo, &tap->storage);

    return tap;
}

AudioProcessingTap::AudioProcessingTap (const Callbacks& c, uint32_t flags) : callbacks (c), creationFlags (flags) {}

AudioProcessingTap::~AudioProcessingTap()
{
    unprepare();

    if (callbacks.finalize != nullptr)
        callbacks.finalize (*this);
}

void AudioProcessingTap::prepare (int64_t frames, const AudioStreamFormat& format)
{
    unprepare();
    preparedFormat = format;
    maxFrames = frames;
    prepared = true;

    if (callbacks.prepare != nullptr)
        callbacks.prepare (*this, frames, format);
}

void AudioProcessingTap::unprepare()
{
    if (!prepared)
        return;

    prepared = false;

    if (callbacks.unprepare != nullptr)
        callbacks.unprepare (*this);
}

int64_t AudioProcessingTap::process (int64_t numberFrames, TapBufferList& bufferList, Source& source, uint32_t flags)
{
    jassert (prepared && numberFrames <= maxFrames);

    currentSource = &source;
    currentFrames = numberFrames;
    int64_t produced = 0;
    uint32_t flagsOut = 0;
    callbacks.process (*this, numberFrames, flags, bufferList, &produced, &flagsOut);
    currentSource = nullptr;
    currentFrames = 0;

    return juce::jlimit<int64_t> (0, numberFrames, produced);
}

int AudioProcessingTap::getSourceAudio (int64_t numberFrames, TapBufferList& bufferList, uint32_t* flagsOut,
                                        MediaTimeRange* timeRangeOut, int64_t* numberFramesOut)
{
    if (numberFramesOut != nullptr)
        *numberFramesOut = 0;

    if (currentSource == nullptr || numberFrames < 0 || numberFrames > currentFrames
        || bufferList.numberBuffers != preparedFormat.channelsPerFrame)
        return -1;

    for (int i = 0; i < bufferList.numberBuffers; ++i)
        if (bufferList.buffers[i].data == nullptr
            || bufferList.buffers[i].dataByteSize < (uint32_t) (numberFrames * (int64_t) sizeof (float)))
            return -1;

    MediaTimeRange range;
    const auto frames = currentSource->pullAudio (bufferList, numberFrames, range);

    if (flagsOut != nullptr)
        *flagsOut = frames < numberFrames ? 1u : 0u; // 1: the source ended inside this block

    if (timeRangeOut != nullptr)
        *timeRangeOut = range;

    if (numberFramesOut != nullptr)
        *numberFramesOut = numberFrames;

    return 0;
}

} // namespace tavlin::media
