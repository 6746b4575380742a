#pragma once

/** The program's identity and the addresses it reaches on the network, kept together so that they change in
    one place. Every address uses HTTPS.
*/
struct TavlinAddresses
{
    /** Names the application to the store lookup, which answers it as "bundleId". */
    static constexpr const char* applicationIdentifier = "org.tavlin.Tavlin";

    /** RSS feed of the released versions, read by the update check. */
    static constexpr const char* updateFeed = "https://www.tavlin.org/updates/feed.rss";

    /** Store lookup service; a lookup asks for "/<country>/lookup?bundleId=..." or "?id=..." below it. */
    static constexpr const char* storeLookup = "https://store.tavlin.org";

    /** The store's ratings page; the application's store id follows in decimal. */
    static constexpr const char* storeRatingsPage = "https://store.tavlin.org/app/id";

    /** Folder of the user guide's pages, next to the executable, and its two entry pages. */
    static constexpr const char* guideFolder = "guide";
    static constexpr const char* guideStartPage = "index.html";
    static constexpr const char* guideQuickStartPage = "quickstart.html";
};
