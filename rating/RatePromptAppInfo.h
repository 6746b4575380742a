#pragma once

#include <juce_core/juce_core.h>

/** What the rating prompt reads about the application and the user's locale when it is created. */
struct RatePromptAppInfo
{
    juce::String applicationName;
    juce::String applicationVersion;
    juce::String applicationBundleID;
    /** The locale's country code, such as "DE"; may be empty. */
    juce::String localeCountry;
    /** Most preferred first, as "de-AT" or "de". */
    juce::StringArray preferredLanguages;
    /** Folder of the optional translation files. */
    juce::File textFolder;
    /** The store's lookup service and the start of its ratings page address; empty when the build names none,
        and then the prompt makes no lookup and opens no page.
    */
    juce::String storeLookup, storeRatingsPage;

    /** The running application's name and version, the locale of the environment, the folder "RatePrompt"
        beside the executable and the store addresses of this build.
    */
    static RatePromptAppInfo fromSystem();

    /** Languages named by $LANGUAGE (a colon-separated list), else by LC_ALL, LC_MESSAGES or LANG, with
        encodings and modifiers dropped ("de_AT.UTF-8@euro" gives "de-AT"); "C" and "POSIX" name none.
    */
    static juce::StringArray languagesFromEnvironment (const juce::String& language, const juce::String& lcAll,
                                                       const juce::String& lcMessages, const juce::String& lang);
};
