#pragma once

#include "BatchProcessor.h"

class TavlinApplication;

/** A batch run's host in the running application: the media document opens and saves each file, the
    processor takes the run's settings, the framework gives the message loop, the clock and the Escape key.
*/
class ApplicationBatchHost : public BatchProcessor::Host
{
public:
    /** settings is a state blob of the processor, kept for the whole run. */
    ApplicationBatchHost (TavlinApplication& app, const juce::MemoryBlock& settings);

    bool loadMedia (const juce::File& file) override;
    bool isReadyToExport() override;
    juce::String getPreparationFailure() override;
    void applySettings() override;
    juce::File getSavedFile (const juce::File& destination) override;
    bool saveMedia (const juce::File& destination) override;
    bool isCancelKeyDown() override;
    void runMessageLoop (int ms) override;
    double getMillisecondCounter() override;

private:
    TavlinApplication& app;
    const juce::MemoryBlock& settings;

    JUCE_DECLARE_NON_COPYABLE (ApplicationBatchHost)
};
