#pragma once

#include "UpdateFeedItem.h"

#include <optional>

/** Reads the update feed: an RSS 2.0 channel whose items each carry an enclosure with the release's version
    in its "tavlin:version" attribute, and a link to the release's page.

    @code
    <rss version="2.0" xmlns:tavlin="https://www.tavlin.org/xml-namespaces/update">
      <channel>
        <item>
          <title>Tavlin 5.1.0</title>
          <link>https://www.tavlin.org/download/</link>
          <enclosure url="https://www.tavlin.org/download/tavlin-5.1.0.tar.xz" type="application/x-xz"
                     length="31457280" tavlin:version="5.1.0"/>
        </item>
      </channel>
    </rss>
    @endcode
*/
struct UpdateFeed
{
    /** The newest release of the feed, or the reason there is none. */
    struct Result
    {
        std::optional<UpdateFeedItem> newest;
        juce::String error;
    };

    static Result parse (const juce::String& text);
};
