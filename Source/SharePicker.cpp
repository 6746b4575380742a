#include "SharePicker.h"

#include <memory>

namespace
{
bool startDetached (const juce::StringArray& arguments)
{
    // The program lives on after the menu: deleting the child object neither waits for it nor stops it.
    juce::ChildProcess process;
    return process.start (arguments, 0);
}
} // namespace

juce::File SharePicker::findProgram (const juce::String& name)
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/local/bin:/usr/bin:/bin");

    for (const auto& folder : juce::StringArray::fromTokens (path, ":", {}))
    {
        if (folder.isEmpty())
            continue;

        auto candidate = juce::File (folder).getChildFile (name);

        if (candidate.existsAsFile() && candidate.hasReadAccess())
            return candidate;
    }

    return {};
}

std::vector<SharePicker::Service> SharePicker::availableServices()
{
    std::vector<Service> services;
    const auto email = findProgram ("xdg-email");
    const auto open = findProgram ("xdg-open");

    if (email != juce::File())
        services.push_back ({ emailTitle, [email] (const juce::File& file) {
                                 return startDetached ({ email.getFullPathName(), "--attach", file.getFullPathName() });
                             } });

    if (open != juce::File())
        services.push_back (
            { showInFolderTitle, [open] (const juce::File& file) {
                 return startDetached ({ open.getFullPathName(), file.getParentDirectory().getFullPathName() });
             } });

    return services;
}

void SharePicker::show (juce::Component* sender, Chosen chosen)
{
    auto services = std::make_shared<std::vector<Service>> (availableServices());
    juce::PopupMenu menu;

    if (services->empty())
        menu.addItem (-1, "No sharing services are available", false, false);

    for (size_t i = 0; i < services->size(); ++i)
        menu.addItem ((int) i + 1, (*services)[i].title);

    auto options = juce::PopupMenu::Options();

    if (sender != nullptr)
        options = options.withTargetComponent (sender);

    menu.showMenuAsync (options,
                        [services, chosen = std::move (chosen)] (int result)
                        {
                            if (chosen == nullptr)
                                return;

                            if (result >= 1 && result <= (int) services->size())
                                chosen (&(*services)[(size_t) result - 1]);
                            else
                                chosen (nullptr);
                        });
}
