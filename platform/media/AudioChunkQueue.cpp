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

AudioChunkQueue::Chunk* AudioChunkQueue::take (std::deque<Chunk*>& from, bool afterClosing)
{
    std::unique_lock<std::mutex> hold (lock);
    changed.wait (hold, [&] { return closed || !from.empty(); });

    if (from.empty() || (closed && !afterClosing))
        return nullptr;

    auto* chunk = from.front();
    from.pop_front();
    return chunk;
}

void AudioChunkQueue::put (std::deque<Chunk*>& to, Chunk* chunk)
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        to.push_back (chunk);
    }

    changed.notify_all();
}

AudioChunkQueue::Chunk* AudioChunkQueue::acquire()
{
    return take (free, false);
}

void AudioChunkQueue::submit (Chunk* chunk)
{
    put (filled, chunk);
}

AudioChunkQueue::Chunk* AudioChunkQueue::next()
{
    return take (filled, true);
}

void AudioChunkQueue::release (Chunk* chunk)
{
    put (free, chunk);
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
