#pragma once

#include "ShareService.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

/** The list of what this machine can do with a shared file: send it as an e-mail attachment, or show it
    in the file manager. Only services whose program is installed are offered.
*/
class SharePicker
{
public:
    using Service = ShareService;

    /** Called with the chosen service, or with null when the picker was dismissed. */
    using Chosen = ShareChosen;

    /** The services this machine offers, in menu order. */
    static std::vector<Service> availableServices();

    /** Shows the services in a menu under sender and reports the choice later, on the message thread. */
    static void show (juce::Component* sender, Chosen chosen);

    /** The program of that name on the search path, or an empty File. */
    static juce::File findProgram (const juce::String& name);

    static inline const juce::String emailTitle { "Email" };
    static inline const juce::String showInFolderTitle { "Show in File Manager" };
};
