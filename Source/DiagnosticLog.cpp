#include "DiagnosticLog.h"

DiagnosticLog::DiagnosticLog()
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("TAVLIN_LOG", {});

    if (!juce::File::isAbsolutePath (path))
        return;

    // As the framework's file logger starts a log: the file cut to its last 128 kB, then a heading.
    file = juce::File (path);
    juce::FileLogger::trimFileSize (file, 128 * 1024);

    if (!file.exists())
        file.create();

    append (juce::String (juce::newLine) + "**********************************************************" + juce::newLine
            + "Tavlin diagnostics" + juce::newLine
            + "Log started: " + juce::Time::getCurrentTime().toString (true, true) + juce::newLine);
}

DiagnosticLog::~DiagnosticLog() = default;

juce::File DiagnosticLog::getFile() const
{
    return file;
}

void DiagnosticLog::logMessage (const juce::String& message)
{
    if (file != juce::File())
        append (message);
}

void DiagnosticLog::append (const juce::String& text)
{
    const juce::ScopedLock locked (lock);
    juce::FileOutputStream out (file, 256);
    out << text << juce::newLine;
}

DiagnosticLog::Installed::Installed()
    : log (std::make_unique<DiagnosticLog>()), previous (juce::Logger::getCurrentLogger())
{
    juce::Logger::setCurrentLogger (log.get());
}

DiagnosticLog::Installed::~Installed()
{
    if (juce::Logger::getCurrentLogger() == log.get())
        juce::Logger::setCurrentLogger (previous);
}
