#include "AudioChunkQueue.h"

namespace tavlin::media
{

AudioChunkQueue::AudioChunkQueue (int numChannels, int framesPerChunk, int numChunks) : chunks ((size_t) numChunks)
{
    for (auto& c : chunks)
    {
        c.audio.setSize (numChannels, framesPerChunk);
        free.push_back (&c);
    }
}

AudioChunkQueue::Chunk* AudioChunkQueue::acquire()
{
    std::unique_lock<std::mutex> hold (lock);
    changed.wait (hold, [this] { return closed || !free.empty(); });

    if (closed)
        return nullptr;

    auto* chunk = free.front();
    free.pop_front();
    return chunk;
}

void AudioChunkQueue::submit (Chunk* chunk)
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        filled.push_back (chunk);
    }

    changed.notify_all();
}

AudioChunkQueue::Chunk* AudioChunkQueue::next()
{
    std::unique_lock<std::mutex> hold (lock);
    changed.wait (hold, [this] { return closed || !filled.empty(); });

    if (filled.empty())
        return nullptr;

    auto* chunk = filled.front();
    filled.pop_front();
    return chunk;
}

void AudioChunkQueue::release (Chunk* chunk)
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        free.push_back (chunk);
    }

    changed.notify_all();
}

void AudioChunkQueue::close()
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        closed = true;
    }

    changed.notify_all();
}

} // namespace tavlin::media
