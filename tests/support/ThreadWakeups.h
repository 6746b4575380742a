#pragma once

#include <juce_core/juce_core.h>

#include <map>

namespace tavlin::test
{

/** How often this process's threads have gone to sleep, by thread: the voluntary context switches the
    kernel counts in /proc/self/task. A thread that waits in a loop adds one every time round; one that sleeps
    until it is woken adds none while nothing wakes it. Unlike a CPU figure, a loaded machine does not move it.
*/
class ThreadWakeups
{
public:
    struct Thread
    {
        juce::String name;
        long long sleeps = 0;
    };

    /** The threads running now, by their id. */
    using Snapshot = std::map<juce::String, Thread>;

    static Snapshot take()
    {
        Snapshot threads;

        for (const auto& entry :
             juce::RangedDirectoryIterator (juce::File ("/proc/self/task"), false, "*", juce::File::findDirectories))
        {
            const auto folder = entry.getFile();
            const auto status = juce::StringArray::fromLines (folder.getChildFile ("status").loadFileAsString());

            for (const auto& line : status)
                if (line.startsWith ("voluntary_ctxt_switches:"))
                    threads[folder.getFileName()] = {
                        folder.getChildFile ("comm").loadFileAsString().trim(),
                        line.fromFirstOccurrenceOf (":", false, false).trim().getLargeIntValue()
                    };
        }

        return threads;
    }

    /** The sleeps since before, summed over the threads of each name (threads started since count whole). */
    static std::map<juce::String, long long> since (const Snapshot& before)
    {
        std::map<juce::String, long long> byName;

        for (const auto& [id, thread] : take())
        {
            const auto earlier = before.find (id);
            byName[thread.name] += thread.sleeps - (earlier != before.end() ? earlier->second.sleeps : 0);
        }

        return byName;
    }

    /** The sleeps of the threads of this name since before (0 when none runs). */
    static long long of (const std::map<juce::String, long long>& counts, const juce::String& name)
    {
        const auto found = counts.find (name);
        return found != counts.end() ? found->second : 0;
    }

    /** One line per thread name: "name: sleeps, ...". */
    static juce::String describe (const std::map<juce::String, long long>& counts)
    {
        juce::StringArray parts;

        for (const auto& [name, sleeps] : counts)
            parts.add (name + ": " + juce::String (sleeps));

        return parts.joinIntoString (", ");
    }
};

} // namespace tavlin::test
