// The account server's answers as the link hands them over (one line, no LF): each input line goes
// through the log-in, browser log-in and game account parsers. A log-in that is accepted must be
// saved so that it reads back the same, and a game account must fit one line of login.txt.
#include <stdint.h>
#include <string.h>

#include <string>

#include "account/account_answers.h"
#include "account/saved_login.h"
#include "fuzz_check.h"

static void check_login_answer(const std::string& line) {
    std::string copy = line;
    AccountReply reply = {};
    parse_login_answer(&copy[0], &reply);
    FUZZ_CHECK(strnlen(reply.error_code, sizeof reply.error_code) < sizeof reply.error_code);
    FUZZ_CHECK(strnlen(reply.message, sizeof reply.message) < sizeof reply.message);
    if (!reply.ok) return;
    const SavedLogin* login = &reply.login;
    FUZZ_CHECK(!strchr(login->display_name, '\n'));
    if (!text_starts_with(login->token, TOKEN_PREFIX)) return;  // never saved
    char text[SESSION_TEXT_CAP];
    size_t length = format_session_text(login, text, sizeof text);
    FUZZ_CHECK(length + 1 < sizeof text);
    SavedLogin back = {};
    FUZZ_CHECK(parse_session_text(text, &back));
    FUZZ_CHECK(strcmp(back.token, login->token) == 0);
    FUZZ_CHECK(back.issued_number == login->issued_number);
    FUZZ_CHECK(back.account_id == login->account_id);
    FUZZ_CHECK(strcmp(back.display_name, login->display_name) == 0);
    FUZZ_CHECK(strcmp(back.terms_version, login->terms_version) == 0);
    FUZZ_CHECK(strcmp(back.terms_url, login->terms_url) == 0);
}

static void check_request_answer(const std::string& line) {
    std::string copy = line;
    AccountReply reply = {};
    WebLoginRequest request = {};
    if (parse_request_answer(&copy[0], &request, &reply)) {
        FUZZ_CHECK(strncmp(request.login_url, "http", 4) == 0);
        FUZZ_CHECK(request.timeout_ms <= 0x7fffffffu);
    }
}

static void check_game_answer(const std::string& line) {
    std::string copy = line;
    AccountReply reply = {};
    GameAccount account = {};
    if (parse_game_answer(&copy[0], &account, &reply)) {
        size_t name = strlen(account.name), password = strlen(account.password);
        FUZZ_CHECK(name > 0 && password > 0 && name + password <= GAME_ACCOUNT_LENGTH_MAX);
        for (const char* text : {account.name, account.password, account.serial}) {
            for (const unsigned char* p = (const unsigned char*)text; *p; p++) FUZZ_CHECK(*p >= 0x20 && *p != 0x7f);
        }
    }
}

static const int ANSWER_LINES = 4;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    // A few lines per input: an input of thousands of empty lines would only slow the search down.
    size_t start = 0;
    for (int lines = 0; lines < ANSWER_LINES && start <= input.size(); lines++) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        // The link refuses a line with a NUL in it: the parsers see text up to the first one.
        std::string line = input.substr(start, end - start);
        line = line.c_str();
        check_login_answer(line);
        check_request_answer(line);
        check_game_answer(line);
        start = end + 1;
    }
    return 0;
}
