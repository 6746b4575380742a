#include "InstanceForwarder.h"

#include "TemporaryFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
constexpr juce::uint32 messageMagic = 0x7461766c; // "tavl"
constexpr char messageTag = 'L'; // leads every message, so an empty command line still arrives
constexpr int connectRetryMs = 50;
} // namespace

InstanceForwarder::InstanceForwarder (const juce::File& folderToUse, Receiver receiverToUse)
    : juce::InterprocessConnection (true, messageMagic), folder (folderToUse), receiver (std::move (receiverToUse))
{
}

InstanceForwarder::~InstanceForwarder()
{
    disconnect();

    if (lockHandle >= 0)
        close (lockHandle); // releases the lock
}

juce::File InstanceForwarder::getDefaultFolder()
{
    auto runtime = juce::SystemStats::getEnvironmentVariable ("XDG_RUNTIME_DIR", {});

    if (juce::File::isAbsolutePath (runtime) && juce::File (runtime).isDirectory())
        return juce::File (runtime);

    return TemporaryFiles::getFolder();
}

juce::File InstanceForwarder::getLockFile (const juce::File& folder)
{
    return folder.getChildFile ("tavlin.lock");
}

juce::File InstanceForwarder::getPipe (const juce::File& folder)
{
    return folder.getChildFile ("tavlin.instance");
}

bool InstanceForwarder::claim()
{
    if (lockHandle >= 0 || folder.getFullPathName().isEmpty())
        return true; // already claimed, or nowhere to meet other launches: run alone

    auto handle = open (getLockFile (folder).getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    if (handle < 0)
        return true;

    if (flock (handle, LOCK_EX | LOCK_NB) != 0)
    {
        close (handle);
        return false;
    }

    lockHandle = handle;

    // A pipe left behind by an instance that crashed is taken over.
    createPipe (getPipe (folder).getFullPathName(), -1, false);
    return true;
}

bool InstanceForwarder::send (const juce::File& folder, const juce::String& commandLine, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);
    juce::MemoryBlock message;
    message.append (&messageTag, 1);
    message.append (commandLine.toRawUTF8(), commandLine.getNumBytesAsUTF8());

    for (;;)
    {
        auto remainingMs = (int) (deadline - juce::jmin (deadline, juce::Time::getMillisecondCounter()));
        InstanceForwarder sender (folder, nullptr);

        if (sender.connectToPipe (getPipe (folder).getFullPathName(), juce::jmax (connectRetryMs, remainingMs))
            && sender.sendMessage (message))
            return true;

        // The running instance may still be starting: its pipe appears right after its lock.
        if (juce::Time::getMillisecondCounter() >= deadline)
            return false;

        juce::Thread::sleep (connectRetryMs);
    }
}

void InstanceForwarder::messageReceived (const juce::MemoryBlock& message)
{
    if (receiver == nullptr || message.getSize() == 0 || message[0] != messageTag)
        return;

    receiver (juce::String::fromUTF8 (static_cast<const char*> (message.getData()) + 1, (int) message.getSize() - 1));
}
