// The text codecs as tables of inputs and answers.
#include <gtest/gtest.h>

#include <string>

#include "core/codecs.h"

static std::string hex_of(const std::string& bytes) {
    std::string out(bytes.size() * 2 + 1, '\0');
    hex_encode((const uint8_t*)bytes.data(), bytes.size(), &out[0]);
    out.resize(bytes.size() * 2);
    return out;
}

TEST(Codecs, HexRoundTripsAndRefusesBadText) {
    EXPECT_EQ(hex_of(std::string("\x00\x01\xab\xff", 4)), "0001abff");
    uint8_t out[2];
    ASSERT_TRUE(hex_decode("aBfF", out, 2));
    EXPECT_EQ(out[0], 0xab);
    EXPECT_EQ(out[1], 0xff);
    for (const char* bad : {"abf", "abfff", "abgf", "ab f", "", "0x12"}) {
        EXPECT_FALSE(hex_decode(bad, out, 2)) << bad;
    }
}

TEST(Codecs, Base64UrlEncodesWithoutPadding) {
    struct Case {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"", ""},
        {"f", "Zg"},
        {"fo", "Zm8"},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg"},
        {std::string("\xfb\xff\xbf", 3), "-_-_"},
    };
    for (const Case& c : cases) {
        char out[16];
        size_t n = base64url_encode((const uint8_t*)c.bytes.data(), c.bytes.size(), out);
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(n, base64url_length(c.bytes.size()));
    }
}

TEST(Codecs, Base64DecodesBothAlphabetsAndRefusesBadText) {
    struct Case {
        const char* text;
        size_t capacity;
        long result;  // bytes made, or -1
        std::string bytes;
    } cases[] = {
        {"Zm9vYg", 8, 4, "foob"},
        {"Zm9vYg==", 8, 4, "foob"},
        {"-_-_", 8, 3, std::string("\xfb\xff\xbf", 3)},
        {"+/+/", 8, 3, std::string("\xfb\xff\xbf", 3)},
        {"", 8, 0, ""},
        {"Zm9vY", 8, -1, ""},     // one character left over
        {"Zm9vYh", 8, -1, ""},    // leftover low bits not zero
        {"Zm9v!g", 8, -1, ""},    // not in either alphabet
        {"Zm9 vYg", 8, -1, ""},   // blanks are not skipped
        {"Zm9vYg", 3, -1, ""},    // more bytes than the capacity
        {"Zm9vYg", 4, 4, "foob"}, // exactly the capacity
    };
    for (const Case& c : cases) {
        uint8_t out[8] = {};
        long n = base64_decode(c.text, out, c.capacity);
        EXPECT_EQ(n, c.result) << c.text;
        if (n >= 0) {
            EXPECT_EQ(std::string((const char*)out, (size_t)n), c.bytes) << c.text;
        }
    }
}

TEST(Codecs, DecimalNumbersAreStrict) {
    uint64_t value = 0;
    EXPECT_TRUE(parse_decimal_u64("0", &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parse_decimal_u64("007", &value));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(parse_decimal_u64("9999999999999999999", &value));
    EXPECT_EQ(value, 9999999999999999999ull);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1a", "12345678901234567890"}) {
        EXPECT_FALSE(parse_decimal_u64(bad, &value)) << bad;
    }
}

TEST(Codecs, SplitFieldsKeepsEmptyFieldsAndRefusesTooMany) {
    char text[] = "a\t\tb\t";
    char* fields[4];
    ASSERT_EQ(split_fields(text, fields, 4), 4);
    EXPECT_STREQ(fields[0], "a");
    EXPECT_STREQ(fields[1], "");
    EXPECT_STREQ(fields[2], "b");
    EXPECT_STREQ(fields[3], "");
    char over[] = "a\tb\tc";
    EXPECT_EQ(split_fields(over, fields, 2), -1);
    char one[] = "";
    EXPECT_EQ(split_fields(one, fields, 1), 1);
}
