#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** Something the machine can do with a shared file (send it as an attachment, show it in the file manager). */
struct ShareService
{
    juce::String title;

    /** Hands the file to the service; false when it could not be started. */
    std::function<bool (const juce::File& file)> perform;
};

/** Called with the chosen service, or with null when the picker was dismissed. */
using ShareChosen = std::function<void (const ShareService* service)>;
