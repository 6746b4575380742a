#include "UpdateFeed.h"

#include "VersionComparator.h"

namespace
{
/** Only addresses a browser may safely be sent to from the network. */
juce::URL webAddress (const juce::String& text)
{
    const auto address = text.trim();

    if (address.startsWithIgnoreCase ("https://") || address.startsWithIgnoreCase ("http://"))
        return juce::URL (address);

    return {};
}
} // namespace

UpdateFeed::Result UpdateFeed::parse (const juce::String& text)
{
    Result result;
    const auto rss = juce::parseXMLIfTagMatches (text, "rss");
    const auto* channel = rss != nullptr ? rss->getChildByName ("channel") : nullptr;

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

        if (version.isEmpty()
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
