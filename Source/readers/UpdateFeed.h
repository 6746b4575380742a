#pragma once

#include "UpdateFeedItem.h"

#include <optional>

/** Reads the update feed: an RSS 2.0 channel whose items each carry an enclosure with the release's version
    in its "tavlin:version" attribute, and a link to the release's page.

    The feed comes from the network, so it is read by the strict XML reader within the limits below: an XML
    declaration, comments, text with references and CDATA are read; a DOCTYPE, entities, instructions after
    the declaration, cut or invalid UTF-8 and anything beyond the limits make the feed unreadable. A version
    longer than maxVersionLength and an address longer than maxAddressLength count as none.

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

    static constexpr size_t maxTextSize = 4 * 1024 * 1024;
    static constexpr int maxDepth = 32;
    static constexpr int maxElements = 8192;
    static constexpr int maxVersionLength = 64;
    static constexpr int maxAddressLength = 2048;

    static Result parse (const char* text, size_t size);

    static Result parse (const juce::String& text) { return parse (text.toRawUTF8(), text.getNumBytesAsUTF8()); }
};
