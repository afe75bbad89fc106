// The answer lines of the account requests: splitting, base64 text fields, numbers, and the log-in,
// browser log-in and game account answers with what they store. Portable (no Windows headers).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "account/account_reply.h"

// The state of one browser log-in, filled by the REQUEST answer.
struct WebLoginRequest {
    char request_id[64];
    char poll_key[64];
    char user_code[16];
    char login_url[300];
    uint32_t started_tick;  // GetTickCount when the REQUEST answer arrived
    uint32_t timeout_ms;
};

// The game's own online account, written to login.txt (zeroed after use).
struct GameAccount {
    char name[40];
    char password[40];
    char serial[24];
};

#define GAME_ACCOUNT_LENGTH_MAX 30  // name and password together

// base64 text field into out (at most capacity - 1 bytes and a NUL); empty when it does not decode.
// Gives the number of bytes decoded.
size_t decode_text_field(const char* text, char* out, size_t capacity);
// Unsigned decimal from the leading digits; none give 0, too many stop at the largest value.
uint64_t answer_number(const char* text);

// An answer to WEBPOLL (not PENDING), RENEW or AUTO: OK, DENIED or a bad answer, into the reply. An
// OK answer with a number of 10^19 or more is a bad answer (it would not read back from session.dat).
void parse_login_answer(char* answer, AccountReply* reply);
// The answer to WEBLOGIN; true for a REQUEST answer whose address begins with "http" and is a web
// address (is_web_address).
bool parse_request_answer(char* answer, WebLoginRequest* request, AccountReply* reply) MUST_USE;
// The answer to GAMEACCOUNT; true for a usable GAME answer.
bool parse_game_answer(char* answer, GameAccount* account, AccountReply* reply) MUST_USE;
