#pragma once

#include <juce_core/juce_core.h>

/** What the media view and the transport bar ask of the application: whether a long operation runs, the
    close gate and the opening of a dropped file, and the learn pass from the noise-selection marker.
    Message thread only.
*/
class MediaViewHost
{
public:
    virtual ~MediaViewHost() = default;

    /** False while a long operation shows its progress. */
    virtual bool isIdle() const = 0;

    /** The close gate: ok when the media may go (or there is none). */
    virtual juce::Result closeMediaDocument() = 0;

    virtual juce::Result openMediaFile (const juce::File& file, bool showErrors) = 0;

    /** Learns the noise profile from the processor's learn region. */
    virtual void analyzeSelection() = 0;
};
