#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace tavlin::test
{

/** A file stream that takes so many bytes and then holds the next write until released, as storage that
    stops answering: a hung network share, a disk that went away. Released, it writes on as if nothing
    had happened.
*/
class StallingOutputStream : public juce::OutputStream
{
public:
    StallingOutputStream (const juce::File& file, size_t bytesBeforeStall, std::shared_ptr<juce::WaitableEvent> release)
        : target (file), room (bytesBeforeStall), released (std::move (release))
    {
    }

    bool write (const void* data, size_t bytes) override
    {
        if (bytes > room)
            released->wait();
        else
            room -= bytes;

        return target.write (data, bytes);
    }

    void flush() override { target.flush(); }
    bool setPosition (juce::int64 position) override { return target.setPosition (position); }
    juce::int64 getPosition() override { return target.getPosition(); }

private:
    juce::FileOutputStream target;
    size_t room;
    std::shared_ptr<juce::WaitableEvent> released;
};

} // namespace tavlin::test
