// The saved log-in's text as session.dat gives it back: what reads must write out and read back the
// same.
#include <stdint.h>
#include <string.h>

#include <string>

#include "account/saved_login.h"
#include "fuzz_check.h"

static bool same_login(const SavedLogin* a, const SavedLogin* b) {
    return strcmp(a->token, b->token) == 0 && a->issued_number == b->issued_number &&
           a->account_id == b->account_id && strcmp(a->display_name, b->display_name) == 0 &&
           strcmp(a->terms_version, b->terms_version) == 0 && strcmp(a->terms_url, b->terms_url) == 0 &&
           a->terms_notice_shown == b->terms_notice_shown;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    SavedLogin login;
    if (!parse_session_text(input.c_str(), &login)) {
        FUZZ_CHECK(login.token[0] == 0 && login.account_id == 0);
        return 0;
    }
    FUZZ_CHECK(text_starts_with(login.token, TOKEN_PREFIX));
    char text[SESSION_TEXT_CAP];
    size_t length = format_session_text(&login, text, sizeof text);
    FUZZ_CHECK(length + 1 < sizeof text);
    SavedLogin back;
    FUZZ_CHECK(parse_session_text(text, &back));
    FUZZ_CHECK(same_login(&login, &back));
    return 0;
}
