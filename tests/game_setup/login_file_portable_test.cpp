// login.txt's text and the registration code's clean-up, as tables.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "game_setup/login_file.h"

TEST(LoginFile, TextByteForByte) {
    GameAccount account = {};
    strcpy(account.name, "Player One");
    strcpy(account.password, "s3cret");
    strcpy(account.serial, "AB12-CD34");
    char text[LOGIN_TXT_CAP];
    size_t length = format_login_txt(&account, text, sizeof text);
    const char expected[] =
        "# ZANDOR game account - written by the ZANDOR Launcher, which logs the game in with it\r\n"
        "name=Player One\r\npassword=s3cret\r\nserial=AB12-CD34\r\n";
    EXPECT_STREQ(text, expected);
    EXPECT_EQ(length, strlen(expected));
}

TEST(LoginFile, RegistrationCodeCases) {
    struct Case {
        const char* value;
        const char* code;
    } cases[] = {
        {"abcd-efgh-1234-5678-wxyz", "ABCDEFGH12345678WXYZ"},
        {"ABCDEFGH12345678WXYZ", "ABCDEFGH12345678WXYZ"},
        {" ab cd\tef-gh 12 34 56 78 wx yz ", "ABCDEFGH12345678WXYZ"},
        {"abcd-efgh-1234-5678-wxy", ""},     // 19
        {"abcd-efgh-1234-5678-wxyz1", ""},   // 21
        {"abcd-efgh-1234-5678-wxyz-abcd-efgh-1234", ""},  // more than the capacity holds
        {"", ""},
        {"----", ""},
    };
    for (const Case& c : cases) {
        char code[GAME_CODE_CAP];
        memset(code, 'x', sizeof code);
        EXPECT_EQ(clean_game_code(c.value, code, sizeof code), c.code[0] != 0) << c.value;
        EXPECT_STREQ(code, c.code) << c.value;
    }
}

// Which login.txt the launcher may rewrite: its own, and what only a cut write of its own leaves.
TEST(LoginFile, LaunchersOwnOrLeftByACutWrite) {
    struct Case {
        std::string text;
        bool launchers;
    } cases[] = {
        {"# ZANDOR game account - written by the ZANDOR Launcher\r\nname=a\r\n", true},
        {"# ZANDOR game account", true},
        {"# ZANDOR game accoun", true},  // cut short
        {"#", true},
        {std::string(95, '\0'), true},  // zero-filled by a power cut
        {"", false},                    // emptied by the player: the game's own log-in screen
        {"name=me\r\npassword=x\r\n", false},
        {"# zandor game account\r\n", false},
        {"# ZANDOR game accoun!", false},
        {std::string("\0\0x", 3), false},
        {std::string("# ZANDOR\0", 9), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(login_txt_is_launchers(c.text.data(), c.text.size()), c.launchers) << c.text;
    }
}
