#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** The program's diagnostic lines (export states, the rating prompt's failures...): the framework's logger,
    silent unless the environment variable TAVLIN_LOG names a file, to which the lines are then appended.
    Nothing goes to the standard output or error.
*/
class DiagnosticLog : public juce::Logger
{
public:
    /** Reads TAVLIN_LOG once. */
    DiagnosticLog();
    ~DiagnosticLog() override;

    /** Where the lines go; an empty file when they go nowhere. */
    juce::File getFile() const;

    /** Makes a log the framework's current logger for its lifetime, and puts the previous one back after. */
    class Installed
    {
    public:
        Installed();
        ~Installed();

        DiagnosticLog& getLog() noexcept { return *log; }

    private:
        std::unique_ptr<DiagnosticLog> log;
        juce::Logger* previous;

        JUCE_DECLARE_NON_COPYABLE (Installed)
    };

protected:
    void logMessage (const juce::String& message) override;

private:
    // Written here rather than through juce::FileLogger, which also prints every line in a Debug build.
    void append (const juce::String& text);

    juce::File file;
    juce::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE (DiagnosticLog)
};
