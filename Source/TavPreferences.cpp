#include "TavPreferences.h"

#include <cstdlib>

namespace
{
const char* const recordChannelsKey = "Record Channels";
const char* const recordBitsKey = "Record Bits";
const char* const helpTipsKey = "Help Tips";
const char* const analyzeKey = "Analyze";
const char* const audioConfigurationKey = "Audio Configuration";
const char* const firstLaunchKey = "First Launch";

juce::PropertiesFile::Options storageOptions (const juce::File& folder)
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Tavlin 5";
    options.filenameSuffix = ".prefs";
    // An absolute folder name places the file there instead of the framework's own choice.
    options.folderName = folder.getFullPathName();
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.millisecondsBeforeSaving = 3000;
    return options;
}

/** True for a decimal integer, optionally negative, with optional surrounding blanks. */
bool isIntegerText (const juce::String& text)
{
    auto t = text.trim();

    if (t.startsWithChar ('-'))
        t = t.substring (1);

    return t.isNotEmpty() && t.length() <= 9 && t.containsOnly ("0123456789");
}
} // namespace

TavPreferences::TavPreferences() : TavPreferences (getDefaultFolder()) {}

TavPreferences::TavPreferences (const juce::File& folder) : properties (std::make_unique<juce::ApplicationProperties>())
{
    properties->setStorageParameters (storageOptions (folder));
    settings = properties->getUserSettings();
}

TavPreferences::~TavPreferences()
{
    settings = nullptr;
    properties.reset(); // writes any pending change
}

juce::File TavPreferences::getDefaultFolder()
{
    if (auto* configHome = std::getenv ("XDG_CONFIG_HOME"))
    {
        auto path = juce::String::fromUTF8 (configHome);

        if (juce::File::isAbsolutePath (path))
            return juce::File (path);
    }

    return juce::File ("~/.config");
}

juce::File TavPreferences::getFile() const
{
    return settings != nullptr ? settings->getFile() : juce::File();
}

void TavPreferences::setRecordChannels (int channels)
{
    if (settings != nullptr)
        settings->setValue (recordChannelsKey, channels);
}

int TavPreferences::getRecordChannels() const
{
    return getChoice (recordChannelsKey, { 1, 2 }, 1);
}

void TavPreferences::setRecordBits (int bits)
{
    if (settings != nullptr)
        settings->setValue (recordBitsKey, bits);
}

int TavPreferences::getRecordBits() const
{
    return getChoice (recordBitsKey, { 16, 24, 32 }, 16);
}

void TavPreferences::setHelpTips (bool shouldShow)
{
    if (settings != nullptr)
        settings->setValue (helpTipsKey, shouldShow);
}

bool TavPreferences::getHelpTips() const
{
    return getFlag (helpTipsKey);
}

void TavPreferences::setAnalyze (bool shouldAnalyze)
{
    if (settings != nullptr)
        settings->setValue (analyzeKey, shouldAnalyze);
}

bool TavPreferences::getAnalyze() const
{
    return getFlag (analyzeKey);
}

void TavPreferences::setFirstLaunch (bool isFirst)
{
    if (settings != nullptr)
        settings->setValue (firstLaunchKey, isFirst);
}

bool TavPreferences::getFirstLaunch() const
{
    return getFlag (firstLaunchKey);
}

void TavPreferences::setAudioConfiguration (juce::AudioDeviceManager& deviceManager)
{
    if (settings == nullptr)
        return;

    if (auto state = deviceManager.createStateXml())
        settings->setValue (audioConfigurationKey, state.get());
}

std::unique_ptr<juce::XmlElement> TavPreferences::getAudioConfiguration() const
{
    if (settings == nullptr || !settings->containsKey (audioConfigurationKey))
        return {};

    return settings->getXmlValue (audioConfigurationKey);
}

int TavPreferences::getChoice (const char* key, std::initializer_list<int> allowed, int fallback) const
{
    if (settings == nullptr || !settings->containsKey (key))
        return fallback;

    auto text = settings->getValue (key);

    if (!isIntegerText (text))
        return fallback;

    auto value = text.trim().getIntValue();

    for (auto choice : allowed)
        if (value == choice)
            return value;

    return fallback;
}

bool TavPreferences::getFlag (const char* key) const
{
    if (settings == nullptr || !settings->containsKey (key))
        return true;

    return settings->getValue (key).getIntValue() != 0;
}
