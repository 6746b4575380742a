#include "AudioChunkQueue.h"

#include <algorithm>

namespace tavlin::media
{

AudioChunkQueue::AudioChunkQueue (int numChannels, int framesPerChunk, int numChunks)
    : chunks ((size_t) numChunks), batch ((size_t) std::max (1, numChunks / 2))
{
    for (auto& c : chunks)
    {
        c.audio.setSize (numChannels, framesPerChunk);
        free.chunks.push_back (&c);
    }
}

AudioChunkQueue::Chunk* AudioChunkQueue::take (Side& from, bool afterClosing)
{
    std::unique_lock<std::mutex> hold (lock);

    if (from.chunks.empty() && !closed)
    {
        from.waiting = true;
        from.ready.wait (hold, [&] { return closed || from.chunks.size() >= batch; });
        from.waiting = false;
    }

    if (from.chunks.empty() || (closed && !afterClosing))
        return nullptr;

    auto* chunk = from.chunks.front();
    from.chunks.pop_front();
    return chunk;
}

void AudioChunkQueue::put (Side& to, Chunk* chunk)
{
    bool wake = false;

    {
        const std::lock_guard<std::mutex> hold (lock);
        to.chunks.push_back (chunk);
        wake = to.waiting && to.chunks.size() >= batch;
    }

    if (wake)
        to.ready.notify_one();
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

    free.ready.notify_all();
    filled.ready.notify_all();
}

} // namespace tavlin::media
