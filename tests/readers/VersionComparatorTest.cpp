#include "VersionComparator.h"

#include <gtest/gtest.h>

TEST (VersionComparator, OrdersVersionsAsPeopleReadThem)
{
    const struct
    {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        { "1.10", "1.9", 1 },
        { "1.9", "1.10", -1 },
        { "5.0.0", "5.0.0", 0 },
        { "5.0", "5.0.0", 0 },
        { "5", "5.0.0.0", 0 },
        { "5.0.1", "5.0", 1 },
        { "10.0", "9.99", 1 },
        { "1.01", "1.1", 0 },
        { "2.0", "12.0", -1 },
        { " 5.1.0 ", "5.1.0", 0 },
        { "5.1b2", "5.1b10", -1 },
        { "5.1b", "5.1", 1 },
        { "", "1.0", -1 },
        { "", "", 0 },
        { "18446744073709551616.1", "18446744073709551615.9", 1 },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (VersionComparator::compare (c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ (VersionComparator::compare (c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }

    EXPECT_TRUE (VersionComparator::isNewer ("1.10", "1.9"));
    EXPECT_FALSE (VersionComparator::isNewer ("5.0", "5.0.0"));
}
