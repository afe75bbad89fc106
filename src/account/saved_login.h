// The saved log-in record and the plain session text that session.dat protects. Portable (no Windows
// headers); the protected file itself is handled by account/account_files.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

#define SESSION_FIRST_LINE "zandor session 1"
#define SESSION_TEXT_CAP 1024
#define TOKEN_PREFIX "pgt1."
// Room for a log-in token and its terminating zero.
#define TOKEN_CAP 96

// The current log-in; an empty token means that nobody is logged in.
struct SavedLogin {
    char token[TOKEN_CAP];
    uint64_t issued_number;  // carried for the server, not interpreted here
    uint64_t account_id;
    char display_name[64];
    char terms_version[32];
    char terms_url[160];  // empty: the web site's terms page
    bool terms_notice_shown;
};

// Formats the eight LF-ended lines of the session text into out (cut at capacity); gives the length.
size_t format_session_text(const SavedLogin* login, char* out, size_t capacity);
// Reads a session text back; false (login cleared) when it has fewer than eight lines, a wrong first
// line or a token that does not begin with "pgt1.". Lines after the eighth are ignored.
bool parse_session_text(const char* text, SavedLogin* login) MUST_USE;
