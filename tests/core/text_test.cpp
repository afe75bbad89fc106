// Bounded copies and formats.
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
