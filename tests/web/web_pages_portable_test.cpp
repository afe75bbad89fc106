// The web site's page formats and the version comparison, as tables.
#include <gtest/gtest.h>

#include <string>

#include "web/web_pages.h"

TEST(WebPages, VersionsCompareByUpToFourNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int result;
    } cases[] = {
        {"2.0.7", "2.1.0", -1}, {"2.1.0", "2.1.0", 0}, {"2.1.0", "2.0.9", 1}, {"1.2", "1.2.0.0", 0},
        {"1.2.0.1", "1.2", 1},  {"7", "9.9.9", 0},     {"", "1.0", 0},       {"1.0", "", 0},
        {"1.10", "1.9", 1},     {"x.1", "1.1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(compare_versions(c.a, c.b), c.result) << c.a << " vs " << c.b;
}

TEST(WebPages, VersionIsTakenAfterItsKey) {
    struct Case {
        const char* page;
        bool home;
        bool found;
        const char* version;
    } cases[] = {
        {"launcher=2.1.0\nbots=5\n", false, true, "2.1.0"},
        {"x launcher=2.1.0\r\n", false, true, "2.1.0"},
        {"launcher=", false, true, ""},
        {"launcher=1.0 beta", false, true, "1.0"},
        {"launcher=0123456789012345678901234567890123456789", false, true, "0123456789012345678901234567890"},
        {"version=2.1.0", false, false, ""},
        {"<meta name=\"zandor-launcher-version\" content=\"1.5.2\">", true, true, "1.5.2"},
        {"<meta name='zandor-launcher-version' content='1.5.2'>", true, false, ""},
    };
    for (const Case& c : cases) {
        char version[32] = "unchanged";
        bool found = c.home ? find_version_in_home_page(c.page, version, sizeof version)
                            : find_version_in_version_page(c.page, version, sizeof version);
        EXPECT_EQ(found, c.found) << c.page;
        if (c.found) {
            EXPECT_STREQ(version, c.version) << c.page;
        }
    }
}

TEST(WebPages, PlayersOnlineIsAnUnsignedNumber) {
    struct Case {
        const char* page;
        long count;
    } cases[] = {
        {"{\"online\": 57}", 57}, {"{\"online\":0}", 0},     {"{\"online\":\"57\"}", -1}, {"{\"online\": -3}", -1},
        {"{\"players\": 5}", -1}, {"", -1},                  {"{\"online\":   12, \"online\": 3}", 12},
        {"{\"online\":\t4}", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_players_online(c.page), c.count) << c.page;
}
