#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace tavlin::media
{

/**
    Hands blocks of sound from one thread to another through a fixed set of buffers, so that rendering and
    encoding can run at the same time without allocating. The producer fills a chunk from acquire() and
    passes it on with submit(); the consumer takes it with next() and gives it back with release(). Either
    side ends the exchange with close(): acquire() then returns null, next() once the filled chunks are used up.

    A side that finds nothing to take sleeps until half the chunks are there for it, so that two threads
    sharing one core take turns a batch at a time rather than a chunk at a time.
*/
class AudioChunkQueue
{
public:
    struct Chunk
    {
        juce::AudioBuffer<float> audio;
        int start = 0; // the first frame that counts
        int frames = 0; // frames from start
        double endSeconds = 0.0; // where the chunk ends on the timeline
    };

    AudioChunkQueue (int numChannels, int framesPerChunk, int numChunks);

    /** A free chunk, waiting while all are in use; null once closed. */
    Chunk* acquire();
    void submit (Chunk* chunk);

    /** The next filled chunk, waiting for one; null once closed and every filled chunk was taken. */
    Chunk* next();
    void release (Chunk* chunk);

    void close();

private:
    struct Side
    {
        std::deque<Chunk*> chunks;
        std::condition_variable ready;
        bool waiting = false;
    };

    Chunk* take (Side& from, bool afterClosing);
    void put (Side& to, Chunk* chunk);

    std::vector<Chunk> chunks;
    Side free, filled;
    size_t batch = 1;
    std::mutex lock;
    bool closed = false;

    JUCE_DECLARE_NON_COPYABLE (AudioChunkQueue)
};

} // namespace tavlin::media
