#pragma once

#include "TavlinBuildAddresses.h"

/** The program's identity and the addresses it reaches on the network, kept together so that they change in
    one place.

    The network addresses are build settings (the CMake cache variables TAVLIN_UPDATE_FEED_URL,
    TAVLIN_STORE_LOOKUP_URL, TAVLIN_STORE_RATINGS_URL and TAVLIN_ENCODER_DOWNLOAD_URL), empty unless the build
    names them; an empty address turns its check or offer off, so a default build sends nothing over the
    network.
*/
struct TavlinAddresses
{
    /** Names the application to the store lookup, which answers it as "bundleId". */
    static constexpr const char* applicationIdentifier = "org.tavlin.Tavlin";

    /** RSS feed of the released versions, read by the update check; empty: no update check. */
    static constexpr const char* updateFeed = TAVLIN_BUILD_UPDATE_FEED;

    /** Store lookup service; a lookup asks for "/<country>/lookup?bundleId=..." or "?id=..." below it. Empty:
        no lookup.
    */
    static constexpr const char* storeLookup = TAVLIN_BUILD_STORE_LOOKUP;

    /** The store's ratings page; the application's store id follows in decimal. Empty: none. */
    static constexpr const char* storeRatingsPage = TAVLIN_BUILD_STORE_RATINGS;

    /** Download page of the MP3 encoder, offered when it is missing. Empty: the user is told to install it
        with the system's package manager.
    */
    static constexpr const char* encoderDownloadPage = TAVLIN_BUILD_ENCODER_DOWNLOAD;

    /** Folder of the user guide's pages, next to the executable, and its two entry pages. */
    static constexpr const char* guideFolder = "guide";
    static constexpr const char* guideStartPage = "index.html";
    static constexpr const char* guideQuickStartPage = "quickstart.html";
};
