// Update feeds and store answers that made the framework's parsers loop, overflow the stack, read out of
// bounds or overflow integers, or take time growing with the square of their length, and ordinary ones;
// read as the program reads them. They are also the fuzz targets' seed corpora.

#include "RatePromptLookup.h"
#include "UpdateFeed.h"

#include <gtest/gtest.h>

#include <set>

namespace
{

juce::File fuzzFolder()
{
    return juce::File (TAVLIN_FUZZ_DIR);
}

juce::String load (const juce::File& file)
{
    // As the fetcher hands a body on.
    juce::MemoryBlock data;
    EXPECT_TRUE (file.loadFileAsData (data)) << file.getFullPathName();
    juce::MemoryOutputStream body;
    body.write (data.getData(), data.getSize());
    return body.toUTF8();
}

const auto couldNotBeRead = "The update feed could not be read.";
const auto namesNoVersion = "The update feed names no version.";

struct FeedRepro
{
    const char* file;
    const char* error; // empty when a release is found
    const char* version = nullptr; // these two only then
    const char* downloadPage = nullptr;
};

const FeedRepro feedRepros[] = {
    { "feed.xml", "", "5.1.0", "https://127.0.0.1/download/?v=5.1.0&from=feed" },
    { "processing-instruction.xml", couldNotBeRead }, // looped for ever
    { "entity-declaration.xml", couldNotBeRead },
    { "entity-bomb.xml", couldNotBeRead },
    { "unfinished-utf8.xml", couldNotBeRead }, // read past the end
    { "char-ref-at-end.xml", couldNotBeRead }, // read past the end
    { "nested-10000.xml", couldNotBeRead }, // overflowed the stack
    // An address of 40,000 parameters took seconds to take apart; the enclosure's stands in.
    { "long-link.xml", "", "5.1.0", "https://127.0.0.1/download/tavlin-5.1.0.tar.xz" },
    // Versions of 24,000 parts took seconds to compare.
    { "long-versions.xml", namesNoVersion },
};

struct LookupRepro
{
    const char* file;
    const char* errorDomain; // empty: none
    const char* storeID = nullptr; // these two only then
    juce::uint64 genreID = 0;
};

const LookupRepro lookupRepros[] = {
    { "answer.json", "", "4242", 6008 },
    { "nested-100000.json", "JSONErrorDomain" }, // overflowed the stack
    { "integer-overflow.json", "JSONErrorDomain" }, // overflowed a signed integer
    { "exponent-overflow.json", "JSONErrorDomain" }, // likewise, in the exponent
    { "genre-out-of-range.json", "", "7", 0 }, // converted a double beyond the integer's range
    { "long-version.json", "", "8", 0 }, // a version of 64,000 parts took half a minute to compare
};

TEST (NetworkRepros, EveryFeedIsReadOrRefusedAsItShouldBe)
{
    for (const auto& repro : feedRepros)
    {
        SCOPED_TRACE (repro.file);
        const auto result =
            UpdateFeed::parse (load (fuzzFolder().getChildFile ("update-feed-seeds").getChildFile (repro.file)));
        EXPECT_EQ (result.error, repro.error);
        ASSERT_EQ (result.newest.has_value(), juce::String (repro.error).isEmpty());

        if (result.newest.has_value())
        {
            EXPECT_EQ (result.newest->version, repro.version);
            EXPECT_EQ (result.newest->downloadPage.toString (true), repro.downloadPage);
        }
    }
}

TEST (NetworkRepros, EveryStoreAnswerIsReadOrRefusedAsItShouldBe)
{
    RatePromptLookup::Request request;
    request.bundleID = "org.tavlin.Tavlin";
    request.installedVersion = "1.9";

    for (const auto& repro : lookupRepros)
    {
        SCOPED_TRACE (repro.file);
        const auto body = load (fuzzFolder().getChildFile ("store-lookup-seeds").getChildFile (repro.file));
        const auto outcome = RatePromptLookup::evaluate (request, { 200, body, std::nullopt });
        EXPECT_EQ (outcome.error.has_value() ? outcome.error->domain : juce::String(), repro.errorDomain);

        if (juce::String (repro.errorDomain).isEmpty())
        {
            EXPECT_EQ (outcome.storeID.value_or ("none"), repro.storeID);
            EXPECT_EQ (outcome.genreID.value_or (1), repro.genreID);
        }
    }
}

TEST (NetworkRepros, EverySeedHasAnExpectation)
{
    std::set<juce::String> listed;

    for (const auto& repro : feedRepros)
        listed.insert (juce::String ("update-feed-seeds/") + repro.file);

    for (const auto& repro : lookupRepros)
        listed.insert (juce::String ("store-lookup-seeds/") + repro.file);

    std::set<juce::String> found;

    for (const auto* folder : { "update-feed-seeds", "store-lookup-seeds" })
        for (const auto& file : fuzzFolder().getChildFile (folder).findChildFiles (juce::File::findFiles, false))
            found.insert (juce::String (folder) + "/" + file.getFileName());

    EXPECT_EQ (found, listed);
}

} // namespace
