#include "RatePromptLookup.h"

#include "StrictJsonReader.h"
#include "VersionComparator.h"

using tavlin::desktop::RequestError;

namespace
{
/** A whole number from the record, 0 when the value is none, negative or out of range. */
juce::uint64 wholeNumber (const juce::var& value)
{
    if (value.isDouble())
    {
        // Converting a double beyond the integer's range is undefined.
        const auto number = (double) value;
        return number >= 1.0 && number < 9.0e18 ? (juce::uint64) number : 0;
    }

    return (juce::uint64) juce::jmax ((juce::int64) 0, (juce::int64) value);
}
} // namespace

juce::String RatePromptLookup::countryForLookup (const juce::String& localeCountry)
{
    if (localeCountry == "150")
        return "eu";

    const auto isAsciiLetter = [] (juce::juce_wchar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };

    if (localeCountry.length() != 2 || !isAsciiLetter (localeCountry[0]) || !isAsciiLetter (localeCountry[1]))
        return "us";

    return localeCountry;
}

juce::URL RatePromptLookup::makeAddress (const juce::String& service, const juce::String& country,
                                         juce::uint64 ownStoreID, const juce::String& bundleID)
{
    if (service.isEmpty())
        return {};

    const juce::URL lookup (service + "/" + country + "/lookup");

    if (ownStoreID != 0)
        return lookup.withParameter ("id", juce::String (ownStoreID));

    return lookup.withParameter ("bundleId", bundleID);
}

juce::var RatePromptLookup::valueForKey (const juce::String& key, const juce::var& json)
{
    if (auto* object = json.getDynamicObject())
        return object->getProperty (key);

    return {};
}

RatePromptLookup::Outcome RatePromptLookup::evaluate (const Request& request,
                                                      const tavlin::desktop::HttpResponse& response)
{
    Outcome outcome;

    if (!response.error.has_value() && response.statusCode == 200)
    {
        juce::var json;
        const auto parsed = StrictJsonReader::parse (response.body, json);

        if (parsed.failed())
        {
            outcome.error = RequestError { jsonErrorDomain, 1, parsed.getErrorMessage() };
            return outcome;
        }

        juce::var record;

        if (const auto* results = valueForKey ("results", json).getArray(); results != nullptr && !results->isEmpty())
            record = results->getLast();

        const auto bundleID = valueForKey ("bundleId", record);

        if (!bundleID.isVoid())
        {
            if (bundleID.toString() != request.bundleID)
            {
                outcome.error =
                    RequestError { errorDomain, 1,
                                   "Application bundle ID does not match expected value of " + bundleID.toString() };
                return outcome;
            }

            if (!request.genreKnown)
                outcome.genreID = wholeNumber (valueForKey ("primaryGenreId", record));

            if (request.ownStoreID == 0)
                outcome.storeID = valueForKey ("trackId", record).toString();

            if (request.onlyPromptIfLatestVersion && !request.previewMode
                && VersionComparator::isNewer (valueForKey ("version", record).toString(), request.installedVersion))
            {
                outcome.error = RequestError { errorDomain, 3, "Installed app is not the latest version available" };
            }
        }
        else if (request.ownStoreID != 0 && !request.previewMode)
        {
            outcome.error = RequestError { errorDomain, 2, "The application could not be found on the App Store." };
        }

        return outcome;
    }

    if (response.statusCode >= 400)
    {
        outcome.error = RequestError { httpErrorDomain, response.statusCode,
                                       "The server returned a " + juce::String (response.statusCode) + " error" };
        return outcome;
    }

    outcome.error = response.error;
    return outcome;
}
