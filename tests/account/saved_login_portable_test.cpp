// The session text and the PC marker's form, as tables.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "account/pc_marker.h"
#include "account/saved_login.h"

TEST(SessionText, FormatIsEightLfEndedLines) {
    SavedLogin login = {};
    strcpy(login.token, "pgt1.abc");
    login.issued_number = 18446744073709551615ull;
    login.account_id = 7;
    strcpy(login.display_name, "Jo");
    strcpy(login.terms_version, "3");
    login.terms_notice_shown = true;
    char text[SESSION_TEXT_CAP];
    format_session_text(&login, text, sizeof text);
    EXPECT_STREQ(text, "zandor session 1\npgt1.abc\n18446744073709551615\n7\nJo\n3\n\n1\n");
}

TEST(SessionText, ParseCases) {
    struct Case {
        const char* text;
        bool loads;
        uint64_t account_id;
        bool notice_shown;
    } cases[] = {
        {"zandor session 1\npgt1.x\n1\n2\nn\nv\nu\n1\n", true, 2, true},
        {"zandor session 1\npgt1.x\n1\n2\nn\nv\nu\n1", true, 2, true},  // last line without LF
        {"zandor session 1\npgt1.x\n1\n2\nn\nv\nu\n0\nninth\ntenth\n", true, 2, false},
        {"zandor session 1\npgt1.x\n1\nnot a number\nn\nv\nu\n10\n", true, 0, true},
        {"zandor session 1\npgt1.x\n1\n2\nn\nv\nu\n", false, 0, false},  // seven lines
        {"zandor session 1\npgt2.x\n1\n2\nn\nv\nu\n1\n", false, 0, false},
        {"zandor session 1\n\n1\n2\nn\nv\nu\n1\n", false, 0, false},
        {"zandor session 1 \npgt1.x\n1\n2\nn\nv\nu\n1\n", false, 0, false},
        {"", false, 0, false},
    };
    for (const Case& c : cases) {
        SavedLogin login;
        memset(&login, 0x41, sizeof login);
        EXPECT_EQ(parse_session_text(c.text, &login), c.loads) << c.text;
        EXPECT_EQ(login.account_id, c.account_id) << c.text;
        EXPECT_EQ(login.terms_notice_shown, c.notice_shown) << c.text;
        if (!c.loads) EXPECT_STREQ(login.token, "") << c.text;
    }
}

TEST(SessionText, LongFieldsAreCutAtTheirCapacities) {
    std::string text = "zandor session 1\npgt1." + std::string(200, 't') + "\n1\n2\n" + std::string(100, 'n') +
                       "\n" + std::string(40, 'v') + "\n" + std::string(300, 'u') + "\n1\n";
    SavedLogin login;
    ASSERT_TRUE(parse_session_text(text.c_str(), &login));
    EXPECT_EQ(strlen(login.token), 95u);
    EXPECT_EQ(strlen(login.display_name), 63u);
    EXPECT_EQ(strlen(login.terms_version), 31u);
    EXPECT_EQ(strlen(login.terms_url), 159u);
}

TEST(PcMarker, Form) {
    struct Case {
        const char* text;
        bool marker;
    } cases[] = {
        {"pgm1.ABCDEFGHIJKLMNOPQRSTUVWX", true},
        {"pgm1.abcdefghijklmnop0123_-_-", true},
        {"pgm1.ABCDEFGHIJKLMNOPQRSTUVWXY", false},  // 30 characters
        {"pgm1.ABCDEFGHIJKLMNOPQRSTUVW", false},
        {"pgm1.ABCDEFGHIJKLMNOPQRSTUV+W", false},
        {"pgm1.ABCDEFGHIJKLMNOPQRSTUV/W", false},
        {"PGM1.ABCDEFGHIJKLMNOPQRSTUVWX", false},
        {"pgm2.ABCDEFGHIJKLMNOPQRSTUVWX", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_pc_marker(c.text), c.marker) << c.text;
}

TEST(PcMarker, ListTrimsDeduplicatesAndJoins) {
    MarkerList list = {};
    char field[MARKERS_FIELD_CAP];
    marker_list_text(&list, field, sizeof field);
    EXPECT_STREQ(field, "-");
    marker_list_add(&list, "  pgm1.ABCDEFGHIJKLMNOPQRSTUVWX\r\n");
    marker_list_add(&list, "pgm1.ABCDEFGHIJKLMNOPQRSTUVWX");
    marker_list_add(&list, "\tpgm1.ZZCDEFGHIJKLMNOPQRSTUVWX");  // a leading TAB is not trimmed
    marker_list_add(&list, "pgm1.abcdefghijklmnopqrstuvwx \t");
    marker_list_add(&list, "pgm1.abcdefghijklmnopqrstuvwx");
    marker_list_text(&list, field, sizeof field);
    EXPECT_STREQ(field, "pgm1.ABCDEFGHIJKLMNOPQRSTUVWX,pgm1.abcdefghijklmnopqrstuvwx");
}
