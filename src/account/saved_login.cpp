// The session text of the saved log-in: eight LF-ended lines, written and read back.
#include "account/saved_login.h"

#include <inttypes.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"

size_t format_session_text(const SavedLogin* login, char* out, size_t capacity) {
    return format_text(out, capacity, SESSION_FIRST_LINE "\n%s\n%" PRIu64 "\n%" PRIu64 "\n%s\n%s\n%s\n%d\n",
                       login->token, login->issued_number, login->account_id, login->display_name,
                       login->terms_version, login->terms_url, login->terms_notice_shown ? 1 : 0);
}

static uint64_t number_or_zero(const char* text) {
    uint64_t value = 0;
    if (!parse_decimal_u64(text, &value)) return 0;
    return value;
}

bool parse_session_text(const char* text, SavedLogin* login) {
    memset(login, 0, sizeof *login);
    char copy[SESSION_TEXT_CAP];
    copy_text(copy, sizeof copy, text);
    // Cut into lines: a piece counts only when an LF ends it, except a non-empty last piece, so a
    // text of seven LF-ended lines is seven lines. The ninth piece takes whatever follows.
    char* pieces[9];
    int count = 0;
    char* start = copy;
    while (count < 9 && *start) {
        pieces[count++] = start;
        if (count == 9) break;
        char* lf = strchr(start, '\n');
        if (!lf) break;
        *lf = 0;
        start = lf + 1;
    }
    bool ok = count >= 8 && strcmp(pieces[0], SESSION_FIRST_LINE) == 0 &&
              text_starts_with(pieces[1], TOKEN_PREFIX);
    if (ok) {
        copy_text(login->token, sizeof login->token, pieces[1]);
        login->issued_number = number_or_zero(pieces[2]);
        login->account_id = number_or_zero(pieces[3]);
        copy_text(login->display_name, sizeof login->display_name, pieces[4]);
        copy_text(login->terms_version, sizeof login->terms_version, pieces[5]);
        copy_text(login->terms_url, sizeof login->terms_url, pieces[6]);
        login->terms_notice_shown = pieces[7][0] == '1';
    }
    wipe(copy, sizeof copy);
    return ok;
}
