#include "UpdateFeed.h"

#include "StrictXmlReader.h"
#include "VersionComparator.h"

namespace
{
/** Only addresses a browser may safely be sent to from the network. */
juce::URL webAddress (const juce::String& text)
{
    const auto address = text.trim();

    // The framework's address parsing takes time growing with the square of the length.
    if (address.length() > UpdateFeed::maxAddressLength)
        return {};

    if (address.startsWithIgnoreCase ("https://") || address.startsWithIgnoreCase ("http://"))
        return juce::URL (address);

    return {};
}
} // namespace

UpdateFeed::Result UpdateFeed::parse (const char* text, size_t size)
{
    static constexpr StrictXmlReader::Rules rules { maxDepth, maxElements, 32, 128, maxTextSize, true };

    Result result;
    const auto rss = StrictXmlReader::parse (text, size, rules);
    const auto* channel = rss != nullptr && rss->hasTagName ("rss") ? rss->getChildByName ("channel") : nullptr;

    if (channel == nullptr)
    {
        result.error = "The update feed could not be read.";
        return result;
    }

    for (const auto* item : channel->getChildWithTagNameIterator ("item"))
    {
        const auto* enclosure = item->getChildByName ("enclosure");

        if (enclosure == nullptr)
            continue;

        const auto version = enclosure->getStringAttribute ("tavlin:version").trim();

        if (version.isEmpty() || version.length() > maxVersionLength
            || (result.newest.has_value() && !VersionComparator::isNewer (version, result.newest->version)))
            continue;

        UpdateFeedItem release;
        release.version = version;
        release.title = item->getChildElementAllSubText ("title", {}).trim();
        release.downloadPage = webAddress (item->getChildElementAllSubText ("link", {}));

        if (release.downloadPage.isEmpty())
            release.downloadPage = webAddress (enclosure->getStringAttribute ("url"));

        result.newest = std::move (release);
    }

    if (!result.newest.has_value())
        result.error = "The update feed names no version.";

    return result;
}
