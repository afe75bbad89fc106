// Parsing of the account server's answers into the reply and the records they fill.
#include "account/account_answers.h"

#include <string.h>

#include "core/codecs.h"
#include "core/text.h"
#include "core/web_address.h"

static const char BAD_ANSWER_CODE[] = "bad_request";
static const char BAD_ANSWER_TEXT[] = "Please update the ZANDOR Launcher.";

size_t decode_text_field(const char* text, char* out, size_t capacity) {
    if (capacity == 0) return 0;
    long length = base64_decode(text, (uint8_t*)out, capacity - 1);
    if (length < 0) {
        wipe(out, capacity);
        return 0;
    }
    out[length] = 0;
    return (size_t)length;
}

uint64_t answer_number(const char* text) {
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        unsigned digit = (unsigned)(*text - '0');
        if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// A signed decimal from the leading characters; negative values give 0 (no time at all).
static uint32_t answer_milliseconds(const char* text) {
    if (*text == '-') return 0;
    if (*text == '+') text++;
    uint64_t value = answer_number(text);
    return value > 0x7fffffffu ? 0x7fffffffu : (uint32_t)value;
}

// Line ends inside a decoded display name would break the saved session text into wrong lines.
static void flatten_line_ends(char* text) {
    for (; *text; text++) {
        if (*text == '\r' || *text == '\n') *text = ' ';
    }
}

// A game name or password goes into one line of login.txt: no control characters, no hidden NUL.
static bool is_plain_line(const char* text, size_t decoded_length) {
    if (strlen(text) != decoded_length) return false;
    for (; *text; text++) {
        if ((unsigned char)*text < 0x20 || *text == 0x7f) return false;
    }
    return true;
}

static void set_bad_answer(AccountReply* reply) {
    set_reply_error(reply, BAD_ANSWER_CODE, BAD_ANSWER_TEXT);
}

// DENIED: the server's code and its decoded text (which may be empty).
static void set_denied(AccountReply* reply, char** fields) {
    copy_text(reply->error_code, sizeof reply->error_code, fields[1]);
    decode_text_field(fields[2], reply->message, sizeof reply->message);
}

void parse_login_answer(char* answer, AccountReply* reply) {
    char* fields[10];
    int count = split_fields_keep_rest(answer, fields, 10);
    uint64_t issued_number = count >= 4 ? answer_number(fields[2]) : 0;
    uint64_t account_id = count >= 4 ? answer_number(fields[3]) : 0;
    // session.dat keeps the numbers in decimal and reads back at most 19 digits: a larger number
    // would come back as 0, so the answer is not one to keep.
    if ((count == 8 || count == 9) && strcmp(fields[0], "OK") == 0 && issued_number <= DECIMAL_U64_MAX &&
        account_id <= DECIMAL_U64_MAX) {
        SavedLogin* login = &reply->login;
        reply->ok = true;
        copy_text(login->token, sizeof login->token, fields[1]);
        login->issued_number = issued_number;
        login->account_id = account_id;
        decode_text_field(fields[4], login->display_name, sizeof login->display_name);
        flatten_line_ends(login->display_name);
        copy_text(reply->pc_marker, sizeof reply->pc_marker, fields[5]);
        copy_text(login->terms_version, sizeof login->terms_version, fields[6]);
        copy_text(login->terms_url, sizeof login->terms_url, fields[7]);
        login->terms_notice_shown = false;
        reply->older_terms = count == 9 && strcmp(fields[8], "0") == 0;
        set_reply_error(reply, "ok", "");
    } else if (count == 3 && strcmp(fields[0], "DENIED") == 0) {
        set_denied(reply, fields);
        if (!reply->message[0]) copy_text(reply->message, sizeof reply->message, "The log-in was refused.");
    } else {
        set_bad_answer(reply);
    }
}

bool parse_request_answer(char* answer, WebLoginRequest* request, AccountReply* reply) {
    char* fields[8];
    int count = split_fields_keep_rest(answer, fields, 8);
    if (count == 6 && strcmp(fields[0], "REQUEST") == 0) {
        copy_text(request->request_id, sizeof request->request_id, fields[1]);
        copy_text(request->poll_key, sizeof request->poll_key, fields[2]);
        copy_text(request->user_code, sizeof request->user_code, fields[3]);
        copy_text(request->login_url, sizeof request->login_url, fields[4]);
        request->timeout_ms = answer_milliseconds(fields[5]);
        return text_starts_with(request->login_url, "http") && is_web_address(request->login_url);
    }
    if (count == 3 && strcmp(fields[0], "DENIED") == 0) {
        set_denied(reply, fields);
    } else {
        set_bad_answer(reply);
    }
    return false;
}

bool parse_game_answer(char* answer, GameAccount* account, AccountReply* reply) {
    char* fields[6];
    int count = split_fields_keep_rest(answer, fields, 6);
    bool ok = false;
    if (count == 4 && strcmp(fields[0], "GAME") == 0) {
        size_t name_length = decode_text_field(fields[1], account->name, sizeof account->name);
        size_t password_length = decode_text_field(fields[2], account->password, sizeof account->password);
        copy_text(account->serial, sizeof account->serial, fields[3]);
        ok = name_length > 0 && password_length > 0 && name_length + password_length <= GAME_ACCOUNT_LENGTH_MAX &&
             is_plain_line(account->name, name_length) && is_plain_line(account->password, password_length) &&
             is_plain_line(account->serial, strlen(account->serial));
        if (!ok) set_bad_answer(reply);
    } else if (count == 3 && strcmp(fields[0], "DENIED") == 0) {
        set_denied(reply, fields);
    } else {
        set_bad_answer(reply);
    }
    return ok;
}
