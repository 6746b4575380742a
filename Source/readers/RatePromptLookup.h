#pragma once

#include "desktop/HttpResponse.h"

#include <optional>

/** The store lookup without its thread: the address to ask and the reading of the answer. */
struct RatePromptLookup
{
    /** What the lookup needs to know, copied on the message thread before it starts. */
    struct Request
    {
        juce::String country;
        juce::String bundleID;
        juce::String installedVersion;
        /** The prompt's own store id (not the stored one); 0 when unknown. */
        juce::uint64 ownStoreID = 0;
        bool genreKnown = false;
        bool onlyPromptIfLatestVersion = true;
        bool previewMode = false;
    };

    /** What the answer gave: values to take over, and the error that ends the lookup, if any. */
    struct Outcome
    {
        std::optional<tavlin::desktop::RequestError> error;
        /** The store's "trackId", when the prompt did not know its own store id. */
        std::optional<juce::String> storeID;
        /** The store's "primaryGenreId", when the prompt had no genre. */
        std::optional<juce::uint64> genreID;
    };

    static constexpr const char* errorDomain = "RatePromptErrorDomain";
    static constexpr const char* httpErrorDomain = "HTTPResponseErrorDomain";
    static constexpr const char* jsonErrorDomain = "JSONErrorDomain";

    /** The country part of the address for a locale's country code: "150" becomes "eu", anything that is not
        two ASCII letters becomes "us".
    */
    static juce::String countryForLookup (const juce::String& localeCountry);

    /** "/<country>/lookup" below the store's lookup service, asking by store id when it is known; empty when
        there is no lookup service.
    */
    static juce::URL makeAddress (const juce::String& service, const juce::String& country, juce::uint64 ownStoreID,
                                  const juce::String& bundleID);

    static Outcome evaluate (const Request& request, const tavlin::desktop::HttpResponse& response);

    /** The value stored under key in a parsed record; void when there is none. */
    static juce::var valueForKey (const juce::String& key, const juce::var& json);
};
