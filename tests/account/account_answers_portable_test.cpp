// The account answers as tables: splitting, text fields, numbers, and every answer form.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "account/account_answers.h"
#include "core/codecs.h"

namespace {

const char BAD_CODE[] = "bad_request";
const char BAD_TEXT[] = "Please update the ZANDOR Launcher.";

AccountReply login_reply(std::string answer) {
    AccountReply reply = {};
    parse_login_answer(&answer[0], &reply);
    return reply;
}

// "QW5h" is "Ana", "UmVmdXNlZA" is "Refused".
const std::string OK8 = "OK\tpgt1.tok\t17\t42\tQW5h\tpgm1.ABCDEFGHIJKLMNOPQRSTUVWX\tv3\thttps://t.example/terms";

}  // namespace

TEST(AccountAnswers, SplitAnswerKeepsTabsInTheLastFieldWhereSplitFieldsFails) {
    char text[] = "a\t\tb\tc\td";
    char* fields[3];
    ASSERT_EQ(split_fields_keep_rest(text, fields, 3), 3);
    EXPECT_STREQ(fields[0], "a");
    EXPECT_STREQ(fields[1], "");
    EXPECT_STREQ(fields[2], "b\tc\td");
    char again[] = "a\t\tb\tc\td";
    char* more[3];
    EXPECT_EQ(split_fields(again, more, 3), -1);
    char one[] = "";
    EXPECT_EQ(split_fields_keep_rest(one, fields, 3), 1);
}

TEST(AccountAnswers, TextFieldsAndNumbers) {
    char out[8];
    decode_text_field("QW5h", out, sizeof out);
    EXPECT_STREQ(out, "Ana");
    decode_text_field("not base64!", out, sizeof out);
    EXPECT_STREQ(out, "");
    decode_text_field("QUJDREVGR0g", out, sizeof out);  // 8 bytes do not fit in 7
    EXPECT_STREQ(out, "");
    decode_text_field("QUJDREVGRw", out, sizeof out);  // 7 bytes do
    EXPECT_STREQ(out, "ABCDEFG");

    struct Case {
        const char* text;
        uint64_t value;
    } cases[] = {{"123abc", 123}, {"", 0}, {"x9", 0}, {"007", 7}, {"18446744073709551615", UINT64_MAX},
                 {"99999999999999999999999", UINT64_MAX}};
    for (const Case& c : cases) EXPECT_EQ(answer_number(c.text), c.value) << c.text;
}

TEST(AccountAnswers, OkLogInAnswer) {
    AccountReply reply = login_reply(OK8);
    EXPECT_TRUE(reply.ok);
    EXPECT_STREQ(reply.error_code, "ok");
    EXPECT_STREQ(reply.message, "");
    EXPECT_STREQ(reply.login.token, "pgt1.tok");
    EXPECT_EQ(reply.login.issued_number, 17u);
    EXPECT_EQ(reply.login.account_id, 42u);
    EXPECT_STREQ(reply.login.display_name, "Ana");
    EXPECT_STREQ(reply.pc_marker, "pgm1.ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_STREQ(reply.login.terms_version, "v3");
    EXPECT_STREQ(reply.login.terms_url, "https://t.example/terms");
    EXPECT_FALSE(reply.older_terms);
    EXPECT_FALSE(reply.login.terms_notice_shown);

    // A display name with a line end would break the saved session text.
    AccountReply lines = login_reply("OK\tpgt1.t\t1\t2\tQQpC\t-\tv\tu");  // "A\nB"
    EXPECT_STREQ(lines.login.display_name, "A B");
}

TEST(AccountAnswers, LogInAnswerForms) {
    struct Case {
        std::string answer;
        bool ok;
        bool older_terms;
        const char* code;
        const char* message;
    } cases[] = {
        {OK8 + "\t0", true, true, "ok", ""},
        {OK8 + "\t00", true, false, "ok", ""},
        {OK8 + "\t1", true, false, "ok", ""},
        {OK8 + "\t", true, false, "ok", ""},
        {OK8 + "\t0\tx", false, false, BAD_CODE, BAD_TEXT},       // 10 fields
        {OK8 + "\t0\tx\ty", false, false, BAD_CODE, BAD_TEXT},    // more
        {"OK\tpgt1.t\t1\t2\tQW5h\tm\tv", false, false, BAD_CODE, BAD_TEXT},  // 7 fields
        {"ok" + OK8.substr(2), false, false, BAD_CODE, BAD_TEXT},
        // Numbers that session.dat could not keep (20 digits read back as 0).
        {"OK\tpgt1.t\t9999999999999999999\t9999999999999999999\tQW5h\tm\tv\tu", true, false, "ok", ""},
        {"OK\tpgt1.t\t10000000000000000000\t2\tQW5h\tm\tv\tu", false, false, BAD_CODE, BAD_TEXT},
        {"OK\tpgt1.t\t1\t10000000000000000000\tQW5h\tm\tv\tu", false, false, BAD_CODE, BAD_TEXT},
        {"DENIED\tbanned\tUmVmdXNlZA", false, false, "banned", "Refused"},
        {"DENIED\trate_limited\t", false, false, "rate_limited", "The log-in was refused."},
        {"DENIED\tx\t!!", false, false, "x", "The log-in was refused."},
        {"DENIED\tx\tUmVmdXNlZA\textra", false, false, BAD_CODE, BAD_TEXT},
        {"DENIED\t" + std::string(40, 'c') + "\tQQ", false, false, "ccccccccccccccccccccccccccccccc", "A"},
        {"PENDING", false, false, BAD_CODE, BAD_TEXT},
        {"", false, false, BAD_CODE, BAD_TEXT},
    };
    for (const Case& c : cases) {
        AccountReply reply = login_reply(c.answer);
        EXPECT_EQ(reply.ok, c.ok) << c.answer;
        EXPECT_EQ(reply.older_terms, c.older_terms) << c.answer;
        EXPECT_STREQ(reply.error_code, c.code) << c.answer;
        EXPECT_STREQ(reply.message, c.message) << c.answer;
    }
}

// What an OK answer brings is saved in session.dat: a number that would not read back the same from
// there (10^19 or more) makes the answer a bad one, in either number field.
TEST(AccountAnswers, NumbersThatWouldNotReadBackAreRefused) {
    struct Case {
        const char* number;
        bool ok;
        uint64_t value;
    } cases[] = {
        {"9999999999999999999", true, 9999999999999999999ull},
        {"0000000000000000000000042", true, 42},  // leading zeros: saved as "42"
        {"12abc", true, 12},
        {"", true, 0},
        {"10000000000000000000", false, 0},
        {"18446744073709551615", false, 0},
        {"18446744073709551616", false, 0},
        {"99999999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        for (int field = 2; field <= 3; field++) {
            std::string issued = field == 2 ? c.number : "17", account = field == 3 ? c.number : "42";
            AccountReply reply = login_reply("OK\tpgt1.tok\t" + issued + "\t" + account + "\tQW5h\t-\tv\tu");
            std::string what = std::string(c.number) + (field == 2 ? " as issued number" : " as account id");
            EXPECT_EQ(reply.ok, c.ok) << what;
            if (!c.ok) {
                EXPECT_STREQ(reply.error_code, BAD_CODE) << what;
                EXPECT_STREQ(reply.message, BAD_TEXT) << what;
                EXPECT_STREQ(reply.login.token, "") << what;
                continue;
            }
            EXPECT_EQ(field == 2 ? reply.login.issued_number : reply.login.account_id, c.value) << what;
            char text[SESSION_TEXT_CAP];
            format_session_text(&reply.login, text, sizeof text);
            SavedLogin loaded;
            ASSERT_TRUE(parse_session_text(text, &loaded)) << what;
            EXPECT_EQ(loaded.issued_number, reply.login.issued_number) << what;
            EXPECT_EQ(loaded.account_id, reply.login.account_id) << what;
        }
    }
}

TEST(AccountAnswers, RequestAnswerForms) {
    struct Case {
        std::string answer;
        bool ok;
        const char* code;
        const char* message;
        uint32_t timeout_ms;
    } cases[] = {
        {"REQUEST\trid\tpkey\tAB-12\thttps://z.example/login?c=AB-12\t600000", true, "", "", 600000},
        {"REQUEST\trid\tpkey\tAB-12\thttp://z.example/\t90s", true, "", "", 90},
        {"REQUEST\trid\tpkey\tAB-12\tHTTP://z.example/\t600000", false, "", "", 600000},
        {"REQUEST\trid\tpkey\tAB-12\tftp://z.example/\t1", false, "", "", 1},
        {"REQUEST\trid\tpkey\tAB-12\thttp.exe\t1", false, "", "", 1},
        {"REQUEST\trid\tpkey\tAB-12\thttpx://z.example/\t1", false, "", "", 1},
        {"REQUEST\trid\tpkey\tAB-12\thttp:\\\\host\\x.exe\t1", false, "", "", 1},
        {"REQUEST\trid\tpkey\tAB-12\thttps://z.example/\t-5", true, "", "", 0},
        {"REQUEST\trid\tpkey\tAB-12\thttps://z.example/", false, BAD_CODE, BAD_TEXT, 0},
        {"REQUEST\trid\tpkey\tAB-12\thttps://z.example/\t1\t2", false, BAD_CODE, BAD_TEXT, 0},
        {"DENIED\tclosed\tUmVmdXNlZA", false, "closed", "Refused", 0},
        {"DENIED\tclosed\t%%", false, "closed", "", 0},  // no default text for WEBLOGIN
        {"OK", false, BAD_CODE, BAD_TEXT, 0},
    };
    for (const Case& c : cases) {
        std::string answer = c.answer;
        WebLoginRequest request = {};
        AccountReply reply = {};
        EXPECT_EQ(parse_request_answer(&answer[0], &request, &reply), c.ok) << c.answer;
        EXPECT_STREQ(reply.error_code, c.code) << c.answer;
        EXPECT_STREQ(reply.message, c.message) << c.answer;
        EXPECT_EQ(request.timeout_ms, c.timeout_ms) << c.answer;
        if (c.ok) {
            EXPECT_STREQ(request.request_id, "rid");
            EXPECT_STREQ(request.poll_key, "pkey");
            EXPECT_STREQ(request.user_code, "AB-12");
        }
    }
}

TEST(AccountAnswers, GameAnswerForms) {
    auto b64 = [](const std::string& text) {
        std::string out(base64url_length(text.size()) + 1, '\0');
        base64url_encode((const uint8_t*)text.data(), text.size(), &out[0]);
        out.resize(out.size() - 1);
        return out;
    };
    struct Case {
        std::string answer;
        bool ok;
        const char* code;
        const char* message;
    } cases[] = {
        {"GAME\t" + b64(std::string(20, 'n')) + "\t" + b64(std::string(10, 'p')) + "\tSER-1", true, "", ""},
        {"GAME\t" + b64(std::string(20, 'n')) + "\t" + b64(std::string(11, 'p')) + "\tSER-1", false, BAD_CODE,
         BAD_TEXT},
        {"GAME\t\t" + b64("pw") + "\tS", false, BAD_CODE, BAD_TEXT},
        {"GAME\t" + b64("name") + "\t\tS", false, BAD_CODE, BAD_TEXT},
        {"GAME\t" + b64("na\r\nme") + "\t" + b64("pw") + "\tS", false, BAD_CODE, BAD_TEXT},
        {"GAME\t" + b64(std::string("na\0me", 5)) + "\t" + b64("pw") + "\tS", false, BAD_CODE, BAD_TEXT},
        {"GAME\t" + b64("name") + "\t" + b64("pw") + "\tS\r", false, BAD_CODE, BAD_TEXT},
        {"GAME\t" + b64("name") + "\t" + b64("pw") + "\tS\tx", false, BAD_CODE, BAD_TEXT},
        {"DENIED\tno_game\tUmVmdXNlZA", false, "no_game", "Refused"},
        {"DENIED\tno_game\t", false, "no_game", ""},
        {"GAME", false, BAD_CODE, BAD_TEXT},
    };
    for (const Case& c : cases) {
        std::string answer = c.answer;
        GameAccount account = {};
        AccountReply reply = {};
        EXPECT_EQ(parse_game_answer(&answer[0], &account, &reply), c.ok) << c.answer;
        EXPECT_STREQ(reply.error_code, c.code) << c.answer;
        EXPECT_STREQ(reply.message, c.message) << c.answer;
    }
    std::string answer = "GAME\t" + b64("Player One") + "\t" + b64("s3cret") + "\t" + std::string(30, 'S');
    GameAccount account = {};
    AccountReply reply = {};
    ASSERT_TRUE(parse_game_answer(&answer[0], &account, &reply));
    EXPECT_STREQ(account.name, "Player One");
    EXPECT_STREQ(account.password, "s3cret");
    EXPECT_EQ(std::string(account.serial), std::string(23, 'S'));
}
