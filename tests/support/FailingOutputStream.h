#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::test
{

/** A file stream that takes only so many bytes, as a disk that fills up: every write past them fails. With
    rewritesFail, what is written after going back (as writers do to complete a header at the end) fails too.
    The position moves on over failed writes as over the others, as a buffered file stream's does until it
    flushes: writers that check where a header ended find it where they wrote it.
*/
class FailingOutputStream : public juce::OutputStream
{
public:
    FailingOutputStream (const juce::File& file, size_t bytesThatFit, bool rewritesFail = false)
        : target (file), room (bytesThatFit), position (target.getPosition()), failRewrites (rewritesFail)
    {
    }

    bool write (const void* data, size_t bytes) override
    {
        position += (juce::int64) bytes;

        if (bytes > room || rewriting)
        {
            room = 0;
            return false;
        }

        room -= bytes;
        return target.setPosition (position - (juce::int64) bytes) && target.write (data, bytes);
    }

    void flush() override { target.flush(); }
    bool setPosition (juce::int64 newPosition) override
    {
        rewriting = rewriting || (failRewrites && newPosition < position);
        position = newPosition;
        return true;
    }

    juce::int64 getPosition() override { return position; }

private:
    juce::FileOutputStream target;
    size_t room;
    juce::int64 position;
    bool failRewrites, rewriting = false;
};

} // namespace tavlin::test
