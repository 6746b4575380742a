#include "PropertiesDefaultsStore.h"

namespace tavlin::desktop
{

namespace
{
juce::PropertiesFile::Options storeOptions()
{
    juce::PropertiesFile::Options options;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.millisecondsBeforeSaving = -1; // written by synchronise() only
    return options;
}
} // namespace

PropertiesDefaultsStore::PropertiesDefaultsStore() : PropertiesDefaultsStore (getDefaultFile()) {}

PropertiesDefaultsStore::PropertiesDefaultsStore (const juce::File& file) : properties (file, storeOptions()) {}

juce::File PropertiesDefaultsStore::getDefaultFile()
{
    const auto configHome = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});
    const auto folder = juce::File::isAbsolutePath (configHome)
                            ? juce::File (configHome)
                            : juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (".config");
    return folder.getChildFile ("Tavlin Defaults.xml");
}

std::optional<juce::Time> PropertiesDefaultsStore::getDate (const juce::String& key) const
{
    const auto text = properties.getValue (key);

    if (text.isEmpty())
        return std::nullopt;

    const auto time = juce::Time::fromISO8601 (text);

    // fromISO8601 answers the epoch for text it cannot read.
    if (time == juce::Time() && !text.startsWith ("1970"))
        return std::nullopt;

    return time;
}

void PropertiesDefaultsStore::setDate (const juce::String& key, std::optional<juce::Time> value)
{
    if (value.has_value())
        properties.setValue (key, value->toISO8601 (true));
    else
        properties.removeValue (key);
}

juce::String PropertiesDefaultsStore::getString (const juce::String& key) const
{
    return properties.getValue (key);
}

void PropertiesDefaultsStore::setString (const juce::String& key, const juce::String& value)
{
    if (value.isNotEmpty())
        properties.setValue (key, value);
    else
        properties.removeValue (key);
}

juce::int64 PropertiesDefaultsStore::getInteger (const juce::String& key) const
{
    return properties.getValue (key).getLargeIntValue();
}

void PropertiesDefaultsStore::setInteger (const juce::String& key, juce::int64 value)
{
    properties.setValue (key, juce::String (value));
}

void PropertiesDefaultsStore::remove (const juce::String& key)
{
    properties.removeValue (key);
}

void PropertiesDefaultsStore::synchronise()
{
    properties.saveIfNeeded();
}

} // namespace tavlin::desktop
