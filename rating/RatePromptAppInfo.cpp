#include "RatePromptAppInfo.h"

#include "TavlinAddresses.h"

#include <juce_events/juce_events.h>

namespace
{
juce::String toLanguageTag (const juce::String& localeName)
{
    const auto tag = localeName.upToFirstOccurrenceOf (".", false, false)
                         .upToFirstOccurrenceOf ("@", false, false)
                         .replaceCharacter ('_', '-')
                         .trim();
    return tag == "C" || tag == "POSIX" ? juce::String() : tag;
}
} // namespace

juce::StringArray RatePromptAppInfo::languagesFromEnvironment (const juce::String& language, const juce::String& lcAll,
                                                               const juce::String& lcMessages, const juce::String& lang)
{
    juce::StringArray result;
    const auto locale = lcAll.isNotEmpty() ? lcAll : lcMessages.isNotEmpty() ? lcMessages : lang;

    // The list in LANGUAGE only counts when a locale is set at all, as the C library has it.
    if (language.isNotEmpty() && toLanguageTag (locale).isNotEmpty())
        for (const auto& entry : juce::StringArray::fromTokens (language, ":", ""))
            result.addIfNotAlreadyThere (toLanguageTag (entry));

    if (result.isEmpty())
        result.add (toLanguageTag (locale));

    result.removeEmptyStrings();
    return result;
}

RatePromptAppInfo RatePromptAppInfo::fromSystem()
{
    RatePromptAppInfo info;

    if (auto* app = juce::JUCEApplicationBase::getInstance())
    {
        info.applicationName = app->getApplicationName();
        info.applicationVersion = app->getApplicationVersion();
    }

    if (info.applicationName.isEmpty())
        info.applicationName = JUCE_APPLICATION_NAME_STRING;

    if (info.applicationVersion.isEmpty())
        info.applicationVersion = JUCE_APPLICATION_VERSION_STRING;

    info.applicationBundleID = TavlinAddresses::applicationIdentifier;
    info.storeLookup = TavlinAddresses::storeLookup;
    info.storeRatingsPage = TavlinAddresses::storeRatingsPage;
    info.localeCountry = juce::SystemStats::getUserRegion();

    const auto env = [] (const char* name) { return juce::SystemStats::getEnvironmentVariable (name, {}); };
    info.preferredLanguages =
        languagesFromEnvironment (env ("LANGUAGE"), env ("LC_ALL"), env ("LC_MESSAGES"), env ("LANG"));

    info.textFolder = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                          .getParentDirectory()
                          .getChildFile ("RatePrompt");
    return info;
}
