#pragma once

#include "BatchProcessor.h"

#include <functional>

class MediaSession;
class TavAudioProcessor;
class TavlinDocument;

/** A batch run's host in the running application: the media document opens and saves each file, the
    processor takes the run's settings, the framework gives the message loop, the clock and the Escape key.
*/
class ApplicationBatchHost : public BatchProcessor::Host
{
public:
    /** The document opens and saves in session; settings is a state blob of the processor, kept for the
        whole run. isStopRequested (when given) stops the run after the file at hand, as Escape does.
    */
    ApplicationBatchHost (TavlinDocument& document, MediaSession& session, TavAudioProcessor& processor,
                          const juce::MemoryBlock& settings, std::function<bool()> isStopRequested = {});

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
    TavlinDocument& document;
    MediaSession& session;
    TavAudioProcessor& processor;
    const juce::MemoryBlock& settings;
    std::function<bool()> isStopRequested;

    JUCE_DECLARE_NON_COPYABLE (ApplicationBatchHost)
};
