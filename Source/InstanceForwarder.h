#pragma once

#include <juce_events/juce_events.h>

#include <functional>

/** Keeps one running instance per user and hands a later launch's command line to it.

    The first launch takes a lock in the user's runtime folder ($XDG_RUNTIME_DIR, else the program's private
    temporary folder) and listens on a named pipe beside it. The lock is a flock on an open file, so it goes
    with the process, however that ends, and two claims conflict even inside one process. A later launch finds the lock taken, writes its
    command line into the pipe and ends. The receiver runs on the message thread.
*/
class InstanceForwarder : private juce::InterprocessConnection
{
public:
    using Receiver = std::function<void (const juce::String& commandLine)>;

    /** Uses the lock and pipe in folder; nothing is taken or opened until claim(). */
    InstanceForwarder (const juce::File& folder, Receiver receiver);
    ~InstanceForwarder() override;

    InstanceForwarder (const InstanceForwarder&) = delete;
    InstanceForwarder& operator= (const InstanceForwarder&) = delete;

    /** $XDG_RUNTIME_DIR when it names a folder, else the program's private temporary folder. */
    static juce::File getDefaultFolder();

    /** Takes the lock and starts listening; false when another instance holds the lock (or the pipe could
        not be made, in which case this instance runs on its own).
    */
    bool claim();

    /** True once claim() has taken the lock. */
    bool isFirstInstance() const noexcept { return lockHandle >= 0; }

    /** Writes the command line to the running instance's pipe, waiting at most timeoutMs for it to listen.
        True when it was delivered.
    */
    static bool send (const juce::File& folder, const juce::String& commandLine, int timeoutMs);

private:
    static juce::File getLockFile (const juce::File& folder);
    static juce::File getPipe (const juce::File& folder);

    void connectionMade() override {}
    void connectionLost() override {}
    void messageReceived (const juce::MemoryBlock& message) override;

    juce::File folder;
    Receiver receiver;
    int lockHandle = -1; // an open, exclusively locked lock file while this is the first instance
};
