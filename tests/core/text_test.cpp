// Bounded copies and formats, and case-blind comparisons.
#include <gtest/gtest.h>

#include "core/text.h"

TEST(Text, CopiesCutAtTheCapacity) {
    char small[4];
    EXPECT_EQ(copy_text(small, sizeof small, "abcdef"), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(copy_text(small, sizeof small, nullptr), 0u);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(format_text(small, sizeof small, "%d", 123456), 3u);
    EXPECT_STREQ(small, "123");
    copy_text(small, sizeof small, "ab");
    EXPECT_EQ(append_text(small, sizeof small, "cd"), 3u);
    EXPECT_STREQ(small, "abc");
}

TEST(Text, CaseBlindPrefixesAndEndings) {
    struct Case {
        const char *text, *part;
        bool starts, ends;
    } cases[] = {
        {"HTTPS://example", "https://", true, false},
        {"https://example", "HTTPS://", true, false},
        {"http", "https://", false, false},  // the text ends first
        {"", "", true, true},
        {"Launcher.EXE", ".exe", false, true},
        {"\xc9tude", "\xe9", false, false},  // only A-Z and a-z are alike
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text_starts_with_nocase(c.text, c.part), c.starts) << c.text << " / " << c.part;
        EXPECT_EQ(text_ends_with_nocase(c.text, c.part), c.ends) << c.text << " / " << c.part;
    }
}
