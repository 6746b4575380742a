#pragma once

#include <juce_core/juce_core.h>

namespace tavlin::test
{

/** A file stream that takes only so many bytes, as a disk that fills up: every write past them fails. With
    rewritesFail, what is written after going back (as writers do to complete a header at the end) fails too.
*/
class FailingOutputStream : public juce::OutputStream
{
public:
    FailingOutputStream (const juce::File& file, size_t bytesThatFit, bool rewritesFail = false)
        : target (file), room (bytesThatFit), failRewrites (rewritesFail)
    {
    }

    bool write (const void* data, size_t bytes) override
    {
        if (bytes > room || rewriting)
        {
            room = 0;
            return false;
        }

        room -= bytes;
        return target.write (data, bytes);
    }

    void flush() override { target.flush(); }
    bool setPosition (juce::int64 position) override
    {
        rewriting = rewriting || (failRewrites && position < target.getPosition());
        return target.setPosition (position);
    }

    juce::int64 getPosition() override { return target.getPosition(); }

private:
    juce::FileOutputStream target;
    size_t room;
    bool failRewrites, rewriting = false;
};

} // namespace tavlin::test
