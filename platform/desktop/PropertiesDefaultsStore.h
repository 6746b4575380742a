#pragma once

#include "DefaultsStore.h"

#include <juce_data_structures/juce_data_structures.h>

namespace tavlin::desktop
{

/** DefaultsStore in an XML properties file; dates are kept as ISO 8601 text with milliseconds. */
class PropertiesDefaultsStore : public DefaultsStore
{
public:
    /** "Tavlin Defaults.xml" in $XDG_CONFIG_HOME, or in ~/.config when that is not an absolute path. */
    PropertiesDefaultsStore();

    /** Keeps the values in the given file; its folder is created when the file is first written. */
    explicit PropertiesDefaultsStore (const juce::File& file);

    static juce::File getDefaultFile();

    std::optional<juce::Time> getDate (const juce::String& key) const override;
    void setDate (const juce::String& key, std::optional<juce::Time> value) override;
    juce::String getString (const juce::String& key) const override;
    void setString (const juce::String& key, const juce::String& value) override;
    juce::int64 getInteger (const juce::String& key) const override;
    void setInteger (const juce::String& key, juce::int64 value) override;
    void remove (const juce::String& key) override;
    void synchronise() override;

private:
    juce::PropertiesFile properties;
};

} // namespace tavlin::desktop
