#include "DiagnosticLog.h"

DiagnosticLog::DiagnosticLog()
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("TAVLIN_LOG", {});

    if (juce::File::isAbsolutePath (path))
        file = std::make_unique<juce::FileLogger> (juce::File (path), "Tavlin diagnostics");
}

DiagnosticLog::~DiagnosticLog() = default;

juce::File DiagnosticLog::getFile() const
{
    return file != nullptr ? file->getLogFile() : juce::File();
}

void DiagnosticLog::logMessage (const juce::String& message)
{
    if (file != nullptr)
        file->logMessage (message);
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
